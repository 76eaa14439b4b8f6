// Build-time tool: the GeoNames city list that Debian's libgeonames0 carries as a GResource,
// turned into the city file Tarvik installs.
//   extract_cities CITIES.compiled OUT.dat
// CITIES.compiled is the resource as `gresource extract` writes it: a GVariant array of
// (id, name, region code, region, country code, country, timezone, population, latitude,
// longitude). The output keeps name, longitude, latitude and population, the most populous
// first, in the layout map/cities.h describes, and ends with a note of its source and licence.
#include <glib.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct City {
  std::u16string name;
  double x = 0, y = 0;
  std::uint32_t population = 0;
};

void Put32(std::FILE* out, std::uint32_t v) {
  const unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                              static_cast<unsigned char>(v >> 16),
                              static_cast<unsigned char>(v >> 24)};
  std::fwrite(b, 1, 4, out);
}

void PutFloat(std::FILE* out, double v) {
  const float f = static_cast<float>(v);
  std::uint32_t bits;
  std::memcpy(&bits, &f, 4);
  Put32(out, bits);
}

int Fail(const char* what, const char* path) {
  std::fprintf(stderr, "extract_cities: %s: %s\n", path, what);
  return 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: extract_cities CITIES.compiled OUT.dat\n");
    return 2;
  }
  gchar* bytes = nullptr;
  gsize size = 0;
  if (!g_file_get_contents(argv[1], &bytes, &size, nullptr)) return Fail("cannot read", argv[1]);
  GBytes* data = g_bytes_new_take(bytes, size);
  GVariant* all =
      g_variant_ref_sink(g_variant_new_from_bytes(G_VARIANT_TYPE("a(sssssssudd)"), data, FALSE));
  g_bytes_unref(data);
  if (!g_variant_is_normal_form(all))
    return Fail("not a list of cities in the expected form", argv[1]);

  std::vector<City> cities;
  GVariantIter it;
  g_variant_iter_init(&it, all);
  const gchar *id, *name, *regionCode, *region, *countryCode, *country, *zone;
  guint32 population;
  double latitude, longitude;
  while (g_variant_iter_next(&it, "(&s&s&s&s&s&s&sudd)", &id, &name, &regionCode, &region,
                             &countryCode, &country, &zone, &population, &latitude, &longitude)) {
    glong units = 0;
    gunichar2* utf16 = g_utf8_to_utf16(name, -1, nullptr, &units, nullptr);
    if (!utf16 || units == 0 || !std::isfinite(latitude) || !std::isfinite(longitude) ||
        std::fabs(latitude) > 90 || std::fabs(longitude) > 180)
      return Fail("a city with a bad name or position", argv[1]);
    cities.push_back({std::u16string(utf16, utf16 + units), longitude, latitude, population});
    g_free(utf16);
  }
  g_variant_unref(all);
  if (cities.size() < 1000) return Fail("too few cities", argv[1]);
  std::stable_sort(cities.begin(), cities.end(),
                   [](const City& a, const City& b) { return a.population > b.population; });

  const std::string tmp = std::string(argv[2]) + ".tmp";
  std::FILE* out = std::fopen(tmp.c_str(), "wb");
  if (!out) return Fail("cannot write", tmp.c_str());
  std::uint32_t units = 0;
  for (const City& c : cities) units += static_cast<std::uint32_t>(c.name.size());
  std::fwrite("TVKCITY1", 1, 8, out);
  Put32(out, static_cast<std::uint32_t>(cities.size()));
  Put32(out, units);
  std::uint32_t start = 0;
  for (const City& c : cities) {
    PutFloat(out, c.x);
    PutFloat(out, c.y);
    Put32(out, c.population);
    Put32(out, start);
    start += static_cast<std::uint32_t>(c.name.size());
  }
  for (const City& c : cities)
    for (char16_t u : c.name) {
      const unsigned char b[2] = {static_cast<unsigned char>(u),
                                  static_cast<unsigned char>(u >> 8)};
      std::fwrite(b, 1, 2, out);
    }
  std::fprintf(out,
               "\nCities of 15,000 people and more: GeoNames cities15000 "
               "(https://www.geonames.org/),\nlicensed under CC BY 4.0 "
               "(https://creativecommons.org/licenses/by/4.0/). Taken from Debian's libgeonames0;\n"
               "only name, longitude, latitude and population kept.\n");
  if (std::fclose(out) != 0 || std::rename(tmp.c_str(), argv[2]) != 0)
    return Fail("cannot write", argv[2]);
  return 0;
}
