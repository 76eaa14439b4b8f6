// Fuzzes the OpenStreetMap reader: the first byte chooses XML (even) or OPL (odd), the rest is
// the file. Whatever it holds, the read must not crash; it either fails with a message of its
// own and leaves no records, or makes cameras with a known type, a place on the earth and a
// direction within a circle; and every byte of memory comes back.
#include <cstdint>
#include <string_view>

#include "core/tracked_memory.h"
#include "fuzz_check.h"
#include "processing/osm_source.h"
#include "processing/poi_store.h"
#include "processing/task.h"
#include "resources/string_ids.h"

using namespace tarvik;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const OsmFormat format = data[0] % 2 ? OsmFormat::Opl : OsmFormat::Xml;
  const OsmRecognition seen = RecogniseOsm(bytes.data(), bytes.size());
  CHECK(seen.format == OsmFormat::None || seen.refusal == 0);

  CAppContext context;
  {
    CPoiStore store(&context);
    WorkerTask task;
    task.appContext = &context;
    task.poiStore = &store;
    task.targetPath = u"fuzz.osm";
    ReadOsmBytes(task, *store.data, bytes, format);
    const PoiData& d = *store.data;
    if (Aborted(task)) {
      const std::uint32_t id = task.failure.stringId;
      CHECK((id >= STR_FAIL_OSM_DAMAGED && id <= STR_FAIL_OSM_DATA) ||
            id == STR_FAIL_RECORD_MEMORY);
      CHECK(d.records == nullptr && d.recordCount == 0 && d.sourceFormat == SOURCE_NONE);
    } else {
      CHECK(d.recordCount > 0 && d.records != nullptr && d.sourceFormat == SOURCE_OSM);
      for (std::uint32_t i = 0; i < d.recordCount; ++i) {
        const PoiRecord& r = d.records[i];
        CHECK(r.X >= -180 && r.X <= 180 && r.Y >= -90 && r.Y <= 90);
        CHECK(r.TYPE >= 1 && r.TYPE <= 4 && r.SPEED >= 0);
        CHECK((r.DIRTYPE == 0 && r.DIRECTION == 0) ||
              (r.DIRTYPE == 1 && r.DIRECTION >= 0 && r.DIRECTION < 360));
      }
    }
  }
  CHECK(MemInUse(&context) == 0);
  return 0;
}
