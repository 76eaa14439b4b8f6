#pragma once
// The POI store: the loaded source bytes, the parsed records and the counters.
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>

#include "core/app_context.h"

namespace tarvik {

struct WorkerTask;
struct SchemaEntry;
struct FilterArea;

struct PoiRecord {
  double X = 0;  // longitude, degrees
  double Y = 0;  // latitude, degrees
  std::int32_t TYPE = 0;
  std::int32_t SPEED = 0;
  std::int32_t DIRTYPE = 0;
  std::int32_t DIRECTION = 0;
};

struct TypeCounter {
  std::uint32_t count = 0;
  SchemaEntry* entry = nullptr;
};

struct AreaCounter {
  std::uint32_t count = 0;
  FilterArea* area = nullptr;
};

// The layout a parse found: a table (comma or bar) or an OpenStreetMap file (osm_source.h).
enum : std::uint32_t { SOURCE_NONE = 0, SOURCE_COMMA = 1, SOURCE_BAR = 2, SOURCE_OSM = 3 };

// All arrays are tracked blocks (MemAlloc/MemRealloc/MemFree) owned by the store.
struct PoiData {
  std::atomic<std::int32_t> busyMarker{0};
  std::uint32_t sourceFormat = SOURCE_NONE;
  std::uint32_t fileLength = 0;  // loaded bytes, terminator excluded
  char* fileBytes = nullptr;     // the file as read plus one 0 byte; null when nothing loaded
  // An OsmFormat (osm_source.h) when the load recognised an OpenStreetMap file, else 0. Such a
  // file is not loaded: the parse reads it from the task's path (or from fileBytes when the
  // file could only be read once, like a pipe).
  std::uint32_t osmFormat = 0;
  std::uint32_t recordCount = 0;
  PoiRecord* records = nullptr;
  // A new number (NextRecordsStamp) whenever the records change, so that a picture drawn from
  // them can tell it is out of date: a new block may well lie where the old one was.
  std::uint64_t recordsStamp = 0;
  std::uint32_t unmatchedCount = 0;
  std::uint32_t typeCounterCount = 0;
  TypeCounter* typeCounters = nullptr;
  std::uint32_t areaCounterCount = 0;
  AreaCounter* areaCounters = nullptr;
};

class CPoiStore {
 public:
  // Creates the store with an empty PoiData.
  explicit CPoiStore(CAppContext* context);
  // Enters the lock, releases every array and the PoiData.
  ~CPoiStore();
  CPoiStore(const CPoiStore&) = delete;
  CPoiStore& operator=(const CPoiStore&) = delete;

  // The caller holds the lock. 0: everything; 1: records and counters; 2: counters only.
  void Clear(int level);

  CAppContext* context = nullptr;
  std::recursive_mutex lock;
  PoiData* data = nullptr;
};

// A stamp no records had before.
std::uint64_t NextRecordsStamp();

// Exchanges everything two data blocks hold but their busy markers. Both stores are held.
void SwapTables(PoiData& a, PoiData& b);

// Stage operations (true when abortFlag is clear on return).
bool LoadSourceFile(WorkerTask& task);
bool ParseSource(WorkerTask& task);
bool FilterByAreas(WorkerTask& task);
bool ExportPois(WorkerTask& task);

// What the user reads when a parse of `path` found no header line: the column limit is named
// when a line named X, Y or TYPE past it (WorkerTask::headerBeyondLine, 0 when none did).
std::u16string NoTableText(const std::u16string& path, unsigned headerBeyondLine);

// Parsing helpers of ParseSource.

// Tokens of a line that the parser looks at; later ones are ignored.
constexpr std::size_t kMaxTokens = 16;

// Cuts one line at every separator byte into views of the line's own bytes (no trimming;
// quotes are ordinary bytes; an empty piece is an empty token) and returns how many of the
// first kMaxTokens it stored. A `separator` of 0 is decided first and kept by the caller for
// the rest of the parse: '|' when one occurs from the line start up to the next 0 byte (the
// terminator after the loaded data), ',' otherwise. The line must lie in a 0-terminated buffer.
std::size_t SplitLine(const char* line, std::size_t length, char& separator,
                      std::string_view (&tokens)[kMaxTokens]);

// The C library's atof and atoi in the "C" locale, whatever the process locale: leading
// white space skipped, the longest valid prefix converted (atof: decimal, hexadecimal "0x",
// "inf", "infinity", "nan"; a leading sign), 0 when there is none. AtoiC saturates at the
// 32-bit limits where the C library leaves the result undefined.
double AtofC(std::string_view token);
std::int32_t AtoiC(std::string_view token);

}  // namespace tarvik
