#include "app/cli/cli_common.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <mutex>
#include <thread>

#include "core/platform.h"
#include "core/platform_files.h"
#include "core/platform_signals.h"
#include "processing/pipeline.h"
#include "resources/string_ids.h"
#include "resources/string_table.h"

namespace tarvik::cli {

namespace {
// The flag of the work a signal cancels (CancelScope).
std::mutex g_cancelLock;
std::atomic<std::uint32_t>* g_cancel = nullptr;
}  // namespace

CliApp::CliApp() : app_(Text(STR_CLI_PROGRAM), "tarvik-cli") {
  // Commands copy the formatter and the option defaults when they are added.
  app_.formatter(MakeHelpFormatter());
  app_.option_defaults()->group(Text(STR_CLI_GROUP_OPTIONS));
  app_.set_help_flag("-h,--help", Text(STR_CLI_HELP));
  app_.set_version_flag("--version", std::string("tarvik-cli ") + TARVIK_VERSION,
                        Text(STR_CLI_VERSION));
  app_.require_subcommand(1);
}

CLI::App* CliApp::AddCommand(const std::string& name, std::uint32_t descriptionId,
                             std::function<int()> run) {
  CLI::App* sub = app_.add_subcommand(name, Text(descriptionId));
  sub->group(Text(STR_CLI_GROUP_COMMANDS));
  // A command makes its help flag before it takes the program's option defaults.
  sub->get_help_ptr()->group(Text(STR_CLI_GROUP_OPTIONS));
  commands_.emplace_back(sub, std::move(run));
  return sub;
}

CLI::Validator FileNameCheck(bool output) {
  return CLI::Validator(
      [output](std::string& name) -> std::string {
        if (name.empty()) return kOwnMessage + Text(STR_CLI_ERR_EMPTY_NAME);
        struct stat st {};
        if (output &&
            (name.back() == '/' || (::stat(name.c_str(), &st) == 0 && S_ISDIR(st.st_mode))))
          return kOwnMessage + Text(STR_CLI_ERR_FOLDER_NAME, PathArgument(name));
        return {};
      },
      "");
}

void AddIniOption(CLI::App* command, std::string& ini) {
  command->add_option("--ini", ini, Text(STR_CLI_INI))
      ->type_name(Text(STR_CLI_TYPE_FILE))
      ->check(FileNameCheck(/*output=*/false));
}

void CliApp::AddTableArgument(CLI::App* command, std::string& file) {
  command->add_option(Text(STR_CLI_ARG_FILE), file, Text(STR_CLI_TABLE_FILE))
      ->required()
      ->type_name("");
}

int CliApp::Run(int argc, char** argv) {
  try {
    app_.parse(argc, argv);
  } catch (const CLI::Success& e) {
    app_.exit(e);  // prints the help or the version
    return kExitOk;
  } catch (const CLI::ParseError& e) {
    PrintUsageError(e, app_, argc, argv);
    return kExitUsage;
  }
  for (auto& [sub, run] : commands_) {
    if (sub->parsed()) return run();
  }
  return kExitUsage;
}

void PrintError(std::string_view line) {
  std::fflush(stdout);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
}

void PrintSourceNote(const PoiData& d) {
  if (d.sourceFormat == SOURCE_OSM) PrintError(Text(STR_CLI_OSM_SOURCE, d.recordCount));
}

void PrintNoMemory() {
  // UTF-8 of the text in a fixed buffer: the message must get out without a free byte.
  char buf[512];
  std::size_t n = 0;
  const char16_t* text = FindString(STR_NO_MEMORY);
  for (; text && *text && n + 4 < sizeof buf; ++text) {
    std::uint32_t c = *text;  // the table holds no surrogates
    if (c < 0x80) {
      buf[n++] = static_cast<char>(c);
    } else if (c < 0x800) {
      buf[n++] = static_cast<char>(0xC0 | (c >> 6));
      buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      buf[n++] = static_cast<char>(0xE0 | (c >> 12));
      buf[n++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      buf[n++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  buf[n++] = '\n';
  std::fflush(stdout);
  std::fflush(stderr);
  [[maybe_unused]] ssize_t written = ::write(STDERR_FILENO, buf, n);
}

std::u16string PathArgument(const std::string& arg) {
  return platform::PathFromNative(arg);
}

int CheckIniFolder(const std::string& ini) {
  std::size_t slash = ini.rfind('/');
  if (ini.empty() || slash == std::string::npos || slash == 0) return kExitOk;
  const std::string folder = ini.substr(0, slash);
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return kExitOk;
  PrintError(Text(STR_CLI_NO_INI_FOLDER, PathArgument(folder)));
  return kExitFailed;
}

TerminalSink::TerminalSink() : active_(::isatty(STDERR_FILENO) == 1) {}

void TerminalSink::SetProgress(int percent) {
  if (!active_ || percent == percent_) return;
  percent_ = percent;
  Draw();
}

void TerminalSink::SetStatus(std::uint32_t stringId) {
  if (!active_) return;
  status_ = Text(stringId);
  Draw();
}

void TerminalSink::EndTask(int) {
  if (!active_) return;
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
}

void TerminalSink::Draw() {
  constexpr int kWidth = 30;
  int filled = percent_ * kWidth / 100;
  std::string line = "\r\033[K[";
  line.append(static_cast<std::size_t>(filled), '#');
  line.append(static_cast<std::size_t>(kWidth - filled), '-');
  char pct[16];
  auto r = std::to_chars(pct, pct + sizeof pct, percent_);
  line += "] ";
  line.append(static_cast<std::size_t>(3 - (r.ptr - pct)), ' ');
  line.append(pct, r.ptr);
  line += "%  ";
  line += status_;
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fflush(stderr);
}

CancelScope::CancelScope(std::atomic<std::uint32_t>& flag) {
  std::lock_guard<std::mutex> guard(g_cancelLock);
  g_cancel = &flag;
}

CancelScope::~CancelScope() {
  std::lock_guard<std::mutex> guard(g_cancelLock);
  g_cancel = nullptr;
}

void RunOnWorker(WorkerTask& task) {
  CancelScope scope(task.abortFlag);
  std::thread worker([&task] { RunTask(&task); });
  worker.join();
}

void CancelOrEnd(int signal) {
  // Under the lock to the end: work that starts a scope meanwhile (and may create a file)
  // waits until the program has ended.
  std::lock_guard<std::mutex> guard(g_cancelLock);
  if (!g_cancel) platform::EndBySignal(signal);
  std::uint32_t clear = 0;
  g_cancel->compare_exchange_strong(clear, 1);
}

std::string AbortMessage(const WorkerTask& task) {
  std::u16string text = FailureText(task.failure);
  return text.empty() ? Text(STR_CLI_CANCELLED) : Utf16ToUtf8(text);
}

Output::Output() {
  buffer_.reserve(kFlushAt + 4096);
}

Output::~Output() {
  Flush();
}

char* Output::Reserve(std::size_t n) {
  if (buffer_.size() + n > kFlushAt) Flush();
  std::size_t used = buffer_.size();
  buffer_.resize(used + n);
  return buffer_.data() + used;
}

void Output::Flush() {
  if (buffer_.empty()) return;
  if (error_ == 0 && std::fwrite(buffer_.data(), 1, buffer_.size(), stdout) != buffer_.size()) {
    error_ = errno ? errno : EIO;
  }
  buffer_.clear();
}

bool Output::Finish() {
  Flush();
  if (error_ == 0 && std::fflush(stdout) != 0) error_ = errno ? errno : EIO;
  if (error_ != 0) {
    PrintError(Text(STR_CLI_WRITE_FAILED, Utf8ToUtf16(platform::ErrorText(error_))));
    return false;
  }
  return true;
}

char* AppendDouble17(char* out, double value) {
  // to_chars with a precision is specified as printf in the "C" locale.
  return std::to_chars(out, out + 32, value, std::chars_format::general, 17).ptr;
}

char* AppendInt(char* out, std::int64_t value) {
  return std::to_chars(out, out + 24, value).ptr;
}

}  // namespace tarvik::cli
