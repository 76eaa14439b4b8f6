#include "app/cli/cli_common.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <thread>

#include "core/platform.h"
#include "processing/pipeline.h"
#include "resources/string_ids.h"

namespace tarvik::cli {

CliApp::CliApp() : app_(Text(STR_CLI_PROGRAM), "tarvik-cli") {
  app_.set_help_flag("-h,--help", Text(STR_CLI_HELP));
  app_.set_version_flag("--version", std::string("tarvik-cli ") + TARVIK_VERSION,
                        Text(STR_CLI_VERSION));
  app_.require_subcommand(1);
}

CLI::App* CliApp::AddCommand(const std::string& name, std::uint32_t descriptionId,
                             std::function<int()> run) {
  CLI::App* sub = app_.add_subcommand(name, Text(descriptionId));
  commands_.emplace_back(sub, std::move(run));
  return sub;
}

int CliApp::Run(int argc, char** argv) {
  try {
    app_.parse(argc, argv);
  } catch (const CLI::ParseError& e) {
    int code = app_.exit(e);  // help and version print and give 0
    return code == 0 ? kExitOk : kExitUsage;
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

void RunOnWorker(WorkerTask& task) {
  std::thread worker([&task] { RunTask(&task); });
  worker.join();
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
