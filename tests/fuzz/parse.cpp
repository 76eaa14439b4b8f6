// Fuzzes loading and parsing: the bytes become a source file that a load + parse task reads.
// Whatever they are, the task must not crash, must keep the bytes exactly, must not make more
// records than lines, must leave the store empty when it fails, and must return every byte of
// memory. The first token of the input also checks the number conversions against the C
// library.
#include <unistd.h>

#include <cerrno>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <string_view>

#include "core/text.h"
#include "core/tracked_memory.h"
#include "fuzz_check.h"
#include "processing/osm_source.h"
#include "processing/pipeline.h"
#include "processing/poi_store.h"
#include "resources/string_ids.h"

using namespace tarvik;

namespace {

const std::string& SourcePath() {
  static const std::string path = [] {
    // A memory-backed folder keeps the file round trip from dominating the run time.
    std::error_code ec;
    std::filesystem::path dir = "/dev/shm";
    if (::access(dir.c_str(), W_OK) != 0) dir = std::filesystem::temp_directory_path(ec);
    if (ec) dir = "/tmp";
    return (dir / ("tarvik_fuzz_parse_" + std::to_string(::getpid()) + ".txt")).string();
  }();
  return path;
}

void RemoveSource() {
  std::remove(SourcePath().c_str());
}

bool WriteSource(const std::uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(SourcePath().c_str(), "wb");
  if (!f) return false;
  bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

void CheckNumbers(const std::uint8_t* data, std::size_t size) {
  std::size_t n = 0;
  while (n < size && n < 64 && data[n] != 0 && data[n] != ',' && data[n] != '\n') ++n;
  std::string token(reinterpret_cast<const char*>(data), n);
  double expected = std::strtod(token.c_str(), nullptr);
  double got = AtofC(token);
  if (std::isnan(expected)) {
    CHECK(std::isnan(got));
  } else {
    CHECK(got == expected && std::signbit(got) == std::signbit(expected));
  }
  errno = 0;
  long long v = std::strtoll(token.c_str(), nullptr, 10);
  std::int32_t clamped = v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : std::int32_t(v);
  CHECK(AtoiC(token) == clamped);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  static const bool ready = [] {
    std::setlocale(LC_ALL, "C");
    std::atexit(RemoveSource);
    return true;
  }();
  (void)ready;
  CheckNumbers(data, size);
  // What the load takes for an OpenStreetMap file goes to that reader (fuzzed on its own).
  const OsmRecognition osm = RecogniseOsm(reinterpret_cast<const char*>(data), size);
  if (osm.format != OsmFormat::None || osm.refusal != 0) return 0;
  if (!WriteSource(data, size)) return 0;

  CAppContext context;
  {
    CPoiStore store(&context);
    WorkerTask task;
    task.appContext = &context;
    task.poiStore = &store;
    task.targetPath = Utf8ToUtf16(SourcePath());
    task.stageFlags = TASK_LOAD_FILE | TASK_PARSE;
    RunTask(&task);
    const PoiData& d = *store.data;
    if (Aborted(task)) {
      // The only way these bytes can fail is an incomplete header (one that names a column
      // past the sixteenth says so).
      CHECK(task.failure.stringId == STR_FAIL_HEADER ||
            task.failure.stringId == STR_FAIL_HEADER_COLUMNS);
      CHECK(d.fileBytes == nullptr && d.fileLength == 0 && d.records == nullptr &&
            d.recordCount == 0 && d.sourceFormat == SOURCE_NONE);
    } else if (!task.tableReplaced) {
      // No table in these bytes: the store keeps what it had, here nothing.
      CHECK(d.fileBytes == nullptr && d.recordCount == 0 && d.sourceFormat == SOURCE_NONE);
    } else {
      CHECK(d.fileLength == size);
      CHECK(size == 0 || std::memcmp(d.fileBytes, data, size) == 0);
      CHECK(size == 0 || d.fileBytes[size] == 0);
      std::size_t lines = 1;
      for (std::size_t i = 0; i < size; ++i)
        lines += data[i] == '\n' || data[i] == '\r' || !data[i];
      CHECK(d.recordCount < lines);
      CHECK(d.sourceFormat <= SOURCE_BAR);
      CHECK(d.sourceFormat != SOURCE_NONE);
    }
  }
  CHECK(MemInUse(&context) == 0);
  return 0;
}
