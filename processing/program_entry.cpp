#include "processing/program_entry.h"

#include "core/settings_path.h"
#include "params/default_params.h"
#include "params/ini_file.h"

namespace tarvik {

ProgramEntry::ProgramEntry(CAppContext& context, EntryOptions options)
    : context_(context), options_(std::move(options)) {
  InitContext(context_,
              options_.iniPath.empty() ? DefaultSettingsPath() : std::u16string(options_.iniPath));
  // A missing or unreadable value keeps the clock's seed.
  std::int64_t seed = 0;
  if (ReadSeed(context_.iniPath, seed)) context_.seed.store(seed);
  if (options_.writeDefaults) defaultsWritten_ = WriteDefaultParamsIfMissing(context_);
}

ProgramEntry::~ProgramEntry() {
  Finish();
}

bool ProgramEntry::Finish() {
  if (finished_) return error_ == 0;
  finished_ = true;
  if (options_.writeSeedAtExit && !context_.iniPath.empty())
    WriteSeed(context_.iniPath, context_.seed.load(), &error_);
  ReleaseContext(context_);
  return error_ == 0;
}

}  // namespace tarvik
