// Fuzzes the reading of a settings file from memory as a start reads it: the private-profile
// reads of every section's keys into small buffers, and the parameter sections. It leaves out
// the `ini` target's save and re-read, so a run of the same length tries several times as
// many inputs. Whatever the bytes: no crash, every string cut to its buffer and terminated,
// every item's texts terminated within their fields.
#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "params/ini_file.h"
#include "params/param_io.h"

using namespace tarvik;

namespace {

template <std::size_t N>
void CheckTerminated(const char16_t (&field)[N]) {
  CHECK(FieldText(field).size() < N);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  IniFile ini;
  ini.Parse(std::string_view(reinterpret_cast<const char*>(data), size));

  // Every key of every section, read as the program reads keys: into buffers of the sizes it
  // uses and smaller, and as structs.
  for (const std::u16string& section : ini.SectionNames()) {
    ini.ForEachKey(section, [&](std::u16string_view key) {
      for (std::size_t capacity : {1, 2, 8, 65}) {
        char16_t buffer[65];
        buffer[capacity - 1] = u'x';
        const std::size_t n = ini.GetString(section, key, buffer, capacity);
        CHECK(n < capacity && buffer[n] == 0);
      }
      std::uint64_t value = 0;
      ini.GetStruct(section, key, &value, sizeof value);
    });
  }

  CAppContext ctx;
  CParamStore store(&ctx);
  ReadParamSections(ini, store);
  for (const FilterArea& f : store.Filters()) CheckTerminated(f.Name);
  for (SchemaSet& s : store.Schemas()) {
    CheckTerminated(s.Name);
    CHECK(s.Count == 0 || s.Entries != nullptr);
    for (const SchemaEntry& e : CParamStore::Entries(s)) CheckTerminated(e.Desc);
  }
  for (const ExportProfile& p : store.Profiles()) {
    CheckTerminated(p.Name);
    CheckTerminated(p.File);
    CheckTerminated(p.Format);
    CheckTerminated(p.Folder);
    CheckTerminated(p.Desc);
  }
  return 0;
}
