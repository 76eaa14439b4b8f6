#pragma once
// Finds the first of n items whose TYPE code equals a record's, without a linear search per
// record: a direct table when the codes lie close together, otherwise a sorted search.
// Works in a scratch block that the caller obtains (Bytes()) so it allocates nothing itself.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <new>

namespace tarvik {

class TypeIndex {
 public:
  static constexpr std::uint32_t kNone = UINT32_MAX;

  // typeOf(k) is the TYPE code of item k.
  template <class TypeOf>
  TypeIndex(std::size_t n, TypeOf typeOf) : n_(n) {
    for (std::size_t k = 0; k < n; ++k) {
      lo_ = std::min<std::int64_t>(lo_, typeOf(k));
      hi_ = std::max<std::int64_t>(hi_, typeOf(k));
    }
    direct_ = n > 0 && hi_ - lo_ < kDirectSpan;
  }

  // Scratch bytes that Build needs (at least 1).
  std::size_t Bytes() const {
    std::size_t b = direct_ ? static_cast<std::size_t>(hi_ - lo_ + 1) * sizeof(std::uint32_t)
                            : n_ * sizeof(Pair);
    return b ? b : 1;
  }

  // `scratch` is suitably aligned for 32-bit words and holds Bytes() bytes.
  template <class TypeOf>
  void Build(void* scratch, TypeOf typeOf) {
    if (direct_) {
      table_ = static_cast<std::uint32_t*>(scratch);
      std::fill(table_, table_ + (hi_ - lo_ + 1), kNone);
      for (std::size_t k = n_; k-- > 0;) table_[typeOf(k) - lo_] = static_cast<std::uint32_t>(k);
      return;
    }
    // Sorted by type, then position, so the first hit is the first item of that type.
    pairs_ = static_cast<Pair*>(scratch);
    for (std::size_t k = 0; k < n_; ++k)
      new (pairs_ + k) Pair{typeOf(k), static_cast<std::uint32_t>(k)};
    std::sort(pairs_, pairs_ + n_, [](const Pair& a, const Pair& b) {
      return a.type != b.type ? a.type < b.type : a.index < b.index;
    });
  }

  // The index of the first item with this type, or kNone.
  std::uint32_t Find(std::int32_t type) const {
    if (type < lo_ || type > hi_) return kNone;
    if (direct_) return table_[type - lo_];
    const Pair* end = pairs_ + n_;
    const Pair* begin = pairs_;
    const Pair* it = std::lower_bound(begin, end, type,
                                      [](const Pair& a, std::int32_t t) { return a.type < t; });
    return it != end && it->type == type ? it->index : kNone;
  }

 private:
  struct Pair {
    std::int32_t type;
    std::uint32_t index;
  };
  static constexpr std::int64_t kDirectSpan = 4096;

  std::size_t n_;
  std::int64_t lo_ = INT64_MAX, hi_ = INT64_MIN;
  bool direct_ = false;
  std::uint32_t* table_ = nullptr;
  Pair* pairs_ = nullptr;
};

}  // namespace tarvik
