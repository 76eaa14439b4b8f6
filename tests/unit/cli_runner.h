#pragma once
// Runs tarvik-cli as a separate process and captures what it prints.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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

// Runs tarvik-cli with `args` (each quoted) under the environment assignments `env`, with
// stdin from /dev/null or, when `pipeFrom` is given, from a pipe fed with that file.
inline CliRun RunCli(const std::vector<std::string>& args, const std::string& env = "LC_ALL=C",
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
