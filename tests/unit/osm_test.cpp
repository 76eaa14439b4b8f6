// OpenStreetMap files as a source: the mapping of tags and relations to records (on OPL made
// here), recognition by content of files that libosmium writes here in every format, and the
// failures of bad files.
#include <gtest/gtest.h>

#include <osmium/io/any_input.hpp>
#include <osmium/io/any_output.hpp>
#include <osmium/io/reader.hpp>
#include <osmium/io/writer.hpp>
#include <string>
#include <vector>

#include "cli_runner.h"
#include "engine_test_util.h"
#include "processing/osm_source.h"
#include "resources/string_ids.h"
#include "test_files.h"

namespace tarvik {
namespace {

using enginetest::EngineTest;
using enginetest::Rec;
using enginetest::Str;
using enginetest::Strs;
using testfiles::ReadBytes;
using testfiles::ScratchDir;
using testfiles::WriteBytes;

class Osm : public EngineTest {
 protected:
  // Reads OPL text as the parse stage reads a file; the records as text, or the failure.
  std::vector<std::string> ReadOpl(const std::string& opl) {
    NewTask(TASK_PARSE, u"test.opl");
    ReadOsmBytes(*task, data(), opl, OsmFormat::Opl);
    if (Aborted(*task)) return {"failed " + std::to_string(task->failure.stringId)};
    EXPECT_EQ(data().sourceFormat, SOURCE_OSM);
    std::vector<std::string> records = RecordStrs();
    store.Clear(0);
    return records;
  }

  // Loads and parses the file at `path` through the pipeline.
  bool Open(const std::filesystem::path& path) {
    NewTask(TASK_LOAD_FILE | TASK_PARSE, Utf8ToUtf16(path.string()));
    EXPECT_EQ(RunTask(task.get()), 0);
    return !Aborted(*task);
  }
};

// A camera node at 37.6, 55.7 with more tags (OPL: space %20%, comma %2c%).
std::string Camera(const std::string& tags) {
  return "n1 v1 x37.6 y55.7 Thighway=speed_camera" + (tags.empty() ? "" : "," + tags) + "\n";
}

TEST_F(Osm, SpeedAndDirectionOfACamera) {
  struct Case {
    std::string tags;
    int speed, dirtype, direction;
  } cases[] = {
      {"", 0, 0, 0},
      {"maxspeed=60", 60, 0, 0},
      {"maxspeed=60%20%km/h", 60, 0, 0},
      {"maxspeed=30%20%mph", 48, 0, 0},
      {"maxspeed=10%20%knots", 19, 0, 0},
      {"maxspeed=RU:urban", 60, 0, 0},
      {"maxspeed=RU:rural", 90, 0, 0},
      {"maxspeed=DE:zone30", 30, 0, 0},
      {"maxspeed=GB:zone:20", 32, 0, 0},
      {"maxspeed=XX:urban", 0, 0, 0},
      {"maxspeed=none", 0, 0, 0},
      {"maxspeed=signals", 0, 0, 0},
      {"maxspeed=walk", 0, 0, 0},
      {"maxspeed=60;80", 0, 0, 0},
      {"maxspeed=99999", 0, 0, 0},
      {"direction=0", 0, 1, 0},
      {"direction=359", 0, 1, 359},
      {"direction=360", 0, 1, 0},
      {"direction=360.5", 0, 0, 0},
      {"direction=NNW", 0, 1, 338},
      {"direction=e", 0, 1, 90},
      {"direction=45-135", 0, 1, 90},
      {"direction=315-45", 0, 1, 0},
      {"direction=N-E", 0, 1, 45},
      {"direction=forward", 0, 0, 0},
      {"direction=backward", 0, 0, 0},
      {"direction=-90", 0, 0, 0},
      {"direction=90;270", 0, 0, 0},
      {"camera:direction=270", 0, 1, 270},
      {"direction=10,camera:direction=270", 0, 1, 10},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.tags);
    EXPECT_EQ(ReadOpl(Camera(c.tags)),
              std::vector<std::string>{Str(Rec(37.6, 55.7, 1, c.speed, c.dirtype, c.direction))});
  }
}

TEST_F(Osm, CamerasOfEnforcementRelations) {
  // Nodes 1 to 4 carry no tags; the relations make them cameras.
  const std::string nodes = "n1 v1 x1 y1\nn2 v1 x2 y2\nn3 v1 x3 y3\nn4 v1 x4 y4\n";
  struct Case {
    const char* what;
    std::string relations;
    std::vector<PoiRecord> want;
  } cases[] = {
      {"maxspeed, the relation's speed",
       "r10 v1 Ttype=enforcement,enforcement=maxspeed,maxspeed=90 Mn1@device,n2@from\n",
       {Rec(1, 1, 1, 90)}},
      {"traffic_signals, its direction",
       "r10 v1 Ttype=enforcement,enforcement=traffic_signals,direction=W Mn1@device\n",
       {Rec(1, 1, 3, 0, 1, 270)}},
      {"a device of both kinds",
       "r10 v1 Ttype=enforcement,enforcement=maxspeed Mn1@device\n"
       "r11 v1 Ttype=enforcement,enforcement=traffic_signals Mn1@device,n2@device\n",
       {Rec(1, 1, 2), Rec(2, 2, 3)}},
      {"both kinds in one relation",
       "r10 v1 Ttype=enforcement,enforcement=maxspeed;traffic_signals Mn3@device\n",
       {Rec(3, 3, 2)}},
      {"average speed: the from member only",
       "r10 v1 Ttype=enforcement,enforcement=average_speed,maxspeed=70 Mn1@device,n2@from,n3@to\n",
       {Rec(2, 2, 4, 70)}},
      {"average speed without from: the first device",
       "r10 v1 Ttype=enforcement,enforcement=average_speed Mn3@to,n4@device,n1@device\n",
       {Rec(4, 4, 4)}},
      {"a device the extract lacks: the others still count",
       "r10 v1 Ttype=enforcement,enforcement=maxspeed Mn99@device,n2@device\n",
       {Rec(2, 2, 1)}},
      {"other enforcements and other relations are not read",
       "r10 v1 Ttype=enforcement,enforcement=check Mn1@device\n"
       "r11 v1 Ttype=route,enforcement=maxspeed Mn2@device\n"
       "r12 v1 Ttype=enforcement,enforcement=maxspeed Mw5@device,n3@force\n",
       {}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> want = Strs(c.want);
    if (want.empty()) want = {"failed " + std::to_string(STR_FAIL_OSM_NO_CAMERAS)};
    EXPECT_EQ(ReadOpl(nodes + "w5 v1 Nn1,n2\n" + c.relations), want);
  }
}

TEST_F(Osm, ATaggedDeviceIsOnePoiAndTheRelationDecidesItsType) {
  // Node 3 is tagged and a device: one record, TYPE from the relation, the node's own speed
  // before the relation's; node 2 has none of its own. Records come in node id order, whatever
  // the file's order, and a node repeated in the file stays one camera.
  const std::string opl =
      "n3 v1 x3 y3 Thighway=speed_camera,maxspeed=50,direction=90\n"
      "n2 v1 x2 y2\n"
      "n1 v1 x1 y1 Thighway=speed_camera\n"
      "n2 v1 x2 y2\n"
      "n4 v1 x y Thighway=speed_camera\n"  // no location: no camera
      "r10 v1 Ttype=enforcement,enforcement=traffic_signals,maxspeed=60,direction=180 "
      "Mn3@device,n2@device\n";
  EXPECT_EQ(ReadOpl(opl), Strs({Rec(1, 1, 1), Rec(2, 2, 3, 60, 1, 180), Rec(3, 3, 3, 50, 1, 90)}));
}

// The content of a small extract in OPL, and its cameras.
const char kExtract[] =
    "n1 v1 x37.6 y55.7 Thighway=speed_camera,maxspeed=60\n"
    "n2 v1 x37.61 y55.71\n"
    "n3 v1 x37.62 y55.72 Thighway=traffic_signals\n"
    "w1 v1 Thighway=primary Nn2,n3\n"
    "r1 v1 Ttype=enforcement,enforcement=traffic_signals Mn3@device,w1@\n";

std::vector<std::string> ExtractRecords() {
  return Strs({Rec(37.6, 55.7, 1, 60), Rec(37.62, 55.72, 3)});
}

// Writes OPL text through libosmium's writer as `format` (pbf, osm, osm.gz, osm.bz2).
void WriteOsm(const std::filesystem::path& path, const std::string& opl, const char* format) {
  osmium::memory::Buffer buffer =
      osmium::io::read_file(osmium::io::File(opl.data(), opl.size(), "opl"));
  osmium::io::Writer writer(osmium::io::File(path.string(), format), osmium::io::overwrite::allow);
  writer(std::move(buffer));
  writer.close();
}

TEST_F(Osm, EveryFormatIsRecognisedByItsContentWhateverItsName) {
  ScratchDir dir("osm");
  // Untagged nodes enough that the start of the bzip2 file does not hold its first block.
  std::string opl;
  for (unsigned i = 0; i < 3000; ++i) {
    opl += "n" + std::to_string(100 + i) + " v1 x" + std::to_string(i * 7919 % 170) + ".1" +
           std::to_string(i * 104729 % 997) + " y" + std::to_string(i % 89) + "\n";
  }
  opl += kExtract;
  for (const char* format : {"pbf", "osm", "osm.gz", "osm.bz2"}) {
    SCOPED_TRACE(format);
    const auto path = dir.path() / (std::string("cams-") + format + ".txt");
    WriteOsm(path, opl, format);
    if (std::string_view(format) == "osm.bz2") {
      EXPECT_GT(std::filesystem::file_size(path), kOsmHeadBytes);
    }
    ASSERT_TRUE(Open(path)) << Utf16ToUtf8(FailureText(task->failure));
    EXPECT_EQ(RecordStrs(), ExtractRecords());
    EXPECT_EQ(data().sourceFormat, SOURCE_OSM);
    EXPECT_EQ(data().fileBytes, nullptr);  // read from the file, never loaded whole
    EXPECT_EQ(task->parsedLayout, static_cast<int>(SOURCE_OSM));
    EXPECT_TRUE(sink.SawStatus(STR_STATUS_OSM_NODES));
  }
}

TEST_F(Osm, BadFilesAreRefusedWithTheirReason) {
  ScratchDir dir("osm-bad");
  const auto pbf = dir.path() / "good.osm.pbf";
  WriteOsm(pbf, kExtract, "pbf");
  const std::string pbfBytes = ReadBytes(pbf);
  const auto gz = dir.path() / "good.osm.gz";
  WriteOsm(gz, kExtract, "osm.gz");
  const std::string gzBytes = ReadBytes(gz);
  std::string flipped = pbfBytes;
  flipped[flipped.size() - 20] ^= 0x55;  // inside the last blob's compressed data
  std::string badDeflate = gzBytes;
  for (std::size_t i = 10; i < badDeflate.size(); ++i) badDeflate[i] = '\x7f';
  struct Case {
    const char* what;
    std::string bytes;
    std::uint32_t failure;
    std::string detail;  // a part of the message beyond the path
  } cases[] = {
      {"a PBF cut short", pbfBytes.substr(0, pbfBytes.size() - 30), STR_FAIL_OSM_DAMAGED, ""},
      {"a PBF with a damaged blob", flipped, STR_FAIL_OSM_DAMAGED, ""},
      {"gzip that does not unpack", badDeflate, STR_FAIL_OSM_COMPRESSION, "gzip"},
      {"gzip cut short", gzBytes.substr(0, gzBytes.size() - 12), STR_FAIL_OSM_COMPRESSION, "gzip"},
      {"XML of another kind", "<?xml version='1.0'?>\n<!-- track -->\n<gpx version='1.1'/>",
       STR_FAIL_OSM_NOT_OSM, "<gpx>"},
      {"broken XML", "<osm version='0.6'>\n<node id='1' lat='1' lon='2'>\n</osm>", STR_FAIL_OSM_XML,
       "3"},
      {"no camera", "<osm version='0.6'><node id='1' lat='1' lon='2'/></osm>",
       STR_FAIL_OSM_NO_CAMERAS, ""},
  };
  ASSERT_TRUE(Open(pbf));
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const auto path = dir.path() / "bad.osm";
    WriteBytes(path, c.bytes);
    EXPECT_FALSE(Open(path));
    EXPECT_FALSE(task->tableReplaced);
    EXPECT_EQ(task->failure.stringId, c.failure);
    const std::string message = Utf16ToUtf8(FailureText(task->failure));
    EXPECT_NE(message.find(path.string()), std::string::npos) << message;
    EXPECT_NE(message.find(c.detail), std::string::npos) << message;
    EXPECT_EQ(RecordStrs(), ExtractRecords());  // the table loaded before stays
  }
}

TEST_F(Osm, CancelStopsTheReadWithoutAFailure) {
  ScratchDir dir("osm-cancel");
  const auto pbf = dir.path() / "c.osm.pbf";
  WriteOsm(pbf, kExtract, "pbf");
  sink.onEvent = [&](const enginetest::SinkEvent& e) {
    if (e.kind == enginetest::SinkEvent::Status && e.value == STR_STATUS_OSM_RELATIONS)
      SetAbort(*task);
  };
  EXPECT_FALSE(Open(pbf));
  EXPECT_EQ(task->failure.stringId, 0u);
  EXPECT_TRUE(StoreEmpty());
}

TEST(CliOsm, CommandsReadExtractsAndExitOneOnBadOnes) {
  ScratchDir dir("osm-cli");
  const auto pbf = dir.path() / "region.osm.pbf";
  WriteOsm(pbf, kExtract, "pbf");
  const std::string source = clitest::Text(STR_CLI_OSM_SOURCE, 2u);
  clitest::CliRun parse = clitest::RunCli({"parse", pbf.string()});
  EXPECT_EQ(parse.status, 0) << parse.err;
  EXPECT_EQ(parse.out,
            "X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\n37.600000000000001,55.700000000000003,1,60,0,0\n"
            "37.619999999999997,55.719999999999999,3,0,0,0\n");
  EXPECT_NE(parse.err.find(source), std::string::npos) << parse.err;
  // Read once, from a pipe.
  clitest::CliRun piped =
      clitest::RunCli({"parse", "/dev/stdin"}, clitest::LocaleEnv(), pbf.string());
  EXPECT_EQ(piped.status, 0) << piped.err;
  EXPECT_EQ(piped.out, parse.out);
  const auto empty = dir.path() / "empty.osm";
  WriteBytes(empty, "<osm version='0.6'/>");
  const auto ini = dir.path() / "Tarvik.ini";
  for (const char* command : {"parse", "count"}) {
    SCOPED_TRACE(command);
    std::vector<std::string> args = {command, empty.string()};
    if (std::string(command) == "count") args.insert(args.end(), {"--ini", ini.string()});
    clitest::CliRun bad = clitest::RunCli(args);
    EXPECT_EQ(bad.status, 1);
    EXPECT_NE(bad.err.find(clitest::Text(STR_FAIL_OSM_NO_CAMERAS, Utf8ToUtf16(empty.string()))),
              std::string::npos)
        << bad.err;
  }
  clitest::CliRun count = clitest::RunCli({"count", pbf.string(), "--ini", ini.string()});
  EXPECT_EQ(count.status, 0) << count.err;
  EXPECT_NE(count.err.find(source), std::string::npos) << count.err;
}

}  // namespace
}  // namespace tarvik
