#pragma once
// The program's texts, compiled in (resources/string_table.cpp).
#include <cstddef>
#include <cstdint>

namespace tarvik {

struct StringTableEntry {
  std::uint32_t id;
  const char16_t* text;
};

extern const StringTableEntry kStringTable[];
extern const std::size_t kStringTableSize;

// The raw text of string `id`, or nullptr when the table has none.
const char16_t* FindString(std::uint32_t id);

}  // namespace tarvik
