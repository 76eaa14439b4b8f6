#pragma once
// What every tarvik-cli command shares: the program object that commands register with, texts
// from the string table as UTF-8, a terminal progress bar, running a task on a worker thread,
// and buffered bulk output.
#include <CLI/CLI.hpp>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "core/text.h"
#include "processing/poi_store.h"
#include "processing/task.h"

namespace tarvik::cli {

// Exit statuses of every command.
enum : int {
  kExitOk = 0,
  kExitFailed = 1,  // the work could not be done: unreadable input, bad content, no memory
  kExitUsage = 2,   // the command line itself is wrong
};

// The program: global options (--help, --version) and the commands added to it.
class CliApp {
 public:
  CliApp();

  // Adds command `name`; `run` is called once parsing chose it and returns the exit status.
  // Options and arguments go on the returned subcommand.
  CLI::App* AddCommand(const std::string& name, std::uint32_t descriptionId,
                       std::function<int()> run);
  // Adds the required table argument of a command.
  static void AddTableArgument(CLI::App* command, std::string& file);

  // Parses the arguments and runs the chosen command. Usage errors give kExitUsage.
  int Run(int argc, char** argv);

 private:
  CLI::App app_;
  std::vector<std::pair<CLI::App*, std::function<int()>>> commands_;
};

// Checks a file name given to an option: not empty; for an output also not ending in "/" and
// not naming a folder. A failed check is a usage error in our words.
CLI::Validator FileNameCheck(bool output);
// Adds --ini PATH to a command.
void AddIniOption(CLI::App* command, std::string& ini);
// Marks the message of a check of ours: the usage error repeats it as it is.
constexpr char kOwnMessage = '\x1f';

// String `id` of the string table, formatted, as UTF-8.
template <class... A>
std::string Text(std::uint32_t id, const A&... args) {
  return Utf16ToUtf8(StrLoad(id, args...));
}

// The help's frame in our words and columns that count characters, not bytes.
std::shared_ptr<CLI::FormatterBase> MakeHelpFormatter();
// Says on stderr what is wrong with the command line `argv`, and where the help is.
void PrintUsageError(const CLI::ParseError& e, const CLI::App& program, int argc, char** argv);

// Parses the arguments and runs the chosen command; returns the exit status. Running out of
// memory anywhere ends the command with the message for it and kExitFailed.
int RunCommandLine(int argc, char** argv);

// One line on stderr (the line end is added).
void PrintError(std::string_view line);
// The out-of-memory message on stderr, without allocating anything.
void PrintNoMemory();
// For a table read from OpenStreetMap: its source and the data's licence on stderr.
void PrintSourceNote(const PoiData& d);

// The progress bar of a running task on stderr: "[#####-----]  42%  Анализ данных...".
// Draws nothing unless stderr is a terminal; wipes its line when the task ends.
class TerminalSink : public TaskSink {
 public:
  TerminalSink();
  void SetProgress(int percent) override;
  void SetStatus(std::uint32_t stringId) override;
  void EnableCancel(bool) override {}
  void EndTask(int code) override;

 private:
  void Draw();
  bool active_;
  int percent_ = 0;
  std::string status_;
};

// While it lives, a termination signal raises `flag` (to 1 when 0) instead of ending the
// program at once: the work in progress stops and drops what it was writing, and the program
// ends by the signal afterwards. One at a time.
class CancelScope {
 public:
  explicit CancelScope(std::atomic<std::uint32_t>& flag);
  ~CancelScope();
  CancelScope(const CancelScope&) = delete;
  CancelScope& operator=(const CancelScope&) = delete;
};

// Runs the task's stages on a worker thread, as the windows do, and waits for the end; a
// signal meanwhile cancels the task (CancelScope over its abort flag).
void RunOnWorker(WorkerTask& task);
// For the signal watch (any thread): cancels the work under a CancelScope, or, when there is
// none, ends the program by `signal` at once.
void CancelOrEnd(int signal);

// A file name from the command line, byte for byte (see platform::PathFromNative).
std::u16string PathArgument(const std::string& arg);

// Checks the folder of a settings file named by --ini: kExitOk, or kExitFailed after saying
// that it does not exist (a folder is never made for it).
int CheckIniFolder(const std::string& ini);

// Why an aborted task stopped, for the user: its recorded failure, else "cancelled".
std::string AbortMessage(const WorkerTask& task);

// Bulk output to stdout in large writes.
class Output {
 public:
  Output();
  ~Output();
  Output(const Output&) = delete;
  Output& operator=(const Output&) = delete;

  void Append(std::string_view s) {
    if (buffer_.size() + s.size() > kFlushAt) Flush();
    buffer_.append(s);
  }
  // Room for up to `n` bytes at the end; Commit says how many were used.
  char* Reserve(std::size_t n);
  void Commit(char* end) { buffer_.resize(static_cast<std::size_t>(end - buffer_.data())); }

  // Writes what is buffered and flushes stdout. False (and a message on stderr) when
  // writing failed at any point.
  bool Finish();

 private:
  static constexpr std::size_t kFlushAt = std::size_t{1} << 20;
  void Flush();
  std::string buffer_;
  int error_ = 0;
};

// Appends `value` as printf's "%.17g" would, with "." as the decimal point whatever the locale.
char* AppendDouble17(char* out, double value);
char* AppendInt(char* out, std::int64_t value);

}  // namespace tarvik::cli
