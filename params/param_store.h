#pragma once
// The user's parameter sets: filters (named rectangles), schemas (type -> description) and
// export profiles. Records are plain, fixed-size and contiguous so that lists, counters and
// task requests can point at them while the store's lock is held.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string_view>
#include <type_traits>

#include "core/app_context.h"
#include "core/store_lock.h"

namespace tarvik {

enum : std::uint8_t {
  PARAM_DELETED = 0x80,
  PARAM_ENABLED = 0x40,
  PARAM_DEFAULT = 0x20,
  PARAM_LOCKED = 0x01,
};

// Capacities include the terminator; at most capacity - 2 characters are ever stored.
constexpr std::size_t NAME_CAPACITY = 65;
constexpr std::size_t ENTRY_DESC_CAPACITY = 129;
constexpr std::size_t FILE_CAPACITY = 4097;
constexpr std::size_t FORMAT_CAPACITY = 129;
constexpr std::size_t FOLDER_CAPACITY = 4097;
constexpr std::size_t PROFILE_DESC_CAPACITY = 513;

struct FilterArea {
  std::uint8_t Param;
  std::uint64_t ID;
  char16_t Name[NAME_CAPACITY];
  double AX;  // north-west corner A
  double AY;
  double CX;  // south-east corner C
  double CY;
};

struct SchemaEntry {
  std::uint8_t Param;
  std::uint64_t ID;
  std::int32_t Type;
  char16_t Desc[ENTRY_DESC_CAPACITY];
};

struct SchemaSet {
  std::uint8_t Param;
  std::uint64_t ID;
  char16_t Name[NAME_CAPACITY];
  std::uint32_t Count;   // entries, deleted ones included
  SchemaEntry* Entries;  // tracked block owned by the schema; null while empty
};

struct ExportProfile {
  std::uint8_t Param;
  std::uint64_t ID;
  char16_t Name[NAME_CAPACITY];
  char16_t File[FILE_CAPACITY];
  char16_t Format[FORMAT_CAPACITY];
  char16_t Folder[FOLDER_CAPACITY];
  std::int32_t StringLimit;  // characters; 0 = none
  std::uint8_t Translit;
  std::int32_t SizeLimit;  // KiB; 0 = none
  std::int32_t Codepage;   // 65001 = UTF-8, anything else = ANSI
  char16_t Desc[PROFILE_DESC_CAPACITY];
};

// The inside test of a point in an area, strict on every side: AX < x < CX and CY < y < AY.
// An area with swapped corners, or a NaN anywhere, contains nothing. Branch-free, as the
// filter and the export call it for every point.
constexpr bool CornersContain(double ax, double ay, double cx, double cy, double x, double y) {
  return (x > ax) & (x < cx) & (y < ay) & (y > cy);
}
constexpr bool AreaContains(const FilterArea& a, double x, double y) {
  return CornersContain(a.AX, a.AY, a.CX, a.CY, x, y);
}

// The data block; arrays are tracked blocks owned by the store.
struct ParamData {
  std::atomic<std::int32_t> busyMarker{0};
  std::uint32_t filterCount = 0;
  FilterArea* filters = nullptr;
  std::uint32_t schemaCount = 0;
  SchemaSet* schemas = nullptr;
  std::uint32_t profileCount = 0;
  ExportProfile* profiles = nullptr;
  // True while the store does not mirror the settings file (its last load was cancelled or
  // could not read the file): saving it then would drop sets the user never deleted.
  // Clear() raises it; LoadParams sets it from how the load went.
  bool stale = false;
};

static_assert(std::is_trivially_copyable_v<FilterArea> &&
              std::is_trivially_copyable_v<SchemaEntry> &&
              std::is_trivially_copyable_v<SchemaSet> &&
              std::is_trivially_copyable_v<ExportProfile>);

// Copies `text` into a fixed field of `capacity` characters (terminator included), keeping at
// most capacity - 2 characters, the limit every way of filling a field is given.
void SetText(char16_t* field, std::size_t capacity, std::u16string_view text);
template <std::size_t N>
void SetText(char16_t (&field)[N], std::u16string_view text) {
  SetText(field, N, text);
}
// The text of a fixed field (up to its terminator or its capacity).
template <std::size_t N>
std::u16string_view FieldText(const char16_t (&field)[N]) {
  std::size_t n = 0;
  while (n < N && field[n]) ++n;
  return {field, n};
}

// Flag rules shared by every record type. A deleted item counts as absent whatever its other
// bits; "current" means not deleted, enabled and default.
template <class Item>
bool IsDeleted(const Item& item) {
  return (item.Param & PARAM_DELETED) != 0;
}
template <class Item>
bool IsCurrent(const Item& item) {
  return !IsDeleted(item) && (item.Param & PARAM_ENABLED) && (item.Param & PARAM_DEFAULT);
}
template <class Item>
void MarkDeleted(Item& item) {
  item.Param |= PARAM_DELETED;
}
// The first current item in store order, or null.
template <class Item>
Item* FindCurrent(std::span<Item> items) {
  for (Item& it : items)
    if (IsCurrent(it)) return &it;
  return nullptr;
}
// When no item is current, the last enabled, undeleted item becomes current.
template <class Item>
void RepairDefault(std::span<Item> items) {
  Item* last = nullptr;
  for (Item& it : items) {
    if (IsCurrent(it)) return;
    if (!IsDeleted(it) && (it.Param & PARAM_ENABLED)) last = &it;
  }
  if (last) last->Param |= PARAM_DEFAULT;
}
// The editor's "Enabled" box unchecked: the item loses enabled and default.
template <class Item>
void DisableItem(std::span<Item> items, Item& item) {
  item.Param &= static_cast<std::uint8_t>(~(PARAM_ENABLED | PARAM_DEFAULT));
  RepairDefault(items);
}
template <class Item>
void DeleteItem(std::span<Item> items, Item& item) {
  MarkDeleted(item);
  RepairDefault(items);
}
// The editor's "Default" box checked on an enabled item: it takes over from the current one.
template <class Item>
void MakeCurrentFromEditor(std::span<Item> items, Item& item) {
  for (Item& it : items)
    if (IsCurrent(it)) it.Param &= static_cast<std::uint8_t>(~PARAM_DEFAULT);
  item.Param |= PARAM_DEFAULT;
}
// The main window's schema choice: default goes from every item, deleted and disabled ones
// included, to the chosen one.
template <class Item>
void MakeCurrentFromList(std::span<Item> items, Item& item) {
  for (Item& it : items) it.Param &= static_cast<std::uint8_t>(~PARAM_DEFAULT);
  item.Param |= PARAM_DEFAULT;
}

// Every operation but construction and DestroyStore expects the lock to be held, and does
// nothing without a data block.
class CParamStore {
 public:
  explicit CParamStore(CAppContext* context);  // empty store, lock ready
  ~CParamStore();                              // DestroyStore
  CParamStore(const CParamStore&) = delete;
  CParamStore& operator=(const CParamStore&) = delete;

  // Releases every array; counts 0, pointers null.
  void Clear();
  // Clear, then the data block itself, under the lock.
  void DestroyStore();

  std::span<FilterArea> Filters();
  std::span<SchemaSet> Schemas();
  std::span<ExportProfile> Profiles();
  static std::span<SchemaEntry> Entries(SchemaSet& schema);

  // A zero-filled record at the end of its array, already counted; null when memory (or the
  // data block) is missing. Pointers into the array are invalid after the next append.
  FilterArea* AppendFilter();
  SchemaSet* AppendSchema();
  SchemaEntry* AppendEntry(SchemaSet& schema);
  ExportProfile* AppendProfile();

  // A new item as the editors add it: identifier from NewItemId, the default name and
  // contents, enabled; a schema or profile becomes current when none is.
  FilterArea* AddFilter();
  SchemaSet* AddSchema();
  SchemaEntry* AddEntry(SchemaSet& schema);
  ExportProfile* AddProfile();

  SchemaSet* CurrentSchema() { return FindCurrent(Schemas()); }
  ExportProfile* CurrentProfile() { return FindCurrent(Profiles()); }

  CAppContext* context = nullptr;
  std::recursive_mutex lock;
  ParamData* data = nullptr;
};

// Copies every set of `from` into `to`, which holds nothing afterwards but the copy (its
// stale mark too); false when memory ran out, and `to` is then empty. Both stores are held.
bool CopySets(CParamStore& from, CParamStore& to);
// Exchanges the sets of two stores (their busy markers stay). Both stores are held. Pointers
// into either store's arrays then point into the other.
void SwapSets(CParamStore& a, CParamStore& b);

// The lock with its busyMarker (store_lock.h): try once, wait, leave, or hold for a scope.
inline bool TryAcquireParams(CParamStore& store) {
  return TryEnterStore(store);
}
inline void AcquireParams(CParamStore& store) {
  EnterStore(store);
}
inline void ReleaseParams(CParamStore& store) {
  LeaveStore(store);
}
using ParamStoreHold = StoreHold<CParamStore>;

}  // namespace tarvik
