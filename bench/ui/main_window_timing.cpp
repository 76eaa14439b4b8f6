// Times the main window, headless (QT_QPA_PLATFORM=offscreen):
//   main_window_timing TABLE [RUNS]
// 1. start-up: from main() to the main window's first paint (Qt, the context, the settings,
//    the start-up task behind its progress window, the window itself);
// 2. Open of TABLE, RUNS times: from the Open command to refreshed lists (load, parse and
//    count behind the progress window, then both lists filled), with the longest pause of the
//    window's event loop meanwhile and the number of progress reports the window showed; the
//    user and system time and page faults of the fastest Open.
// Prints shell assignments for bench/run.sh.
#include <sys/resource.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>

#include <cstdio>
#include <vector>

#include "processing/program_entry.h"
#include "ui/dlg_main.h"
#include "ui/framework/list_view.h"
#include "ui/framework/qt_text.h"
#include "ui/main_prompts.h"
#include "ui/ui_resources.h"

using namespace tarvik;

namespace {

class TablePrompts : public MainPrompts {
 public:
  explicit TablePrompts(std::u16string path) : path_(std::move(path)) {}
  std::optional<std::u16string> OpenFile(QWidget*, const std::vector<FileType>&,
                                         const std::u16string&) override {
    return path_;
  }
  std::optional<SaveChoice> SaveFile(QWidget*, const std::vector<FileType>&, int,
                                     const std::u16string&, const std::u16string&) override {
    return std::nullopt;
  }
  bool AskYesNo(QWidget*, const std::u16string&) override { return false; }
  void Warn(QWidget*, const std::u16string& text) override {
    std::fprintf(stderr, "warning: %s\n", Utf16ToUtf8(text).c_str());
  }
  std::optional<std::u16string> AskText(QWidget*, const std::u16string&, const std::u16string&,
                                        const std::u16string&, int) override {
    return std::nullopt;
  }

 private:
  std::u16string path_;
};

// Notes the first paint of one window.
class PaintWatch : public QObject {
 public:
  QElapsedTimer* clock = nullptr;
  const CDlgMain* main = nullptr;
  qint64 paintedNs = -1;
  bool eventFilter(QObject* watched, QEvent* e) override {
    if (paintedNs < 0 && e->type() == QEvent::Paint && main->hwnd && watched == main->hwnd)
      paintedNs = clock->nsecsElapsed();
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  QElapsedTimer clock;
  clock.start();
  QApplication app(argc, argv);
  const qint64 appNs = clock.nsecsElapsed();
  if (argc < 2) {
    std::fprintf(stderr, "usage: main_window_timing TABLE [RUNS]\n");
    return 2;
  }
  const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 5;
  QTemporaryDir dir;
  EntryOptions options;
  options.iniPath = FromQString(dir.filePath(QStringLiteral("Tarvik.ini")));

  CAppContext context;
  ProgramEntry entry(context, options);
  InitUi(context);
  TablePrompts prompts(Utf8ToUtf16(argv[1]));
  CDlgMain main;
  main.context = &context;
  main.templateId = 129;
  main.prompts = &prompts;
  PaintWatch watch;
  watch.clock = &clock;
  watch.main = &main;
  app.installEventFilter(&watch);

  int reports = 0;
  main.ProgressDialog().onReport = [&](const CDlgProc::Report&) { ++reports; };
  // The event loop's pulse: the longest gap between two ticks while a table opens.
  QElapsedTimer pulse;
  qint64 longestGapNs = 0;
  bool measuring = false;
  QTimer tick;
  QObject::connect(&tick, &QTimer::timeout, [&] {
    if (measuring) longestGapNs = std::max(longestGapNs, pulse.nsecsElapsed());
    pulse.restart();
  });
  tick.start(5);

  struct Usage {
    double user = 0, sys = 0;
    long faults = 0;
  };
  auto usageNow = [] {
    rusage u{};
    ::getrusage(RUSAGE_SELF, &u);
    return Usage{u.ru_utime.tv_sec + u.ru_utime.tv_usec / 1e6,
                 u.ru_stime.tv_sec + u.ru_stime.tv_usec / 1e6, u.ru_minflt + u.ru_majflt};
  };
  std::vector<double> opens;
  std::vector<Usage> usages;
  std::vector<qint64> gaps;
  std::vector<int> reportCounts;
  int rows = 0;
  bool done = false;
  QTimer poll;
  QObject::connect(&poll, &QTimer::timeout, [&] {
    DlgWindow* w = main.hwnd;
    if (done || !w || watch.paintedNs < 0 || QApplication::activeModalWidget() != w) return;
    done = true;
    poll.stop();
    for (int i = 0; i < runs; ++i) {
      reports = 0;
      longestGapNs = 0;
      pulse.restart();
      measuring = true;
      const Usage before = usageNow();
      QElapsedTimer t;
      t.start();
      w->SendCommand(IDM_OPEN);
      opens.push_back(static_cast<double>(t.nsecsElapsed()) / 1e9);
      const Usage after = usageNow();
      usages.push_back(
          {after.user - before.user, after.sys - before.sys, after.faults - before.faults});
      measuring = false;
      gaps.push_back(longestGapNs);
      reportCounts.push_back(reports);
    }
    if (auto* types = qobject_cast<ListViewWidget*>(w->Item(IDC_TYPE_LIST)))
      rows = types->ItemCount();
    w->SendCommand(IDM_EXIT);
  });
  poll.start(1);
  RunModal(main, 0);

  std::vector<double> sorted = opens;
  std::sort(sorted.begin(), sorted.end());
  std::printf("qt_init_s=%.3f\n", static_cast<double>(appNs) / 1e9);
  std::printf("startup_s=%.3f\n", static_cast<double>(watch.paintedNs) / 1e9);
  std::printf("open_best_s=%.3f\n", sorted.empty() ? 0.0 : sorted.front());
  std::printf("open_median_s=%.3f\n", sorted.empty() ? 0.0 : sorted[sorted.size() / 2]);
  if (!opens.empty()) {
    const Usage& best = usages[std::min_element(opens.begin(), opens.end()) - opens.begin()];
    std::printf("open_user_s=%.3f\nopen_sys_s=%.3f\nopen_faults=%ld\n", best.user, best.sys,
                best.faults);
  }
  std::printf("longest_pause_ms=%.1f\n",
              static_cast<double>(*std::max_element(gaps.begin(), gaps.end())) / 1e6);
  std::printf("progress_reports=%d\n", *std::min_element(reportCounts.begin(), reportCounts.end()));
  std::printf("type_rows=%d\n", rows);
  return 0;
}
