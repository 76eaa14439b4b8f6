// The progress dialog over the real task pipeline.
#include <QAccessible>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>
#include <atomic>
#include <filesystem>
#include <fstream>

#include "core/store_lock.h"
#include "params/param_store.h"
#include "processing/poi_store.h"
#include "ui/dlg_proc.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/qt_text.h"
#include "ui_test_util.h"

using namespace tarvik;
using Report = CDlgProc::Report;

namespace {

constexpr std::uint32_t kWaiting = 591, kLoading = 592, kParsing = 593, kCounting = 596,
                        kDone = 590;

// A progress dialog bound the way the main window binds it, recording every report.
struct Harness {
  std::unique_ptr<CAppContext> context = test::UiContext();
  CPoiStore poiStore{context.get()};
  CParamStore paramStore{context.get()};
  CDlgProc dialog;
  std::vector<Report> reports;
  bool onWindowThread = true;
  std::function<void(const Report&)> also;

  Harness() {
    dialog.context = context.get();
    dialog.templateId = 130;
    dialog.poiStore = &poiStore;
    dialog.paramStore = &paramStore;
    dialog.onReport = [this](const Report& r) {
      onWindowThread = onWindowThread && QThread::currentThread() == qApp->thread();
      reports.push_back(r);
      if (also) also(r);
    };
  }
  std::vector<int> Statuses() const {
    std::vector<int> out;
    for (const Report& r : reports)
      if (r.kind == Report::Status) out.push_back(r.value);
    return out;
  }
  QString ShownStatus() const {
    return dialog.hwnd ? qobject_cast<QLabel*>(dialog.hwnd->Item(1001))->text() : QString();
  }
};

// A comma table of n cameras.
std::string Table(int n) {
  std::string s = "IDX,X,Y,TYPE,SPEED,DIRTYPE,DIRECTION\r\n";
  for (int i = 0; i < n; ++i) {
    s += std::to_string(i) + ",37." + std::to_string(1000 + i % 9000) + ",55." +
         std::to_string(2000 + i % 7000) + "," + std::to_string(1 + i % 5) + ",60,1,90\r\n";
  }
  return s;
}

}  // namespace

class ProgressTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  void taskWithoutFlagsShowsDone() {
    Harness h;
    QString shown;
    h.also = [&](const Report&) { shown = h.ShownStatus(); };
    const TaskRequest request{};
    QCOMPARE(RunTaskDialog(h.dialog, request), 2);
    QCOMPARE(h.Statuses(), std::vector<int>{int(kDone)});
    QCOMPARE(shown, LoadQString(kDone));
    QVERIFY(h.onWindowThread);
    QVERIFY(!h.dialog.Task());  // released with the dialog
    QVERIFY(!h.dialog.hwnd);
  }

  void filterOnlyNeedsNoPath() {
    Harness h;
    TaskRequest request{};
    request.stageFlags = TASK_FILTER;
    QCOMPARE(RunTaskDialog(h.dialog, request), 2);
    QCOMPARE(h.Statuses(), (std::vector<int>{int(kWaiting), int(kCounting), int(kDone)}));
  }

  void missingArgumentsEndAtOnce() {
    Harness h;
    const std::u16string out = FromQString(dir_.filePath(QStringLiteral("never.csv")));
    RefNode entry{&h, nullptr};
    TaskRequest exportRequest{TASK_EXPORT, &out, nullptr, &entry, nullptr};
    QCOMPARE(RunTaskDialog(h.dialog, exportRequest), 2);  // no ticked entry
    exportRequest.entryList = &entry;
    exportRequest.areaList = nullptr;
    QCOMPARE(RunTaskDialog(h.dialog, exportRequest), 2);  // no ticked area
    TaskRequest loadRequest{TASK_LOAD_FILE | TASK_PARSE, nullptr, nullptr, nullptr, nullptr};
    QCOMPARE(RunTaskDialog(h.dialog, loadRequest), 2);
    QVERIFY(h.reports.empty());  // no stage ran
    QVERIFY(!QFile::exists(dir_.filePath(QStringLiteral("never.csv"))));

    QCOMPARE(RunModal(h.dialog, 0), 2);  // no request at all
    CDlgProc unbound;
    QCOMPARE(RunTaskDialog(unbound, TaskRequest{}), -1);
  }

  void loadingAFileReportsInOrder() {
    Harness h;
    const QString path = dir_.filePath(QStringLiteral("cams.txt"));
    {
      std::ofstream f(path.toStdString(), std::ios::binary);
      f << Table(60000);
    }
    const std::u16string source = FromQString(path);
    TaskRequest request{TASK_LOAD_FILE | TASK_PARSE, &source, nullptr, nullptr, nullptr};
    // The bar is painted at most once a frame, but shows the last percentage before the
    // status text changes.
    bool barFollows = true;
    int reported = 0;
    h.also = [&](const Report& r) {
      if (r.kind == Report::Progress) reported = r.value;
      if (r.kind == Report::Status)
        barFollows = barFollows && ProgressPos(h.dialog.hwnd->Item(1000)) == reported;
    };
    // A screen reader reads the bar by its name, with what is being done (its description,
    // as the status text reads) and how far (its value, as painted) at every change.
    QStringList read;
    bool valueFollows = true;
    h.also = [&, follow = h.also](const Report& r) {
      follow(r);
      QWidget* bar = h.dialog.hwnd->Item(1000);
      QAccessibleInterface* a = QAccessible::queryAccessibleInterface(bar);
      valueFollows =
          valueFollows && a->valueInterface()->currentValue().toInt() == ProgressPos(bar);
      if (r.kind != Report::Status) return;
      read << QStringLiteral("%1: %2; %3")
                  .arg(a->text(QAccessible::Name), a->text(QAccessible::Description),
                       QAccessible::queryAccessibleInterface(h.dialog.hwnd->Item(1001))
                           ->text(QAccessible::Name));
    };
    QCOMPARE(RunTaskDialog(h.dialog, request), 2);
    QVERIFY(valueFollows);
    QStringList shown;
    for (const std::uint32_t id : {kWaiting, kLoading, kWaiting, kParsing, kDone})
      shown << QStringLiteral("%1: %2; %2").arg(LoadQString(1409), LoadQString(id));
    QCOMPARE(read, shown);
    QVERIFY(h.onWindowThread);
    QCOMPARE(h.Statuses(), (std::vector<int>{int(kWaiting), int(kLoading), int(kWaiting),
                                             int(kParsing), int(kDone)}));
    // Each stage starts at 0 right before its status text; then the percentage only grows.
    int last = -1, steps = 0;
    for (std::size_t i = 0; i < h.reports.size(); ++i) {
      const Report& r = h.reports[i];
      if (r.kind == Report::Status && r.value != int(kDone)) {
        QVERIFY(i > 0);
        QCOMPARE(int(h.reports[i - 1].kind), int(Report::Progress));
        QCOMPARE(h.reports[i - 1].value, 0);
      }
      if (r.kind != Report::Progress) continue;
      QVERIFY(r.value >= 0 && r.value <= 100);
      if (r.value == 0) {
        last = 0;
        continue;
      }
      QVERIFY(r.value > last);
      last = r.value;
      ++steps;
    }
    QVERIFY(steps > 4);
    QVERIFY(barFollows);
    QCOMPARE(poiStore(h)->recordCount, 60000u);
    QCOMPARE(h.dialog.lastFailure.stringId, 0u);
  }

  void cancelOnceOrTwiceAbortsOnce() {
    for (int presses : {1, 2}) {
      Harness h;
      EnterStore(h.poiStore);  // the worker keeps waiting for the store until cancelled
      // (A load would not wait: it reads into a store of its own.)
      TaskRequest request{TASK_PARSE | TASK_FILTER, nullptr, nullptr, nullptr, nullptr};
      std::uint32_t flag = 99;
      bool pressed = false;
      h.also = [&](const Report& r) {
        if (pressed || r.kind != Report::Status || r.value != int(kWaiting)) return;
        pressed = true;
        auto* cancel = qobject_cast<QPushButton*>(h.dialog.hwnd->Item(IDCANCEL));
        QCOMPARE(cancel->text(), LoadQString(550));
        for (int i = 0; i < presses; ++i) QTest::mouseClick(cancel, Qt::LeftButton);
        flag = h.dialog.Task()->abortFlag.load();
        QVERIFY(h.dialog.hwnd->isVisible());  // the worker ends it, not the button
      };
      QCOMPARE(RunTaskDialog(h.dialog, request), 2);
      LeaveStore(h.poiStore);
      QVERIFY(pressed);
      QCOMPARE(flag, 1u);
      // Every stage gave up waiting: nothing else was reported, and no "done".
      QCOMPARE(h.Statuses(), std::vector<int>{int(kWaiting)});
    }
  }

  void escapeActsAsCancel() {
    Harness h;
    EnterStore(h.poiStore);
    TaskRequest request{TASK_FILTER, nullptr, nullptr, nullptr, nullptr};
    std::uint32_t flag = 99;
    h.also = [&](const Report& r) {
      if (r.kind != Report::Status || r.value != int(kWaiting) || flag != 99) return;
      QTest::keyClick(h.dialog.hwnd, Qt::Key_Escape);
      flag = h.dialog.Task()->abortFlag.load();
    };
    QCOMPARE(RunTaskDialog(h.dialog, request), 2);
    LeaveStore(h.poiStore);
    QCOMPARE(flag, 1u);
  }

  void noCancelWhileCancelIsDisabled() {
    Harness h;
    EnterStore(h.paramStore);  // the parameter stage waits, its Cancel disabled
    TaskRequest request{TASK_LOAD_PARAMS, nullptr, nullptr, nullptr, nullptr};
    std::uint32_t flag = 99;
    bool released = false;
    h.also = [&](const Report& r) {
      if (released || r.kind != Report::Status || r.value != int(kWaiting)) return;
      QVERIFY(!IsControlEnabled(h.dialog.hwnd->Item(IDCANCEL)));
      QTest::keyClick(h.dialog.hwnd, Qt::Key_Escape);
      QTest::mouseClick(h.dialog.hwnd->Item(IDCANCEL), Qt::LeftButton);
      flag = h.dialog.Task()->abortFlag.load();
      released = true;
      LeaveStore(h.paramStore);  // now let it run
    };
    QCOMPARE(RunTaskDialog(h.dialog, request), 2);
    QVERIFY(released);
    QCOMPARE(flag, 0u);
    // Cancel was disabled for the stage and enabled again after it.
    std::vector<int> cancel;
    for (const Report& r : h.reports)
      if (r.kind == Report::Cancel) cancel.push_back(r.value);
    QCOMPARE(cancel, (std::vector<int>{0, 1}));
  }

  void centredOverTheOwner() {
    Harness h;
    QWidget owner;
    owner.setGeometry(200, 150, 900, 500);
    h.dialog.owner = &owner;
    QRect placed;
    h.also = [&](const Report&) {
      if (placed.isNull()) placed = h.dialog.hwnd->frameGeometry();
    };
    QCOMPARE(RunTaskDialog(h.dialog, TaskRequest{}), 2);
    const QRect o = owner.frameGeometry();
    QCOMPARE(placed.x(), o.x() + o.width() / 2 - placed.width() / 2);
    QCOMPARE(placed.y(), o.y() + o.height() / 2 - placed.height() / 2);
  }

 private:
  static PoiData* poiStore(Harness& h) { return h.poiStore.data; }
};

QTEST_MAIN(ProgressTest)
#include "progress_test.moc"
