// The dialog framework: templates become windows, messages reach the slots, dialogs end only
// through their end result.
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <QtTest>
#include <set>
#include <thread>

#include "params/param_store.h"
#include "resources/dialog_templates.h"
#include "resources/string_table.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/list_view.h"
#include "ui/framework/params_hold.h"
#include "ui/framework/qt_text.h"
#include "ui_test_util.h"

using namespace tarvik;
using tarvik::test::RecordingDialog;

class FrameworkTest : public QObject {
  Q_OBJECT

 private:
  std::unique_ptr<CAppContext> context_ = test::UiContext();

  RecordingDialog Dialog(std::uint32_t templateId) {
    RecordingDialog d;
    d.context = context_.get();
    d.templateId = templateId;
    return d;
  }

 private slots:
  void resourcesHaveEveryIconAndTheImageList() {
    const UiResources& ui = *context_->ui;
    for (std::uint16_t id : kIconIds) {
      const QIcon& icon = ui.Icon(id);
      QVERIFY2(!icon.isNull(), qPrintable(QString::number(id)));
      QCOMPARE(icon.pixmap(ui.smallIconSize).size(), ui.smallIconSize);
      QVERIFY(!icon.pixmap(QSize(32, 32)).isNull());
    }
    QVERIFY(ui.Icon(135).isNull());
    QCOMPARE(ui.imageList.Count(), 5);
    for (int i = 0; i < 5; ++i) {
      const QImage a = ui.imageList.images[std::size_t(i)].pixmap(16).toImage();
      const QImage b = ui.Icon(141u + std::uint32_t(i)).pixmap(16).toImage();
      QCOMPARE(a, b);
    }
    QCOMPARE(ui.fontNormal.family(), QStringLiteral("Verdana"));
    QCOMPARE(ui.fontNormal.pointSize(), 10);
    QCOMPARE(ui.fontSmall.pointSize(), 8);
  }

  void templatesBuildTheirControls() {
    for (const DlgTemplateDef& tpl : DialogTemplates()) {
      DlgWindow w(tpl, context_.get(), nullptr);
      const QSize base = w.BaseUnits();
      QVERIFY(base.width() > 0 && base.height() > 0);
      QCOMPARE(w.Client()->size(), QSize(w.UnitsX(tpl.cx), w.UnitsY(tpl.cy)));
      std::set<int> ids;
      for (const DlgControlDef& def : tpl.controls) {
        if (def.textId) QVERIFY2(FindString(def.textId), "template text missing in the table");
        if (def.id == kNoControlId) continue;
        QVERIFY2(ids.insert(def.id).second, "control id used twice in one template");
        QWidget* c = w.Item(def.id);
        QVERIFY(c);
        const QRect r = w.UnitsRect(def.x, def.y, def.cx, def.cy);
        QCOMPARE(c->pos(), r.topLeft());
        QCOMPARE(c->width(), r.width());
        if (def.cls != CtlClass::ComboBox) QCOMPARE(c->height(), r.height());
        switch (def.cls) {
          case CtlClass::Button:
            QVERIFY(qobject_cast<QPushButton*>(c) || qobject_cast<QCheckBox*>(c));
            // A check box drawn as a button is a button that stays pressed.
            QCOMPARE(qobject_cast<QCheckBox*>(c) != nullptr,
                     (def.style & BS_TYPEMASK) == BS_AUTOCHECKBOX && !(def.style & BS_PUSHLIKE));
            QCOMPARE(qobject_cast<QAbstractButton*>(c)->isCheckable(),
                     (def.style & BS_TYPEMASK) == BS_AUTOCHECKBOX);
            break;
          case CtlClass::Static:
            QVERIFY(qobject_cast<QLabel*>(c) || qobject_cast<QFrame*>(c));
            break;
          case CtlClass::Edit:
            QCOMPARE(qobject_cast<QPlainTextEdit*>(c) != nullptr, bool(def.style & ES_MULTILINE));
            break;
          case CtlClass::ComboBox:
            QVERIFY(qobject_cast<QComboBox*>(c));
            break;
          case CtlClass::ListView:
            QVERIFY(qobject_cast<ListViewWidget*>(c));
            break;
          case CtlClass::Progress:
            QVERIFY(qobject_cast<QProgressBar*>(c));
            break;
        }
        QCOMPARE(c->isEnabled(), !(def.style & WS_DISABLED));
      }
      if (tpl.titleId) QCOMPARE(w.windowTitle(), LoadQString(tpl.titleId));
    }
  }

  void dialogUnitsFollowTheFont() {
    DlgWindow w(*FindDialogTemplate(130), context_.get(), nullptr);
    const QSize base = w.BaseUnits();
    // Horizontal: units x average width / 4; vertical: units x height / 8, rounded.
    QCOMPARE(w.UnitsX(4), base.width());
    QCOMPARE(w.UnitsY(8), base.height());
    QCOMPARE(w.UnitsX(182), (182 * base.width() + 2) / 4);
    // Adjacent rectangles stay adjacent: edges are converted, not sizes.
    const QRect a = w.UnitsRect(3, 3, 174, 18), b = w.UnitsRect(177, 3, 10, 18);
    QCOMPARE(a.right() + 1, b.left());
  }

  void menuHasTheTableTextsAndSendsCommands() {
    RecordingDialog d = Dialog(129);
    d.script = [](DlgWindow* w) {
      QVERIFY(w->Menu());
      QCOMPARE(w->MenuPopup(0)->text(), LoadQString(501));
      QCOMPARE(w->MenuPopup(2)->text(), LoadQString(502));
      QCOMPARE(w->MenuItem(32773)->text(), LoadQString(510));
      QVERIFY(w->MenuItem(32771));
      QVERIFY(!w->MenuItem(1));
      w->MenuItem(32780)->trigger();
      PostEndMessage(w, 7);
    };
    QCOMPARE(RunModal(d, 0), 7);
    auto cmds = d.Of(2);
    QCOMPARE(cmds.size(), std::size_t(1));
    QCOMPARE(cmds[0].command.id, 32780);
    QVERIFY(cmds[0].command.code == CommandCode::Clicked);
  }

  void endMessageUsesTheLowWordOnly() {
    RecordingDialog d = Dialog(103);
    d.script = [](DlgWindow* w) { PostEndMessage(w, 0x00010002); };
    QCOMPARE(RunModal(d, 0), 2);
  }

  void endMessageFromAnotherThread() {
    RecordingDialog d = Dialog(103);
    std::thread worker;
    d.script = [&worker](DlgWindow* w) {
      worker = std::thread([w] { PostEndMessage(w, 0x00050003); });
    };
    const int result = RunModal(d, 0);
    worker.join();
    QCOMPARE(result, 3);
  }

  void endsWhileHiddenAndAfterANestedDialog() {
    RecordingDialog d = Dialog(103);
    d.script = [](DlgWindow* w) {
      w->hide();
      PostEndMessage(w, 5);
    };
    QCOMPARE(RunModal(d, 0), 5);

    // The outer dialog is asked to end while a nested one runs: it ends after it.
    RecordingDialog outer = Dialog(129);
    RecordingDialog inner = Dialog(130);
    int innerResult = 0;
    outer.script = [&](DlgWindow* w) {
      inner.owner = w;
      inner.script = [w](DlgWindow* in) {
        PostEndMessage(w, 3);
        PostEndMessage(in, 4);
      };
      innerResult = RunModal(inner, 0);
    };
    QCOMPARE(RunModal(outer, 0), 3);
    QCOMPARE(innerResult, 4);
  }

  void endingDuringInitialisationShowsNothing() {
    struct Quick : CDlgBoxCore {
      bool shown = true;
      void OnInitDialog(DlgWindow* w, const DlgStart&, DlgParam) override { EndDialog(w, 9); }
      void OnDestroy(DlgWindow* w, DlgParam) override { shown = w->isVisible(); }
    } d;
    d.context = context_.get();
    d.templateId = 137;
    QCOMPARE(RunModal(d, 0), 9);
    QVERIFY(!d.shown);
  }

  void dialogWithoutObjectClosesOnOkAndCancel() {
    for (int id : {IDOK, IDCANCEL}) {
      QTimer::singleShot(0, [id] {
        auto* w = qobject_cast<DlgWindow*>(QApplication::activeModalWidget());
        QVERIFY(w);
        w->SendCommand(1045);  // ignored
        QVERIFY(w->isVisible());
        w->SendCommand(id);
      });
      QCOMPARE(DialogBoxParam(context_.get(), 103, nullptr, nullptr), id);
    }
    // Escape is Cancel for it too.
    QTimer::singleShot(0,
                       [] { QTest::keyClick(QApplication::activeModalWidget(), Qt::Key_Escape); });
    QCOMPARE(DialogBoxParam(context_.get(), 142, nullptr, nullptr), 2);
  }

  void nothingShownWithoutContextOrTemplate() {
    RecordingDialog d = Dialog(103);
    d.context = nullptr;
    QCOMPARE(RunModal(d, 0), -1);
    d.context = context_.get();
    d.templateId = 0;
    QCOMPARE(RunModal(d, 0), -1);
    d.templateId = 4711;  // not a template of ours
    QCOMPARE(RunModal(d, 0), -1);
    QVERIFY(d.calls.empty());
  }

  void slotsReceiveTheirMessages() {
    RecordingDialog d = Dialog(137);
    d.endOnCommand = IDOK;
    d.script = [](DlgWindow* w) {
      QTest::mouseClick(w->Item(1007), Qt::LeftButton);                    // save
      QTest::mouseClick(w->Item(1008), Qt::LeftButton, {}, QPoint(6, 8));  // check box
      QTest::keyClick(w, Qt::Key_Escape);                                  // Cancel
      w->close();  // close box: Cancel again
      EnableControl(w->Item(IDCANCEL), false);
      QTest::keyClick(w, Qt::Key_Escape);  // nothing: Cancel is disabled
      w->close();
      EnableControl(w->Item(IDCANCEL), true);
      QVERIFY(w->isVisible());
      w->Item(1004)->setFocus();
      QTest::keyClick(w->Item(1004), Qt::Key_Return);  // the default button: OK
    };
    QCOMPARE(RunModal(d, 42), 1);
    const auto init = d.Of(1);
    QCOMPARE(init.size(), std::size_t(1));
    QCOMPARE(init[0].param.Value(), std::intptr_t(42));
    QVERIFY(init[0].startDialog == &d);  // the start record itself
    const auto cmds = d.Of(2);
    QCOMPARE(cmds.size(), std::size_t(5));
    QCOMPARE(cmds[0].command.id, 1007);
    QCOMPARE(cmds[1].command.id, 1008);
    QCOMPARE(cmds[2].command.id, int(IDCANCEL));
    QCOMPARE(cmds[3].command.id, int(IDCANCEL));
    QCOMPARE(cmds[4].command.id, int(IDOK));
    for (const auto& c : cmds) QCOMPARE(c.param.Value(), std::intptr_t(42));
    QCOMPARE(d.Of(5).size(), std::size_t(1));
    QVERIFY(d.itemsAliveAtDestroy);
    QVERIFY(d.hwnd == nullptr);
    QCOMPARE(d.calls.back().slot, 5);
  }

  void listClicksArriveAsNotifications() {
    RecordingDialog d = Dialog(142);
    d.script = [](DlgWindow* w) {
      auto* list = qobject_cast<ListViewWidget*>(w->Item(1042));
      list->InsertColumn(0, u"#", 30);
      list->InsertColumn(1, u"x", 100);
      list->InsertItem(0, u"a", 0);
      list->InsertItem(1, u"b", 0);
      QApplication::processEvents();
      const QRect second = list->visualItemRect(list->topLevelItem(1));
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, second.center());
      QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                        QPoint(5, list->viewport()->height() - 3));
      QCOMPARE(list->NextItem(-1, LVNI_SELECTED), -1);  // a click beside the rows selects none
      PostEndMessage(w, 2);
    };
    QCOMPARE(RunModal(d, 0), 2);
    const auto notes = d.Of(3);
    QCOMPARE(notes.size(), std::size_t(2));
    QVERIFY(notes[0].notify.code == NotifyCode::Click);
    QCOMPARE(notes[0].notify.item, 1);
    QCOMPARE(notes[0].notify.id, 1042);
    QCOMPARE(notes[1].notify.item, -1);
  }

  void sizeMessagesCarryTheClientSize() {
    RecordingDialog d = Dialog(129);
    d.script = [](DlgWindow* w) {
      w->resize(w->width() + 200, w->height() + 50);
      QApplication::processEvents();
      PostEndMessage(w, 2);
    };
    QCOMPARE(RunModal(d, 0), 2);
    const auto sizes = d.Of(4);
    QVERIFY(!sizes.empty());
    const test::SlotCall& last = sizes.back();
    QVERIFY(last.size.kind == SizeKind::Restored);
    // The client is the window minus the menu bar.
    DlgWindow probe(*FindDialogTemplate(129), context_.get(), nullptr);
    QCOMPARE(last.size.width, probe.Client()->width() + 200);
    QCOMPARE(last.size.height, probe.Client()->height() + 50);
  }

  void enterInAReadOnlyTextPressesTheDefaultButton() {
    RecordingDialog d = Dialog(103);
    d.endOnCommand = IDOK;
    d.script = [](DlgWindow* w) {
      w->Item(1045)->setFocus();
      QTest::keyClick(w->Item(1045), Qt::Key_Return);
    };
    QCOMPARE(RunModal(d, 0), 1);
  }

  void controlTextsRoundTrip() {
    DlgWindow w(*FindDialogTemplate(141), context_.get(), nullptr);
    QVERIFY(SetControlText(w.Item(1048), u"one\r\ntwo"));
    QCOMPARE(w.Control<QPlainTextEdit>(1048)->toPlainText(), QStringLiteral("one\ntwo"));
    QCOMPARE(ControlText(w.Item(1048), 100), std::u16string(u"one\r\ntwo"));
    SetControlText(w.Item(1030), u"abcdef");
    QCOMPARE(ControlText(w.Item(1030), 3), std::u16string(u"abc"));
    SetControlText(w.Item(1030), u"ab\U0001F600");
    QCOMPARE(ControlText(w.Item(1030), 3), std::u16string(u"ab"));  // no half character
    QVERIFY(!SetControlText(w.Item(4711), u"x"));
    QCOMPARE(ControlText(w.Item(4711), 10), std::u16string());
    QComboBox* combo = w.Control<QComboBox>(1041);
    QVERIFY(!w.Control<QComboBox>(1030));  // an edit is no drop-down list
    QCOMPARE(AddComboItem(combo, u"ANSI", 0), 0);
    QCOMPARE(AddComboItem(combo, u"UTF8", 65001), 1);
    QCOMPARE(ComboSelection(combo), 0);
    SetComboSelection(combo, -1);
    QCOMPARE(ComboSelection(combo), -1);
    QCOMPARE(ComboItemData(combo, 1), std::intptr_t(65001));
    QCOMPARE(ComboItemData(combo, 2), std::intptr_t(kComboNone));
    QVERIFY(SetChecked(w.Item(1031), true));
    QVERIFY(IsChecked(w.Item(1031)));
    QVERIFY(!SetChecked(w.Item(1030), true));  // an edit is no check box
  }

  void editingDialogsHoldTheParameterStore() {
    CParamStore store(context_.get());
    struct Editor : CDlgBoxCore {
      CParamStore* paramStore = nullptr;
      DialogParamsHold hold;
      bool othersLockedOut = false;
      int marker = -1;
      void OnInitDialog(DlgWindow* w, const DlgStart&, DlgParam) override {
        hold.Enter(paramStore);
        hold.Enter(paramStore);  // a second enter changes nothing
        QMetaObject::invokeMethod(
            w,
            [this, w] {
              bool got = true;
              std::thread([&] {
                got = TryAcquireParams(*paramStore);
                if (got) ReleaseParams(*paramStore);
              }).join();
              othersLockedOut = !got;
              marker = paramStore->data->busyMarker.load();
              PostEndMessage(w, 1);
            },
            Qt::QueuedConnection);
      }
      void OnDestroy(DlgWindow*, DlgParam) override { hold.Leave(); }
    } editor;
    editor.context = context_.get();
    editor.templateId = 103;
    editor.paramStore = &store;
    QCOMPARE(RunModal(editor, 1), 1);
    QVERIFY(editor.othersLockedOut);
    QCOMPARE(editor.marker, 1);
    QVERIFY(!editor.hold.Held());
    QCOMPARE(store.data->busyMarker.load(), 0);
    bool free = false;
    std::thread([&] {
      free = TryAcquireParams(store);
      if (free) ReleaseParams(store);
    }).join();
    QVERIFY(free);
  }

  void centringOverTheOwner() {
    QWidget owner;
    owner.setGeometry(100, 100, 801, 601);
    DlgWindow w(*FindDialogTemplate(130), context_.get(), &owner);
    CenterOverOwner(&w, &owner);
    const QRect o = owner.frameGeometry(), d = w.frameGeometry();
    QCOMPARE(d.x(), o.x() + o.width() / 2 - d.width() / 2);
    QCOMPARE(d.y(), o.y() + o.height() / 2 - d.height() / 2);
  }
};

QTEST_MAIN(FrameworkTest)
#include "framework_test.moc"
