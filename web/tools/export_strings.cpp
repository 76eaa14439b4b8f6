// Writes the string table as a JavaScript object literal {language: {id: text}}, for the
// page's bundle.
#include <cstdio>
#include <string>

#include "core/text.h"
#include "resources/string_table.h"

namespace {

void Append(std::string& out, const char* language,
            const char16_t* tarvik::StringTableEntry::*text) {
  out += language;
  out += ": {";
  for (std::size_t i = 0; i < tarvik::kStringTableSize; ++i) {
    const tarvik::StringTableEntry& e = tarvik::kStringTable[i];
    const char16_t* t = e.*text ? e.*text : e.ru;
    out += (i ? ",\n" : "\n") + std::to_string(e.id) + ":\"";
    for (char c : tarvik::Utf16ToUtf8(t)) {
      if (c == '"' || c == '\\') out += '\\';
      if (c == '\n')
        out += "\\n";
      else if (c == '\r')
        out += "\\r";
      else
        out += c;
    }
    out += '"';
  }
  out += "\n}";
}

}  // namespace

int main() {
  std::string out = "{\n";
  Append(out, "ru", &tarvik::StringTableEntry::ru);
  out += ",\n";
  Append(out, "en", &tarvik::StringTableEntry::en);
  out += "\n}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}
