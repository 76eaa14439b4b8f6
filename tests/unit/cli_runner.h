#pragma once
// Runs tarvik-cli as a separate process and captures what it prints.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "core/language.h"
#include "core/text.h"
#include "resources/string_ids.h"
#include "test_files.h"

namespace tarvik::clitest {

struct CliRun {
  int status = -1;  // exit status, -1 when the program did not exit normally
  std::string out;
  std::string err;
};

// `s` as one single-quoted shell word.
inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

using testfiles::ReadBytes;
using testfiles::WriteBytes;

// The command-line tests run once in each language (tests/CMakeLists.txt): with
// TARVIK_TEST_CLI_LANG=en the program runs under an English locale, otherwise under a Russian
// one, and the texts a test expects are read from the table in that language. Exit statuses
// and files are expected the same in both.
inline Language CliLanguage() {
  const char* lang = std::getenv("TARVIK_TEST_CLI_LANG");
  return lang && std::string_view(lang) == "en" ? Language::English : Language::Russian;
}
// The test's own texts in that language, chosen before any test runs.
inline const bool kCliLanguageChosen = (SetLanguage(CliLanguage()), true);

// The user's environment of that language: the locale alone decides.
inline std::string LocaleEnv() {
  return std::string("env -u LANGUAGE -u LC_ALL -u LC_MESSAGES -u TARVIK_LANG LANG=") +
         (CliLanguage() == Language::English ? "en_US.UTF-8" : "ru_RU.UTF-8");
}

// A text of the table in the test's language, as the program prints it.
template <class... A>
std::string Text(std::uint32_t id, const A&... args) {
  return Utf16ToUtf8(StrLoad(id, args...));
}

// The words of a text before its first argument: how a message starts whose arguments (a
// system's reason) a test cannot know.
inline std::string TextStart(std::uint32_t id) {
  const std::u16string_view text = FindString(id);
  return Utf16ToUtf8(text.substr(0, text.find(u'%')));
}

// Runs tarvik-cli with `args` (each quoted) under the environment assignments `env`, with
// stdin from /dev/null or, when `pipeFrom` is given, from a pipe fed with that file.
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& env = LocaleEnv(),
                     const std::string& pipeFrom = {}) {
  namespace fs = std::filesystem;
  fs::path dir = fs::temp_directory_path();
  std::string tag = std::to_string(::getpid());
  fs::path out = dir / ("tarvik_cli_out_" + tag), err = dir / ("tarvik_cli_err_" + tag);
  std::string cmd = pipeFrom.empty() ? "" : "cat " + Quote(pipeFrom) + " | ";
  cmd += env + " " + Quote(TARVIK_CLI);
  for (const std::string& a : args) cmd += " " + Quote(a);
  if (pipeFrom.empty()) cmd += " </dev/null";
  cmd += " >" + Quote(out.string()) + " 2>" + Quote(err.string());
  int raw = std::system(cmd.c_str());
  CliRun r;
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = ReadBytes(out);
  r.err = ReadBytes(err);
  fs::remove(out);
  fs::remove(err);
  return r;
}

}  // namespace tarvik::clitest
