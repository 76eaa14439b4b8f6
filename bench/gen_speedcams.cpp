// Writes a synthetic speed-camera table for benchmarks and large tests: clusters of cameras
// around cities, coordinates with many decimals, type codes 1..7, speed limits, direction
// types and bearings, optional comment lines, CR LF line ends.
//
//   gen_speedcams --lines 1000000 --layout comma --seed 1 -o cams.txt
//   gen_speedcams --lines 1000 --layout bar -o cams.bkm
//
// Same arguments, same bytes, on every platform (own random numbers, no library distributions).
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

namespace {

struct City {
  double x, y, weight;
};
// Longitude, latitude and weight of cluster centres: cities of Europe and Russia.
constexpr City kCities[] = {
    {37.6176, 55.7558, 30}, {30.3141, 59.9386, 15}, {49.1221, 55.7887, 4}, {60.6122, 56.8519, 4},
    {82.9346, 55.0415, 4},  {39.7015, 47.2357, 4},  {44.0020, 56.3287, 4}, {50.1500, 53.2000, 3},
    {2.3522, 48.8566, 10},  {13.4050, 52.5200, 8},  {12.4964, 41.9028, 6}, {-3.7038, 40.4168, 6},
    {21.0122, 52.2297, 5},  {16.3738, 48.2082, 4},  {30.5234, 50.4501, 5}, {27.5615, 53.9045, 3},
    {24.1052, 56.9496, 2},  {-0.1276, 51.5072, 8},
};
constexpr int kTypeWeights[][2] = {{1, 40}, {2, 15}, {3, 10}, {4, 8}, {5, 20}, {6, 4}, {7, 3}};
constexpr int kSpeeds[] = {20, 30, 40, 50, 60, 70, 80, 90, 100, 110, 120, 130};
constexpr int kDirTypes[] = {0, 1, 1, 2};

class Random {
 public:
  explicit Random(std::uint64_t seed) : state_(seed) {}
  std::uint64_t Next() {  // splitmix64
    std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  double Uniform() { return static_cast<double>(Next() >> 11) * 0x1.0p-53; }  // [0, 1)
  int Below(int n) { return static_cast<int>(Next() % static_cast<std::uint64_t>(n)); }
  double Gauss(double sigma) {  // Box-Muller
    double u = 1.0 - Uniform();
    double v = Uniform();
    return sigma * std::sqrt(-2.0 * std::log(u)) * std::cos(6.283185307179586 * v);
  }

 private:
  std::uint64_t state_;
};

const City& PickCity(Random& rng) {
  double total = 0;
  for (const City& c : kCities) total += c.weight;
  double r = rng.Uniform() * total;
  for (const City& c : kCities) {
    r -= c.weight;
    if (r <= 0) return c;
  }
  return kCities[std::size(kCities) - 1];
}

int PickType(Random& rng) {
  int total = 0;
  for (const auto& t : kTypeWeights) total += t[1];
  int r = rng.Below(total);
  for (const auto& t : kTypeWeights) {
    if (r < t[1]) return t[0];
    r -= t[1];
  }
  return 1;
}

void Fixed(std::string& out, double v, int decimals) {
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed, decimals);
  out.append(buf, r.ptr);
}

void Int(std::string& out, long long v) {
  char buf[24];
  auto r = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, r.ptr);
}

int Usage() {
  std::fputs(
      "usage: gen_speedcams [--lines N] [--layout comma|bar] [--seed S] [--comments] [--lf] "
      "[-o FILE]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  long long lines = 1000;
  bool bar = false, comments = false, lf = false;
  std::uint64_t seed = 1;
  const char* output = "-";
  for (int i = 1; i < argc; ++i) {
    std::string_view a = argv[i];
    auto value = [&]() -> const char* { return i + 1 < argc ? argv[++i] : nullptr; };
    if (a == "--lines") {
      const char* v = value();
      if (!v) return Usage();
      lines = std::atoll(v);
    } else if (a == "--layout") {
      const char* v = value();
      if (!v || (std::strcmp(v, "comma") != 0 && std::strcmp(v, "bar") != 0)) return Usage();
      bar = std::strcmp(v, "bar") == 0;
    } else if (a == "--seed") {
      const char* v = value();
      if (!v) return Usage();
      seed = std::strtoull(v, nullptr, 10);
    } else if (a == "--comments") {
      comments = true;
    } else if (a == "--lf") {
      lf = true;
    } else if (a == "-o" || a == "--output") {
      output = value();
      if (!output) return Usage();
    } else {
      return Usage();
    }
  }

  std::FILE* out = std::strcmp(output, "-") == 0 ? stdout : std::fopen(output, "wb");
  if (!out) {
    std::perror(output);
    return 1;
  }
  Random rng(seed);
  const char* eol = lf ? "\n" : "\r\n";
  std::string buf;
  buf.reserve(1 << 21);
  if (comments) {
    buf += "; synthetic speed cameras";
    buf += eol;
    buf += "# generated, seed ";
    Int(buf, static_cast<long long>(seed));
    buf += eol;
  }
  buf += bar ? "2|0|55.70|37.60" : "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION";
  buf += eol;
  for (long long i = 0; i < lines; ++i) {
    const City& c = PickCity(rng);
    double x = c.x + rng.Gauss(1.2);
    double y = c.y + rng.Gauss(0.8);
    int type = PickType(rng);
    int speed = kSpeeds[rng.Below(static_cast<int>(std::size(kSpeeds)))];
    int dirType = kDirTypes[rng.Below(4)];
    int bearing = rng.Below(360);
    if (!bar) {
      Int(buf, i);
      buf += ',';
      Fixed(buf, x, 13);
      buf += ',';
      Fixed(buf, y, 13);
      for (int v : {type, speed, dirType, bearing}) {
        buf += ',';
        Int(buf, v);
      }
    } else {
      Int(buf, type);
      buf += "|0|";
      Fixed(buf, y, 6);
      buf += '|';
      Fixed(buf, x, 6);
      buf += "|1709|";
      Int(buf, speed);
      buf += "|1705|";
      Int(buf, bearing);
    }
    buf += eol;
    if (comments && i % 5000 == 4999) {
      buf += "// block ";
      Int(buf, i / 5000);
      buf += eol;
    }
    if (buf.size() >= (1u << 20)) {
      std::fwrite(buf.data(), 1, buf.size(), out);
      buf.clear();
    }
  }
  std::fwrite(buf.data(), 1, buf.size(), out);
  bool ok = std::fflush(out) == 0 && !std::ferror(out);
  if (out != stdout) ok = std::fclose(out) == 0 && ok;
  if (!ok) {
    std::perror(output);
    return 1;
  }
  return 0;
}
