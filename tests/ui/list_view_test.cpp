// List views: row records, cell colours, sorting.
#include <QImage>
#include <QLineEdit>
#include <QtTest>

#include "core/tracked_memory.h"
#include "resources/dialog_templates.h"
#include "ui/framework/list_view.h"
#include "ui/framework/tracked_object.h"
#include "ui_test_util.h"

using namespace tarvik;

namespace {

constexpr COLORREF kWhite = 0xFFFFFF;
constexpr COLORREF kDarkGrey = 0x323232;

// A list with columns filled from rows of texts.
struct Filled {
  ListViewWidget list{1003, nullptr};
  ListViewCtl ctl;
  Filled(CAppContext* context, std::initializer_list<std::initializer_list<const char16_t*>> rows,
         int columns = 3) {
    ctl.Attach(context, &list);
    for (int c = 0; c < columns; ++c) list.InsertColumn(c, u"c", 60);
    for (auto& row : rows) {
      int r = ctl.AppendRow();
      int c = 0;
      for (const char16_t* text : row) list.SetItemText(r, c++, text);
    }
  }
  ~Filled() { ctl.ClearRows(); }
  std::vector<std::u16string> Column(int c) const {
    std::vector<std::u16string> out;
    for (int i = 0; i < list.ItemCount(); ++i) out.push_back(list.ItemText(i, c));
    return out;
  }
};

using Texts = std::vector<std::u16string>;

// A dialog that paints its list in the colours of its ListViewCtl, as every dialog does.
class PaintingDialog : public CDlgBoxCore {
 public:
  TrackedObject<ListViewCtl> ctl;
  QImage shot;
  QRect row1;
  int listId = 1042;
  void OnInitDialog(DlgWindow* w, const DlgStart&, DlgParam) override {
    ctl = MakeTracked<ListViewCtl>(context);
    auto* list = qobject_cast<ListViewWidget*>(w->Item(listId));
    ctl->Attach(context, list);
    ctl->ApplyStandardLook(false, true);
    for (int c = 0; c < 3; ++c) list->InsertColumn(c, u"h", 80);
    for (int r = 0; r < 3; ++r) {
      ctl->AppendRow();
      list->SetItemText(r, 1, u"row");
      list->SetItemText(r, 2, u"text");
    }
    list->SetItemState(1, true, true);
    QMetaObject::invokeMethod(
        w,
        [this, w, list] {
          w->show();
          list->setFocus();
          QApplication::processEvents();
          shot = list->viewport()->grab().toImage();
          row1 = list->visualItemRect(list->topLevelItem(1));
          PostEndMessage(w, 2);
        },
        Qt::QueuedConnection);
  }
  void OnDestroy(DlgWindow*, DlgParam) override {
    if (ctl) ctl->ReleaseRows();
    ctl.reset();
  }
};

}  // namespace

class ListViewTest : public QObject {
  Q_OBJECT

  std::unique_ptr<CAppContext> context_ = test::UiContext();

 private slots:
  void compareRowsNumericAndText() {
    Filled f(nullptr, {{u"", u"10", u"ABC"},
                       {u"", u"9", u"abc"},
                       {u"", u"abc", u"abd"},
                       {u"", u"-1.5e1x", u" 7"}});
    ListSort sort{&f.list, &f.ctl, 1, 1, 1};
    const auto p = reinterpret_cast<std::intptr_t>(&sort);
    QCOMPARE(ListViewCtl::CompareRows(0, 1, p), 1);  // 10 > 9
    QCOMPARE(ListViewCtl::CompareRows(1, 0, p), 0);  // never negative
    sort.ascending = 0;
    QCOMPARE(ListViewCtl::CompareRows(0, 1, p), 0);
    QCOMPARE(ListViewCtl::CompareRows(1, 0, p), 1);
    sort.ascending = 1;
    QCOMPARE(ListViewCtl::CompareRows(2, 3, p), 1);  // 'abc' is 0, above -15
    QCOMPARE(ListViewCtl::CompareRows(2, 2, p), 0);

    sort.numeric = 0;
    sort.column = 2;
    QCOMPARE(ListViewCtl::CompareRows(0, 1, p), 0);  // case ignored
    QVERIFY(ListViewCtl::CompareRows(1, 2, p) < 0);
    sort.ascending = 0;
    QVERIFY(ListViewCtl::CompareRows(1, 2, p) > 0);
    QVERIFY(ListViewCtl::CompareRows(3, 0, p) > 0);  // descending: ' 7' goes behind 'ABC'
    // A missing item reads as empty; no descriptor or no control compares equal.
    QVERIFY(ListViewCtl::CompareRows(99, 0, p) > 0);
    QCOMPARE(ListViewCtl::CompareRows(0, 1, 0), 0);
    ListSort empty{&f.list, nullptr, 1, 1, 1};
    QCOMPARE(ListViewCtl::CompareRows(0, 1, reinterpret_cast<std::intptr_t>(&empty)), 0);
  }

  void leadingNumbers() {
    QCOMPARE(LeadingNumber(u"12abc"), 12.0);
    QCOMPARE(LeadingNumber(u"  -3.25"), -3.25);
    QCOMPARE(LeadingNumber(u"+.5"), 0.5);
    QCOMPARE(LeadingNumber(u"1e3"), 1000.0);
    QCOMPARE(LeadingNumber(u"1e"), 1.0);
    QCOMPARE(LeadingNumber(u"37,5"), 37.0);  // the decimal point is '.', whatever the locale
    QCOMPARE(LeadingNumber(u"abc"), 0.0);
    QCOMPARE(LeadingNumber(u""), 0.0);
    QCOMPARE(LeadingNumber(u"."), 0.0);
    QVERIFY(std::isinf(LeadingNumber(u"1e999")));
    QCOMPARE(LeadingNumber(u"1e-999"), 0.0);
    QVERIFY(std::isinf(LeadingNumber(u"-inf")));
    QVERIFY(std::isnan(LeadingNumber(u"nan")));
  }

  void sortIsStableAndMovesOnlyOnOne() {
    Filled f(nullptr, {{u"", u"10", u"a"},
                       {u"", u"2", u"b"},
                       {u"", u"10", u"c"},
                       {u"", u"x", u"d"},
                       {u"", u"2", u"e"},
                       {u"", u"nan", u"f"}});
    for (int i = 0; i < f.list.ItemCount(); ++i)
      f.ctl.SetRowData(reinterpret_cast<void*>(static_cast<std::intptr_t>(i + 1)), i);
    f.list.SetItemState(2, true, true);  // "c" selected and focused
    ListSort sort{&f.list, &f.ctl, 1, 1, 1};
    QVERIFY(SortRows(sort));
    // 'x' is 0; 'nan' is never greater nor smaller, so it only moves when others overtake it.
    QCOMPARE(f.Column(2), (Texts{u"d", u"b", u"e", u"a", u"c", u"f"}));
    QCOMPARE(f.list.NextItem(-1, LVNI_SELECTED | LVNI_FOCUSED), 4);
    QCOMPARE(f.ctl.RowData(4), reinterpret_cast<void*>(3));  // data moved with its row
    sort.ascending = 0;
    QVERIFY(SortRows(sort));
    QCOMPARE(f.Column(2), (Texts{u"a", u"c", u"b", u"e", u"d", u"f"}));
    sort.column = 2;
    sort.numeric = 0;
    sort.ascending = 1;
    QVERIFY(SortRows(sort));
    QCOMPARE(f.Column(2), (Texts{u"a", u"b", u"c", u"d", u"e", u"f"}));
  }

  void cellColoursPerColumnAndSelection() {
    ListViewWidget list(1, nullptr);
    ListViewCtl ctl;
    ctl.Attach(context_.get(), &list);
    ctl.ApplyStandardLook(false, false);
    COLORREF t = 0, b = 0;
    ListRow row{nullptr, nullptr, 0x0000FF, 0x00FF00, 1, 1, nullptr};
    // Selected: column 0 keeps dark grey on white, the others are white on dark grey.
    ctl.CellColors(&row, true, 0, t, b);
    QCOMPARE(t, kDarkGrey);
    QCOMPARE(b, kWhite);
    for (int sub : {1, 2}) {
      ctl.CellColors(&row, true, sub, t, b);
      QCOMPARE(t, kWhite);
      QCOMPARE(b, kDarkGrey);
    }
    ctl.CellColors(nullptr, true, 1, t, b);  // selected without a record
    QCOMPARE(b, kDarkGrey);
    ctl.CellColors(&row, false, 1, t, b);  // not selected: through the row's references
    QCOMPARE(t, kDarkGrey);
    QCOMPARE(b, kWhite);
    row.useRefs = 0;
    ctl.CellColors(&row, false, 2, t, b);  // fixed colours
    QCOMPARE(t, COLORREF(0x0000FF));
    QCOMPARE(b, COLORREF(0x00FF00));
    row.showSelection = 0;
    ctl.CellColors(&row, true, 1, t, b);  // a row that shows no selection
    QCOMPARE(b, COLORREF(0x00FF00));
    ctl.colorFirstColumn = 1;
    row.showSelection = 1;
    ctl.CellColors(&row, true, 0, t, b);
    QCOMPARE(b, kDarkGrey);
  }

  void theListAsksItsControlForCellColours() {
    DlgWindow w(*FindDialogTemplate(142), context_.get(), nullptr);
    auto* list = w.Control<ListViewWidget>(1042);
    COLORREF t = 0, b = 0;
    QVERIFY(!list->CellColors(0, 0, t, b));  // nobody attached: the usual look
    {
      ListViewCtl ctl;
      ctl.Attach(context_.get(), list);
      ctl.ApplyStandardLook(false, true);
      list->InsertColumn(0, u"#", 30);
      list->InsertColumn(1, u"x", 30);
      const int r = ctl.AppendRow();
      list->SetItemState(r, true, true);
      QVERIFY(list->CellColors(r, 1, t, b));
      QCOMPARE(t, kWhite);
      QCOMPARE(b, kDarkGrey);
      QVERIFY(list->CellColors(r, 0, t, b));
      QCOMPARE(t, kDarkGrey);
      QCOMPARE(b, kWhite);
      ctl.ReleaseRows();
    }
    QVERIFY(!list->CellColors(0, 1, t, b));  // gone with its control
  }

  void paintedSelectionKeepsColumnZeroPlain() {
    PaintingDialog d;
    d.context = context_.get();
    d.templateId = 142;
    QCOMPARE(RunModal(d, 0), 2);
    QVERIFY(!d.shot.isNull());
    const QRect row1 = d.row1;
    const int y = row1.center().y();
    const int dpr = static_cast<int>(d.shot.devicePixelRatio());
    auto pixel = [&](int x) { return RefFromColor(d.shot.pixelColor(x * dpr, y * dpr)); };
    QCOMPARE(pixel(78), kWhite);      // column 0, right edge: no highlight
    QCOMPARE(pixel(82), kDarkGrey);   // column 1
    QCOMPARE(pixel(235), kDarkGrey);  // column 2
    QCOMPARE(RefFromColor(d.shot.pixelColor(100 * dpr, (row1.top() - 3) * dpr)), kWhite);
  }

  // With the keyboard a list always has a row to act on and shows it: the first row becomes
  // current when the list is entered, the current row is framed while the list has the focus,
  // and Space ticks that row.
  void keyboardShowsAndTicksTheCurrentRow() {
    QWidget window;
    QLineEdit before(&window);
    ListViewWidget list(1002, &window);
    list.setGeometry(0, 30, 300, 150);
    ListViewCtl ctl;
    ctl.Attach(context_.get(), &list);
    ctl.ApplyStandardLook(/*checkBoxes=*/true, /*contextImages=*/false);
    for (int c = 0; c < 3; ++c) list.InsertColumn(c, u"h", 80);
    for (int r = 0; r < 3; ++r) list.SetItemText(ctl.AppendRow(), 1, u"row");
    window.resize(300, 200);
    window.show();
    window.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&window));
    before.setFocus();
    auto framed = [&](int row) {
      const QImage shot = list.viewport()->grab().toImage();
      const QRect r = list.visualItemRect(list.topLevelItem(row));
      const int dpr = static_cast<int>(shot.devicePixelRatio());
      // Column 2 holds no text: its top line differs from its middle only by a frame.
      for (int x = 170; x < 230; ++x)
        if (shot.pixelColor(x * dpr, r.top() * dpr) !=
            shot.pixelColor(x * dpr, r.center().y() * dpr))
          return true;
      return false;
    };
    QCOMPARE(list.NextItem(-1, LVNI_FOCUSED), -1);
    list.setFocus(Qt::TabFocusReason);
    QCOMPARE(list.NextItem(-1, LVNI_FOCUSED), 0);
    QCOMPARE(list.NextItem(-1, LVNI_SELECTED), -1);  // current, not chosen
    QVERIFY(framed(0));
    QTest::keyClick(&list, Qt::Key_Space);
    QVERIFY(list.Check(0));
    QTest::keyClick(&list, Qt::Key_Down);
    QVERIFY(framed(1) && !framed(0));
    QTest::keyClick(&list, Qt::Key_Space);
    QVERIFY(list.Check(1) && !list.Check(2));
    before.setFocus();
    QVERIFY(!framed(1));
    ctl.ClearRows();
  }

  void rowRecordsAreTrackedAndReleased() {
    CAppContext context;
    ListViewWidget list(1, nullptr);
    list.InsertColumn(0, u"#", 30);
    ListViewCtl ctl;
    ctl.Attach(&context, &list);
    QVERIFY(ctl.ClearRows());  // empty: nothing to release, nothing to delete
    QCOMPARE(MemInUse(&context), std::int64_t(0));
    for (int i = 0; i < 3; ++i) QCOMPARE(ctl.AppendRow(), i);
    QVERIFY(MemInUse(&context) >= std::int64_t(3 * 1024));  // 1 KiB blocks
    QVERIFY(ctl.SetRowData(&context, 2));
    QCOMPARE(ctl.RowData(2), static_cast<void*>(&context));
    QVERIFY(!ctl.SetRowData(&context, 3));
    ctl.ReleaseRows();
    QCOMPARE(MemInUse(&context), std::int64_t(0));
    QCOMPARE(list.ItemCount(), 3);  // the items stay
    QVERIFY(!ctl.Row(0));
    QVERIFY(ctl.SetRowData(nullptr, 0));  // a new record for an item without one
    QVERIFY(ctl.ClearRows());
    QCOMPARE(list.ItemCount(), 0);
    QCOMPARE(MemInUse(&context), std::int64_t(0));
  }

  void rowsWithoutMemory() {
    CAppContext context;
    ListViewWidget list(1, nullptr);
    ListViewCtl ctl;
    ctl.Attach(&context, &list);
    MemFailAfter(1);
    QCOMPARE(ctl.AppendRow(), 0);  // inserted without a record
    QVERIFY(!ctl.Row(0));
    MemFailAfter(1);
    QVERIFY(!ctl.SetRowData(&context, 0));
    MemFailAfter(0);
    QVERIFY(ctl.SetRowData(&context, 0));
    ctl.ClearRows();

    // Without a context the records come from the plain heap and count nowhere.
    ListViewCtl plain;
    plain.Attach(nullptr, &list);
    QCOMPARE(plain.AppendRow(), 0);
    QVERIFY(plain.Row(0));
    QCOMPARE(plain.Row(0)->showSelection, std::uint8_t(1));
    QCOMPARE(plain.Row(0)->useRefs, std::uint8_t(1));
    QVERIFY(plain.Row(0)->pText == plain.pText);
    plain.ClearRows();
    QCOMPARE(MemInUse(&context), std::int64_t(0));
  }

  void checkBoxesAndImages() {
    ListViewWidget list(1, nullptr);
    ListViewCtl ctl;
    ctl.Attach(context_.get(), &list);
    list.InsertColumn(0, u"#", 30);
    ctl.AppendRow();
    QVERIFY(!list.SetCheck(0, true));  // no check boxes yet
    ctl.ApplyStandardLook(true, true);
    QVERIFY(list.ExtendedStyle() & LVS_EX_FULLROWSELECT);
    QVERIFY(list.SetCheck(0, true));
    QVERIFY(list.Check(0));
    QCOMPARE(list.Images(), &context_->ui->imageList);
    QVERIFY(list.SetItemImage(0, 4));
    QCOMPARE(list.ItemImage(0), 4);
    QVERIFY(!list.topLevelItem(0)->icon(0).isNull());
    QVERIFY(list.SetItemImage(0, 9));  // no such image: none shown
    QVERIFY(list.topLevelItem(0)->icon(0).isNull());
    QCOMPARE(ctl.pFont, &context_->ui->fontNormal);
    QCOMPARE(list.font(), context_->ui->fontNormal);
    ctl.ClearRows();
  }
};

QTEST_MAIN(ListViewTest)
#include "list_view_test.moc"
