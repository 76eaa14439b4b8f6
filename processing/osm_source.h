#pragma once
// OpenStreetMap files as a source of cameras: recognised by their content, read through
// libosmium into the POI store's records. osm_source.cpp is the one file that includes
// libosmium, which is heavy to compile.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace tarvik {

struct PoiData;
struct WorkerTask;

// How an OpenStreetMap file is encoded. Opl is read for tests and fuzzing only: its content
// is not recognised.
enum class OsmFormat : std::uint32_t { None = 0, Pbf, Xml, XmlGzip, XmlBzip2, Opl };

// The bytes from the start of a file that RecogniseOsm needs at most.
constexpr std::size_t kOsmHeadBytes = 4096;

// What the first bytes of a file say it is.
struct OsmRecognition {
  OsmFormat format = OsmFormat::None;  // None: no OpenStreetMap file (a table, or refused)
  // A failure text (path, detail) for a file that is surely no source: XML of another kind, a
  // compressed file that does not unpack or holds no OpenStreetMap XML. 0 otherwise.
  std::uint32_t refusal = 0;
  std::u16string detail;
};

// A PBF file starts with its OSMHeader blob; an XML file (plain, gzip or bzip2) has the root
// element <osm>. Anything else that is neither XML nor compressed is left to the table parser.
OsmRecognition RecogniseOsm(const char* head, std::size_t size);

// The parse stage for a recognised OpenStreetMap file (PoiData::osmFormat): two passes through
// libosmium, the enforcement relations first, then the nodes; the cameras become the records,
// in node id order, with sourceFormat SOURCE_OSM. Reads `fileBytes` when the load kept them,
// else the task's path. A failure names the file and the reason and aborts the task.
void ReadOsmSource(WorkerTask& task, PoiData& d);

// The same read over bytes in memory of the given format, for tests and fuzzing.
void ReadOsmBytes(WorkerTask& task, PoiData& d, std::string_view bytes, OsmFormat format);

}  // namespace tarvik
