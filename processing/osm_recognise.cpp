// Recognition of OpenStreetMap files by their first bytes.
#include <algorithm>
#include <string>
#include <string_view>

#include "core/text.h"
#include "processing/osm_source.h"
#include "resources/string_ids.h"

// Compressed XML is looked into where zlib and bzip2 are at hand (not in the browser build).
#if __has_include(<zlib.h>) && __has_include(<bzlib.h>)
#include <bzlib.h>
#include <zlib.h>
#define TARVIK_UNPACK_HEAD 1
#endif

namespace tarvik {

// ---- recognition ---------------------------------------------------------------------------

namespace {

bool IsXmlSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// What XML text at its start is: None when it is no XML; Xml with the root element <osm> (or
// with a prolog longer than the head, left to the reader); a refusal naming another root.
OsmRecognition RecogniseXml(std::string_view text, OsmFormat format) {
  OsmRecognition r;
  std::size_t p = 0;
  if (text.substr(0, 3) == "\xEF\xBB\xBF") p = 3;
  auto skipSpace = [&] {
    while (p < text.size() && IsXmlSpace(text[p])) ++p;
  };
  skipSpace();
  if (p >= text.size() || text[p] != '<') return r;
  // The prolog: declaration, comments, processing instructions, a document type.
  for (;;) {
    skipSpace();
    std::string_view rest = text.substr(std::min(p, text.size()));
    std::size_t end = std::string_view::npos;
    if (rest.starts_with("<?")) {
      end = rest.find("?>");
      if (end != std::string_view::npos) end += 2;
    } else if (rest.starts_with("<!--")) {
      end = rest.find("-->");
      if (end != std::string_view::npos) end += 3;
    } else if (rest.starts_with("<!")) {
      end = rest.find('>');
      if (end != std::string_view::npos) end += 1;
    } else {
      break;
    }
    if (end == std::string_view::npos) {  // the prolog goes on past the head
      r.format = format;
      return r;
    }
    p += end;
  }
  if (p >= text.size()) {
    r.format = format;
    return r;
  }
  std::size_t nameEnd = p + 1;
  while (nameEnd < text.size() && !IsXmlSpace(text[nameEnd]) && text[nameEnd] != '>' &&
         text[nameEnd] != '/')
    ++nameEnd;
  std::string_view root = text.substr(p + 1, nameEnd - p - 1);
  if (text[p] != '<' || root.empty() || nameEnd == text.size() || root == "osm") {
    r.format = format;  // the XML parser tells what is wrong, if anything
  } else {
    r.refusal = STR_FAIL_OSM_NOT_OSM;
    r.detail = Utf8ToUtf16(std::string(root.substr(0, 40)));
  }
  return r;
}

#ifdef TARVIK_UNPACK_HEAD
// Unpacks the start of a compressed head into `out`; false when the data is not valid.
bool InflateHead(const char* head, std::size_t size, std::string& out) {
  z_stream z{};
  if (inflateInit2(&z, 16 + MAX_WBITS) != Z_OK) return false;
  out.resize(kOsmHeadBytes);
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(head));
  z.avail_in = static_cast<uInt>(size);
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_SYNC_FLUSH);
  out.resize(out.size() - z.avail_out);
  inflateEnd(&z);
  return result == Z_OK || result == Z_STREAM_END || (result == Z_BUF_ERROR && !out.empty());
}

bool Bunzip2Head(const char* head, std::size_t size, std::string& out) {
  bz_stream b{};
  if (BZ2_bzDecompressInit(&b, 0, 0) != BZ_OK) return false;
  out.resize(kOsmHeadBytes);
  b.next_in = const_cast<char*>(head);
  b.avail_in = static_cast<unsigned>(size);
  b.next_out = out.data();
  b.avail_out = static_cast<unsigned>(out.size());
  const int result = BZ2_bzDecompress(&b);
  out.resize(out.size() - b.avail_out);
  BZ2_bzDecompressEnd(&b);
  return result == BZ_OK || result == BZ_STREAM_END;
}
#else
bool InflateHead(const char*, std::size_t, std::string&) {
  return true;  // nothing unpacked: the reader tells what is inside
}
bool Bunzip2Head(const char*, std::size_t, std::string&) {
  return true;
}
#endif

}  // namespace

OsmRecognition RecogniseOsm(const char* head, std::size_t size) {
  std::string_view bytes(head, std::min(size, kOsmHeadBytes));
  // A PBF file: the length of the first blob header (small), then that header, whose first
  // field is the blob type "OSMHeader".
  if (bytes.size() >= 15 && bytes[0] == 0 && bytes[1] == 0 &&
      bytes.substr(4, 11) == "\x0A\x09OSMHeader") {
    OsmRecognition r;
    r.format = OsmFormat::Pbf;
    return r;
  }
  const bool gzip = bytes.size() >= 2 && bytes[0] == '\x1F' && bytes[1] == '\x8B';
  const bool bzip2 =
      bytes.size() >= 4 && bytes.substr(0, 3) == "BZh" && bytes[3] >= '1' && bytes[3] <= '9';
  if (!gzip && !bzip2) return RecogniseXml(bytes, OsmFormat::Xml);

  // Compressed: only OpenStreetMap XML is read from such a file.
  OsmRecognition r;
  r.detail = gzip ? u"gzip" : u"bzip2";
  std::string text;
  if (!(gzip ? InflateHead(bytes.data(), bytes.size(), text)
             : Bunzip2Head(bytes.data(), bytes.size(), text))) {
    r.refusal = STR_FAIL_OSM_COMPRESSION;
    return r;
  }
  const OsmFormat format = gzip ? OsmFormat::XmlGzip : OsmFormat::XmlBzip2;
  if (text.empty()) {
    // A sound start that unpacks to nothing yet (bzip2 needs its whole first block, up to
    // 900 kB): the reader tells what is inside.
    r.format = format;
    r.detail.clear();
    return r;
  }
  OsmRecognition inner = RecogniseXml(text, format);
  if (inner.format != OsmFormat::None || inner.refusal == STR_FAIL_OSM_NOT_OSM) return inner;
  r.refusal = STR_FAIL_OSM_NOT_OSM_PACKED;
  return r;
}

}  // namespace tarvik
