#pragma once
// The user's parameter sets: filters (named rectangles), schemas (type -> description) and
// export profiles. Records are plain, fixed-size and contiguous so that lists, counters and
// task requests can point at them while the store's lock is held.
#include <atomic>
#include <cstdint>
#include <mutex>

#include "core/app_context.h"

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

// The data block; arrays are tracked blocks owned by the store.
struct ParamData {
  std::atomic<std::int32_t> busyMarker{0};
  std::uint32_t filterCount = 0;
  FilterArea* filters = nullptr;
  std::uint32_t schemaCount = 0;
  SchemaSet* schemas = nullptr;
  std::uint32_t profileCount = 0;
  ExportProfile* profiles = nullptr;
};

class CParamStore {
 public:
  explicit CParamStore(CAppContext* context);  // empty store, lock ready
  ~CParamStore();                              // DestroyStore
  CParamStore(const CParamStore&) = delete;
  CParamStore& operator=(const CParamStore&) = delete;

  CAppContext* context = nullptr;
  std::recursive_mutex lock;
  ParamData* data = nullptr;
};

}  // namespace tarvik
