// The page reads no OpenStreetMap files: libosmium needs threads and libraries the browser
// build lacks. A recognised file is refused with that reason.
#include "processing/osm_source.h"
#include "processing/task.h"
#include "resources/string_ids.h"

namespace tarvik {

void ReadOsmBytes(WorkerTask& task, PoiData&, std::string_view, OsmFormat) {
  AbortWithFailure(task, STR_FAIL_OSM_NOT_HERE, task.targetPath);
}

void ReadOsmSource(WorkerTask& task, PoiData& d) {
  ReadOsmBytes(task, d, {}, OsmFormat::None);
}

}  // namespace tarvik
