// Fuzzes the INI reader, the value decoders and the parameter sections: whatever the bytes,
// reading must not crash, and what a save writes must read back to the same sets, byte for
// byte on a second save.
#include <cstdint>
#include <cstring>
#include <string>

#include "fuzz_check.h"
#include "params/ini_file.h"
#include "params/param_io.h"

using namespace tarvik;

namespace {

template <std::size_t N>
bool SameText(const char16_t (&a)[N], const char16_t (&b)[N]) {
  return FieldText(a) == FieldText(b);
}

// The live items of `a` equal every item of `b`, in order.
void CheckSameSets(CParamStore& a, CParamStore& b) {
  std::size_t k = 0;
  for (const FilterArea& f : a.Filters()) {
    if (IsDeleted(f)) continue;
    CHECK(k < b.Filters().size());
    const FilterArea& g = b.Filters()[k++];
    CHECK(f.Param == g.Param && f.ID == g.ID && SameText(f.Name, g.Name));
    CHECK(std::memcmp(&f.AX, &g.AX, 8) == 0 && std::memcmp(&f.CY, &g.CY, 8) == 0);
  }
  CHECK(k == b.Filters().size());
  k = 0;
  for (SchemaSet& s : a.Schemas()) {
    if (IsDeleted(s)) continue;
    CHECK(k < b.Schemas().size());
    SchemaSet& t = b.Schemas()[k++];
    CHECK(s.Param == t.Param && s.ID == t.ID && SameText(s.Name, t.Name));
    std::size_t m = 0;
    for (const SchemaEntry& e : CParamStore::Entries(s)) {
      if (IsDeleted(e)) continue;
      CHECK(m < t.Count);
      const SchemaEntry& f = t.Entries[m++];
      CHECK(e.Param == f.Param && e.ID == f.ID && e.Type == f.Type && SameText(e.Desc, f.Desc));
    }
    CHECK(m == t.Count);
  }
  CHECK(k == b.Schemas().size());
  k = 0;
  for (const ExportProfile& p : a.Profiles()) {
    if (IsDeleted(p)) continue;
    CHECK(k < b.Profiles().size());
    const ExportProfile& q = b.Profiles()[k++];
    CHECK(p.Param == q.Param && p.ID == q.ID && SameText(p.Name, q.Name));
    CHECK(SameText(p.File, q.File) && SameText(p.Format, q.Format) && SameText(p.Folder, q.Folder));
    CHECK(p.SizeLimit == q.SizeLimit && p.Codepage == q.Codepage &&
          p.StringLimit == q.StringLimit && p.Translit == q.Translit && SameText(p.Desc, q.Desc));
  }
  CHECK(k == b.Profiles().size());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The decoders on the raw text.
  IniEncoding encoding;
  std::u16string text = DecodeIniBytes(bytes, encoding);
  unsigned char buf[8];
  for (std::size_t n : {1, 4, 8})
    if (DecodeStruct(text, buf, n)) CHECK(EncodeStruct(buf, n).size() == text.size());

  IniFile ini;
  ini.Parse(bytes);
  CAppContext ctx;
  CParamStore first(&ctx);
  ReadParamSections(ini, first);

  // What a save writes reads back to the same sets ...
  WriteParamSections(ini, first);
  std::string saved = ini.Serialize();
  IniFile reread;
  reread.Parse(saved);
  CParamStore second(&ctx);
  ReadParamSections(reread, second);
  CheckSameSets(first, second);

  // ... and saving those again changes no byte.
  WriteParamSections(reread, second);
  CHECK(reread.Serialize() == saved);

  // A key written is a key read, whatever the text.
  std::u16string value = text.substr(0, 64);
  reread.WriteString(u"Fuzz", u"Key", value);
  IniFile third;
  third.Parse(reread.Serialize());
  std::u16string_view got;
  CHECK(third.GetValue(u"Fuzz", u"Key", got));
  CHECK(got.size() == value.size());
  return 0;
}
