#pragma once
// The start and end of both programs: the application context, the seed of item identifiers
// ("Core"/"Seed") and the first-start defaults.
#include <string>

#include "core/app_context.h"

namespace tarvik {

struct EntryOptions {
  std::u16string iniPath;       // empty: the settings path rule
  bool writeDefaults = true;    // first start: write the default set when no file exists
  bool writeSeedAtExit = true;  // false for read-only commands
};

// Sets the context up on construction (InitContext, the seed from "Core"/"Seed" when the
// settings file has one, then the defaults, creating the per-user settings folder when the
// path rule chose it) and, on Finish or destruction, writes the seed back and releases the
// context.
class ProgramEntry {
 public:
  ProgramEntry(CAppContext& context, EntryOptions options = {});
  ~ProgramEntry();
  ProgramEntry(const ProgramEntry&) = delete;
  ProgramEntry& operator=(const ProgramEntry&) = delete;

  // Writes "Core"/"Seed" (when asked to) and releases the context; later calls do nothing.
  // False when the seed could not be written; error() tells why.
  bool Finish();

  bool defaultsWritten() const { return defaultsWritten_; }
  // Why the first-start defaults could not be written (0: written, or nothing to write). They
  // then serve this run from memory; the front ends tell the user.
  int defaultsError() const { return defaultsError_; }
  // Another run wrote the settings file first (two first starts at once): that file is used.
  bool defaultsRaced() const { return defaultsRaced_; }
  int error() const { return error_; }

 private:
  CAppContext& context_;
  EntryOptions options_;
  bool finished_ = false;
  bool defaultsWritten_ = false;
  bool defaultsRaced_ = false;
  int defaultsError_ = 0;
  int error_ = 0;
};

}  // namespace tarvik
