#include "processing/program_entry.h"

#include <cerrno>
#include <filesystem>
#include <system_error>

#include "core/settings_path.h"
#include "core/text.h"
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
  if (!options_.writeDefaults) return;
  if (options_.iniPath.empty() && !context_.iniPath.empty()) {
    // The per-user folder of the path rule is ours to make; a folder named by the caller is not.
    std::error_code ec;
    std::filesystem::create_directories(ToFsPath(context_.iniPath).parent_path(), ec);
  }
  defaultsWritten_ = WriteDefaultParamsIfMissing(context_, &defaultsError_);
  std::error_code ec;
  if (defaultsError_ == EEXIST &&
      std::filesystem::is_regular_file(ToFsPath(context_.iniPath), ec)) {
    // Another run wrote the file between the look and the write: its sets serve, as those of
    // any file that was there. (A link that points nowhere also takes the name: that stays
    // an error.)
    defaultsRaced_ = true;
    defaultsError_ = 0;
  }
  context_.defaultsInMemory = defaultsError_ != 0;
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
