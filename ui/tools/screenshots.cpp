// Renders every window built so far into PNG files, without a display:
//   tarvik_screenshots <output folder>
// Each window is built from its template the way the program builds it, with a little sample
// content where the window would show some, and grabbed as it would be painted.
#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <cstdio>
#include <functional>
#include <string>

#include "core/app_context.h"
#include "resources/dialog_templates.h"
#include "ui/framework/dlg_controls.h"
#include "ui/framework/list_view.h"
#include "ui/framework/qt_text.h"
#include "ui/ui_resources.h"

using namespace tarvik;

namespace {

// Gives a list view the columns a dialog gives it, and the standard look.
void Columns(ListViewCtl& ctl, CAppContext* context, DlgWindow* w, int id,
             std::initializer_list<std::pair<std::uint32_t, int>> columns, bool checks,
             bool images) {
  auto* list = qobject_cast<ListViewWidget*>(w->Item(id));
  if (!list) return;
  ctl.Attach(context, list);
  ctl.ApplyStandardLook(checks, images);
  int i = 0;
  for (const auto& [textId, width] : columns) list->InsertColumn(i++, StrLoad(textId), width);
}

bool Save(QWidget* window, const QString& path) {
  window->show();
  QApplication::processEvents();
  const bool ok = window->grab().save(path);
  std::printf("%s %s\n", ok ? "wrote" : "FAILED", qPrintable(path));
  window->hide();
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  if (argc < 2) {
    std::fprintf(stderr, "usage: tarvik_screenshots <output folder>\n");
    return 2;
  }
  const QString dir = QString::fromLocal8Bit(argv[1]);
  QDir().mkpath(dir);
  CAppContext context;
  InitUi(context);
  bool ok = true;

  for (const DlgTemplateDef& tpl : DialogTemplates()) {
    DlgWindow w(tpl, &context, nullptr);
    ListViewCtl a, b;
    switch (tpl.id) {
      case 103:
        SetDlgItemText(&w, 1045, StrLoad(682, u"1.0.0.5", u"Beta"));
        break;
      case 129: {
        SetDialogTitle(&w, StrLoad(103, u"1.0.0.5", u"Beta"));
        Columns(a, &context, &w, 1002, {{580, 30}, {581, 200}, {587, 120}}, true, false);
        Columns(b, &context, &w, 1003, {{580, 30}, {583, 60}, {587, 90}, {582, 400}}, true, false);
        const char16_t* areas[][2] = {
            {u"Москва", u"1532"}, {u"Санкт-Петербург", u"812"}, {u"Казань", u"0"}};
        for (auto& row : areas) {
          int r = a.AppendRow();
          a.list->SetItemText(r, 1, row[0]);
          a.list->SetItemText(r, 2, row[1]);
        }
        const char16_t* types[][3] = {{u"1", u"910", u"Камера скорости {speed}"},
                                      {u"2", u"377", u"Камера в спину"},
                                      {u"10", u"57", u"Пост ДПС"}};
        for (auto& row : types) {
          int r = b.AppendRow();
          b.list->SetCheck(r, true);
          for (int c = 0; c < 3; ++c) b.list->SetItemText(r, c + 1, row[c]);
        }
        b.list->SetItemState(1, true, true);
        ComboAddString(&w, 1019, u"Стандартная", 0);
        ComboSetCurSel(&w, 1019, 0);
        SetDlgItemText(&w, 1022, StrLoad(604, 93.5));
        break;
      }
      case 130:
        SetDlgItemText(&w, 1001, StrLoad(592));
        SetProgressPos(&w, 1000, 40);
        break;
      case 137:
        Columns(a, &context, &w, 1003, {{580, 30}, {581, 180}}, false, true);
        break;
      case 138:
        Columns(a, &context, &w, 1011, {{580, 30}, {581, 180}}, false, true);
        Columns(b, &context, &w, 1015, {{580, 30}, {583, 70}, {582, 200}}, false, true);
        break;
      case 141:
        Columns(a, &context, &w, 1027, {{580, 30}, {581, 180}}, false, true);
        ComboAddString(&w, 1041, StrLoad(560), 0);
        ComboAddString(&w, 1041, StrLoad(561), 65001);
        break;
      case 142:
        Columns(a, &context, &w, 1042, {{580, 30}, {581, 180}}, false, true);
        break;
      default:
        break;
    }
    ok = Save(&w, QStringLiteral("%1/dialog_%2.png").arg(dir).arg(tpl.id)) && ok;
    a.ReleaseRows();
    b.ReleaseRows();
  }
  context.ui.reset();
  return ok ? 0 : 1;
}
