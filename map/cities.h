#pragma once
// The cities the map names: GeoNames' cities of 15,000 people and more, from the file the
// build makes of the list Debian's libgeonames0 carries (data/cities), read in one piece.
//
// The file, little-endian: "TVKCITY1"; the number of cities and of UTF-16 units of all names
// (32 bits each); per city its longitude and latitude (32-bit floats), population and the
// start of its name among the names (32 bits each), the most populous first; the names one
// after another in the same order, in UTF-16 (as GeoNames gives them); then a note of the
// source and licence.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/tracked_memory.h"

namespace tarvik {

struct City {
  float x = 0, y = 0;  // longitude, latitude
  std::uint32_t population = 0;
  std::uint32_t name = 0;  // in the list's names
  std::uint32_t nameLength = 0;
};

class CityList {
 public:
  explicit CityList(CAppContext* context)
      : cities_(TrackedAllocator<City>(context)), names_(TrackedAllocator<char16_t>(context)) {}

  enum class Status { Ok, Missing, Bad };
  // Reads the file. Missing: it cannot be read; Bad: it is not such a file (the list is then
  // empty). Throws std::bad_alloc when memory runs out.
  Status Load(const std::string& path);

  // The most populous first.
  std::span<const City> Cities() const { return {cities_.data(), cities_.size()}; }
  std::u16string_view Name(const City& c) const { return {names_.data() + c.name, c.nameLength}; }
  // The most populous city of that name, or null.
  const City* Find(std::u16string_view name) const;
  std::size_t Bytes() const {
    return cities_.capacity() * sizeof(City) + names_.capacity() * sizeof(char16_t);
  }

 private:
  std::vector<City, TrackedAllocator<City>> cities_;
  std::basic_string<char16_t, std::char_traits<char16_t>, TrackedAllocator<char16_t>> names_;
};

}  // namespace tarvik
