#pragma once
// The program's texts, compiled in (resources/string_table.cpp), in Russian and English.
#include <cstddef>
#include <cstdint>

namespace tarvik {

enum class Language : std::uint8_t { Russian, English };

struct StringTableEntry {
  std::uint32_t id;
  const char16_t* ru;
  const char16_t* en = nullptr;  // every entry has one; a test holds the table to that
};

extern const StringTableEntry kStringTable[];
extern const std::size_t kStringTableSize;

// The raw text of string `id` in `language` (an entry without that form gives its Russian
// one), or nullptr when the table has none.
const char16_t* FindString(std::uint32_t id, Language language);
// The same in the language the program runs in (core/language.h).
const char16_t* FindString(std::uint32_t id);

}  // namespace tarvik
