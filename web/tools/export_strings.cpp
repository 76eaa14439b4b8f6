// Writes the string table as a JavaScript object literal {language: {id: text}}, for the
// page's bundle.
#include <cstdio>
#include <string>

#include "core/text.h"
#include "resources/string_table.h"

int main() {
  std::string out = "{ru: {";
  for (std::size_t i = 0; i < tarvik::kStringTableSize; ++i) {
    const tarvik::StringTableEntry& e = tarvik::kStringTable[i];
    out += (i ? ",\n" : "\n") + std::to_string(e.id) + ":\"";
    for (char c : tarvik::Utf16ToUtf8(e.text)) {
      if (c == '"' || c == '\\') out += '\\';
      if (c == '\n') out += "\\n";
      else if (c == '\r') out += "\\r";
      else out += c;
    }
    out += '"';
  }
  out += "\n}}\n";
  std::fwrite(out.data(), 1, out.size(), stdout);
}
