// The control layout over real widgets: registration, re-placement, the option bits.
#include <QtTest>
#include <memory>

#include "core/tracked_memory.h"
#include "ui/framework/control_layout.h"

using namespace tarvik;

class LayoutTest : public QObject {
  Q_OBJECT

  struct Window {
    QWidget parent;
    QWidget* status;
    QWidget* combo;
    QWidget* areas;
    QWidget* types;
    QWidget* label;
    QWidget* match;
    Window() {
      parent.setGeometry(40, 30, 1000, 400);
      auto child = [this](int x, int y, int w, int h) {
        auto* c = new QWidget(&parent);  // owned by the parent
        c->setGeometry(x, y, w, h);
        return c;
      };
      status = child(0, 378, 1000, 22);
      combo = child(530, 10, 250, 20);
      areas = child(5, 5, 450, 370);
      types = child(465, 45, 530, 330);
      label = child(465, 10, 60, 24);
      match = child(790, 10, 200, 24);
    }
    void Register(ControlLayout& layout) {
      layout.RegisterControl(status, 0xA008);
      layout.RegisterControl(combo, 0x4A08);
      layout.RegisterControl(areas, 0xD208);
      layout.RegisterControl(types, 0x5A08);
      layout.RegisterControl(label, 0x4808);
      layout.RegisterControl(match, 0x4008);
    }
  };

  CAppContext context_;

 private slots:
  void mainWindowRegistrations() {
    Window w;
    ControlLayout layout(&context_, &w.parent);
    w.Register(layout);
    QCOMPARE(layout.ItemCount(), 6u);
    const QRect status = w.status->geometry(), combo = w.combo->geometry(),
                areas = w.areas->geometry(), types = w.types->geometry(),
                label = w.label->geometry(), match = w.match->geometry();

    layout.ApplyLayout(1000, 400);
    QCOMPARE(w.areas->geometry(), areas);
    QCOMPARE(w.status->geometry(), status);

    layout.ApplyLayout(1200, 400);
    QCOMPARE(w.areas->geometry(), areas.adjusted(0, 0, 100, 0));
    QCOMPARE(w.types->geometry(), types.adjusted(100, 0, 200, 0));
    QCOMPARE(w.combo->geometry(), combo.adjusted(100, 0, 200, 0));
    QCOMPARE(w.label->geometry(), label.translated(100, 0));
    QCOMPARE(w.match->geometry(), match.translated(200, 0));
    QCOMPARE(w.status->geometry(), status.adjusted(0, 0, 200, 0));

    layout.ApplyLayout(1000, 450);
    QCOMPARE(w.areas->geometry(), areas.adjusted(0, 0, 0, 50));
    QCOMPARE(w.types->geometry(), types.adjusted(0, 0, 0, 50));
    QCOMPARE(w.status->geometry(), status.translated(0, 50));
    QCOMPARE(w.combo->geometry(), combo);
    QCOMPARE(w.label->geometry(), label);
    QCOMPARE(w.match->geometry(), match);

    layout.ApplyLayout(995, 400);
    QCOMPARE(w.types->x(), types.x() - 2);
    QCOMPARE(w.match->x(), match.x() - 4);
    QCOMPARE(w.status->width(), status.width() - 4);
    layout.ApplyLayout(1005, 400);
    QCOMPARE(w.types->x(), types.x() + 3);
    QCOMPARE(w.match->x(), match.x() + 5);

    // Offsets never accumulate: any path back to the first size restores everything.
    for (auto [cw, ch] : {std::pair{1003, 397}, {17, 5}, {1999, 1234}, {995, 401}, {1, 1}})
      layout.ApplyLayout(cw, ch);
    layout.ApplyLayout(1000, 400);
    QCOMPARE(w.status->geometry(), status);
    QCOMPARE(w.combo->geometry(), combo);
    QCOMPARE(w.areas->geometry(), areas);
    QCOMPARE(w.types->geometry(), types);
    QCOMPARE(w.label->geometry(), label);
    QCOMPARE(w.match->geometry(), match);
  }

  void keepSizeAndKeepPosition() {
    Window w;
    ControlLayout layout(&context_, &w.parent);
    layout.RegisterControl(w.areas, 0x0008 | 0x2000 | 0x1000 | 0x0004);  // moves, never resizes
    layout.RegisterControl(w.types, 0x0008 | 0x2000 | 0x1000 | 0x0002);  // resizes, never moves
    const QRect areas = w.areas->geometry(), types = w.types->geometry();
    layout.ApplyLayout(1100, 420);
    QCOMPARE(w.areas->geometry(), areas.translated(100, 20));
    QCOMPARE(w.types->geometry(), QRect(types.topLeft(), types.size() + QSize(100, 20)));
  }

  void screenCoordinatesWithoutTheClientBit() {
    Window w;
    w.parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w.parent));
    ControlLayout layout(&context_, &w.parent);
    layout.RegisterControl(w.label, 0x4808 & ~0x0008);
    const QPoint global = w.label->mapToGlobal(QPoint(0, 0));
    layout.ApplyLayout(1000, 400);
    // The rectangle stayed in screen coordinates and is applied as if it were the client's.
    QCOMPARE(w.label->pos(), global);
  }

  void nothingWithoutContextParentOrMemory() {
    Window w;
    const QRect areas = w.areas->geometry();
    ControlLayout noContext(nullptr, &w.parent);
    noContext.RegisterControl(w.areas, 0xD208);
    QCOMPARE(noContext.ItemCount(), 0u);
    noContext.ApplyLayout(10, 10);
    QCOMPARE(w.areas->geometry(), areas);

    ControlLayout noParent(&context_, nullptr);
    noParent.RegisterControl(w.areas, 0xD208);
    noParent.ApplyLayout(10, 10);
    QCOMPARE(noParent.ItemCount(), 0u);

    ControlLayout layout(&context_, &w.parent);
    layout.RegisterControl(nullptr, 0xD208);
    MemFailAfter(1);
    layout.RegisterControl(w.match, 0x4008);  // cannot be stored: never moved
    MemFailAfter(0);
    layout.RegisterControl(w.areas, 0xD208);
    QCOMPARE(layout.ItemCount(), 1u);
    const QRect match = w.match->geometry();
    layout.ApplyLayout(1200, 500);
    QCOMPARE(w.match->geometry(), match);
    QCOMPARE(w.areas->geometry(), areas.adjusted(0, 0, 100, 100));
  }

  void itemsAreTrackedMemory() {
    CAppContext context;
    {
      Window w;
      ControlLayout layout(&context, &w.parent);
      w.Register(layout);
      QVERIFY(MemInUse(&context) > 0);
    }
    QCOMPARE(MemInUse(&context), std::int64_t(0));
  }
};

QTEST_MAIN(LayoutTest)
#include "layout_test.moc"
