#pragma once
// The parameter sets in Tarvik.ini: sections "Filter", "Schema" and "Export", one group of
// keys per item ("%u.Name", "%u.%u.Type"), numbered densely from 0, "Count" last.
#include <cstdint>
#include <string>

#include "params/ini_file.h"
#include "params/param_store.h"

namespace tarvik {

// How a load or a save reports while it runs. The worker's parameter stages give one that
// reports to their task (processing/param_stages.h).
class ParamProgress {
 public:
  virtual ~ParamProgress() = default;
  // A section begins: progress 0 and its status text (a string id).
  virtual void Begin(std::uint32_t stringId) = 0;
  virtual void Percent(int percent) = 0;
  // The user asked to stop: a load ends early, a save goes on.
  virtual bool Cancelled() const = 0;
};

// What went wrong, as the user reads it.
struct ParamFileResult {
  std::uint32_t failure = 0;  // string id; 0: nothing went wrong
  std::u16string message;
  // A save that failed: the store holds sets the file does not, so it must not be reloaded
  // from the file.
  bool unsaved = false;
};

// Appends every item of the settings file at `path` to the store, which the caller has
// cleared and holds. Reads the file once; an empty path loads nothing. Unless the store then
// holds the whole file, it is marked stale (see ParamData::stale).
ParamFileResult LoadParamFile(const std::u16string& path, CParamStore& store,
                              ParamProgress* progress);
// Rewrites the three sections from the store, keeping everything else in the file, and
// replaces the file in one step. A cancel arriving meanwhile does not stop it. A stale store
// is refused.
ParamFileResult SaveParamFile(const std::u16string& path, CParamStore& store,
                              ParamProgress* progress);

// The same work on a file in memory (progress may be null).
void ReadParamSections(const IniFile& ini, CParamStore& store, ParamProgress* progress = nullptr);
void WriteParamSections(IniFile& ini, CParamStore& store, ParamProgress* progress = nullptr);

}  // namespace tarvik
