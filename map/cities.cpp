#include "map/cities.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <fstream>

namespace tarvik {
namespace {

constexpr char kMagic[8] = {'T', 'V', 'K', 'C', 'I', 'T', 'Y', '1'};
constexpr std::size_t kHeader = 16, kRecord = 16;

std::uint32_t Get32(const unsigned char* p) {
  return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}

float GetFloat(const unsigned char* p) {
  const std::uint32_t bits = Get32(p);
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

}  // namespace

CityList::Status CityList::Load(const std::string& path) {
  cities_.clear();
  names_.clear();
  std::ifstream in(path, std::ios::binary | std::ios::ate);
  if (!in) return Status::Missing;
  const std::streamoff size = in.tellg();
  if (size < 0 || !in.seekg(0)) return Status::Missing;
  std::string bytes(static_cast<std::size_t>(size), '\0');
  if (!in.read(bytes.data(), size)) return Status::Missing;
  const auto* p = reinterpret_cast<const unsigned char*>(bytes.data());
  if (bytes.size() < kHeader || std::memcmp(p, kMagic, sizeof kMagic) != 0) return Status::Bad;
  const std::uint32_t count = Get32(p + 8), units = Get32(p + 12);
  if (kHeader + std::uint64_t{count} * kRecord + std::uint64_t{units} * 2 > bytes.size())
    return Status::Bad;

  cities_.resize(count);
  names_.resize(units);
  const unsigned char* r = p + kHeader;
  for (std::uint32_t i = 0; i < count; ++i, r += kRecord) {
    City& c = cities_[i];
    c.x = GetFloat(r);
    c.y = GetFloat(r + 4);
    c.population = Get32(r + 8);
    c.name = Get32(r + 12);
    const std::uint32_t next = i + 1 < count ? Get32(r + kRecord + 12) : units;
    // In range, the most populous first, names one after another and none empty.
    if (!(std::fabs(c.x) <= 180) || !(std::fabs(c.y) <= 90) || c.name >= next || next > units ||
        (i > 0 && c.population > cities_[i - 1].population)) {
      cities_.clear();
      names_.clear();
      return Status::Bad;
    }
    c.nameLength = next - c.name;
  }
  for (std::uint32_t k = 0; k < units; ++k, r += 2)
    names_[k] = static_cast<char16_t>(r[0] | r[1] << 8);
  return Status::Ok;
}

const City* CityList::Find(std::u16string_view name) const {
  for (const City& c : cities_)
    if (Name(c) == name) return &c;
  return nullptr;
}

}  // namespace tarvik
