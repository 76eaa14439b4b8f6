// The status monitor's cycle: the memory figure, the POI state rows, the match percentage,
// and how the thread stops.
#include <QtTest>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "core/store_lock.h"
#include "core/text.h"
#include "core/tracked_memory.h"
#include "processing/poi_store.h"
#include "ui/framework/qt_text.h"
#include "ui/status_monitor.h"

using namespace tarvik;

namespace {

// A POI store with `records` records and the given counter figures.
struct Store {
  CAppContext context;
  CPoiStore poi{&context};
  Store(std::uint32_t records, std::uint32_t typeCounters, std::uint32_t unmatched) {
    if (records) {
      poi.data->records = static_cast<PoiRecord*>(MemAllocZero(&context, sizeof(PoiRecord)));
      poi.data->recordCount = records;  // only the count is read
    }
    poi.data->typeCounterCount = typeCounters;
    poi.data->unmatchedCount = unmatched;
  }
  ~Store() { poi.data->typeCounterCount = 0; }
  StatusSource Source() {
    StatusSource s;
    s.context = &context;
    s.poiStore = &poi;
    s.statusBar = true;
    s.sourcePath = [] { return std::u16string(u"/data/cams.txt"); };
    return s;
  }
};

}  // namespace

class StatusMonitorTest : public QObject {
  Q_OBJECT

 private slots:
  void memoryFigureBoundaries() {
    QCOMPARE(MemoryFigureText(-5), std::u16string(u"-5 byte"));
    QCOMPARE(MemoryFigureText(1023), std::u16string(u"1023 byte"));
    QCOMPARE(MemoryFigureText(1024), std::u16string(u"1.00 KB"));
    QCOMPARE(MemoryFigureText(1048575), std::u16string(u"1024.00 KB"));
    QCOMPARE(MemoryFigureText(1048576), std::u16string(u"1.00 MB"));
    QCOMPARE(MemoryFigureText(1536 * 1024), std::u16string(u"1.50 MB"));
  }

  void poiStateRows() {
    {
      Store s(0, 0, 0);
      const StatusReport r = ComputeStatus(s.Source());
      QCOMPARE(r.poiIcon, std::uint32_t(ICON_POI_NONE));
      QCOMPARE(r.poi, StrLoad(606));
      QVERIFY(r.match.empty());
      QVERIFY(!r.memory.empty());
    }
    {
      Store s(18, 4, 4);
      const StatusReport r = ComputeStatus(s.Source());
      QCOMPARE(r.poiIcon, std::uint32_t(ICON_POI_LOADED));
      QCOMPARE(ToQString(r.poi), QStringLiteral("POI: Загружено (18 элементов), /data/cams.txt"));
      QCOMPARE(ToQString(r.match), QStringLiteral("(соответсвие: 77.78 %)"));
      // Cameras from OpenStreetMap: the source named, with its attribution.
      s.poi.data->sourceFormat = SOURCE_OSM;
      QCOMPARE(ToQString(ComputeStatus(s.Source()).poi),
               QStringLiteral("POI: OpenStreetMap, 18 камер, /data/cams.txt — © участники "
                              "OpenStreetMap"));
    }
    {
      Store s(7, 2, 0);  // every type described
      QCOMPARE(ToQString(ComputeStatus(s.Source()).match),
               QStringLiteral("(соответсвие: 100.00 %)"));
    }
    {
      Store s(7, 2, 7);  // none
      QCOMPARE(ToQString(ComputeStatus(s.Source()).match), QStringLiteral("(соответсвие: 0.00 %)"));
    }
    {
      Store s(7, 0, 7);  // loaded, no current schema: no percentage
      const StatusReport r = ComputeStatus(s.Source());
      QCOMPARE(r.poiIcon, std::uint32_t(ICON_POI_LOADED));
      QVERIFY(r.match.empty());
    }
    {
      StatusSource none;
      none.statusBar = true;
      const StatusReport r = ComputeStatus(none);
      QCOMPARE(r.poi, StrLoad(598));
      QCOMPARE(r.poiIcon, std::uint32_t(ICON_POI_NONE));
    }
    {
      // Without a status bar only the label is set, and it is empty.
      Store s(18, 4, 4);
      StatusSource source = s.Source();
      source.statusBar = false;
      const StatusReport r = ComputeStatus(source);
      QVERIFY(r.memory.empty() && r.poi.empty() && r.match.empty());
    }
  }

  void storeHeldElsewhereIsNotWaitedFor() {
    Store s(18, 4, 4);
    std::mutex m;
    std::condition_variable cv;
    bool held = false, release = false;
    std::thread holder([&] {
      StoreHold<CPoiStore> hold(&s.poi, StoreHold<CPoiStore>::Wait);
      std::unique_lock<std::mutex> lock(m);
      held = true;
      cv.notify_all();
      cv.wait(lock, [&] { return release; });
    });
    {
      std::unique_lock<std::mutex> lock(m);
      cv.wait(lock, [&] { return held; });
    }
    const StatusReport r = ComputeStatus(s.Source());
    {
      std::lock_guard<std::mutex> lock(m);
      release = true;
    }
    cv.notify_all();
    holder.join();
    QCOMPARE(r.poi, StrLoad(607));
    QCOMPARE(r.poiIcon, std::uint32_t(ICON_POI_NONE));
    QVERIFY(r.match.empty());
  }

  void stopWakesTheThreadAndEndsOnce() {
    Store s(0, 0, 0);
    std::atomic<int> cycles{0}, ends{0};
    {
      StatusMonitor monitor;
      QVERIFY(monitor.Start(
          s.Source(), [&](StatusReport) { ++cycles; }, [&] { ++ends; }));
      QTRY_VERIFY(cycles.load() >= 1);
      monitor.Stop();
      monitor.Stop();  // twice is once
      monitor.Join();
      QCOMPARE(monitor.stopFlag.load(), 1);
      QCOMPARE(ends.load(), 1);
    }
    QCOMPARE(ends.load(), 1);

    // A flag raised before the start: no cycle, the end at once.
    cycles = 0;
    StatusMonitor early;
    early.stopFlag = 1;
    QVERIFY(early.Start(
        s.Source(), [&](StatusReport) { ++cycles; }, [&] { ++ends; }));
    early.Join();
    QCOMPARE(cycles.load(), 0);
    QCOMPARE(ends.load(), 2);
  }
};

QTEST_MAIN(StatusMonitorTest)
#include "status_monitor_test.moc"
