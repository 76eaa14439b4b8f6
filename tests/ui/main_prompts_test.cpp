// Qt's file dialogs and message boxes as the main window asks them: the file types with their
// patterns, the preselected type and name, no overwrite question of the save dialog itself,
// the chosen type's number, Yes/No and the warning.
#include <QAbstractButton>
#include <QFileDialog>
#include <QHeaderView>
#include <QLineEdit>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>
#include <functional>

#include "ui/framework/qt_text.h"
#include "ui/main_prompts.h"

using namespace tarvik;

namespace {

// Runs `act` on the first modal widget of type T that shows up.
template <class T>
void WhenShown(std::function<void(T*)> act) {
  auto* poll = new QTimer(qApp);  // deletes itself once it has acted
  QObject::connect(poll, &QTimer::timeout, [poll, act] {
    auto* w = qobject_cast<T*>(QApplication::activeModalWidget());
    if (!w || !w->isVisible()) return;
    poll->stop();
    poll->deleteLater();
    act(w);
  });
  poll->start(5);
}

}  // namespace

class MainPromptsTest : public QObject {
  Q_OBJECT

  QTemporaryDir dir_;

 private slots:
  void openOffersTheTypesAndReturnsTheFile() {
    const QString file = dir_.filePath(QStringLiteral("cams.bkm"));
    QFile f(file);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QStringList filters;
    QString selected, startedIn;
    WhenShown<QFileDialog>([&](QFileDialog* d) {
      startedIn = d->directory().absolutePath();
      filters = d->nameFilters();
      selected = d->selectedNameFilter();
      QCOMPARE(d->fileMode(), QFileDialog::ExistingFile);
      d->selectFile(file);
      static_cast<QDialog*>(d)->accept();
    });
    QtPrompts prompts;
    const auto path = prompts.OpenFile(
        nullptr, {{u"Text files (*.txt; *.bkm)", u"*.txt;*.bkm"}, {u"All files (*.*)", u"*.*"}},
        FromQString(dir_.path()));
    QVERIFY(path);
    QCOMPARE(startedIn, QDir(dir_.path()).absolutePath());
    QCOMPARE(ToQString(*path), file);
    QCOMPARE(filters, (QStringList{QStringLiteral("Text files (*.txt; *.bkm) (*.txt *.bkm)"),
                                   QStringLiteral("All files (*.*) (*.*)")}));
    QCOMPARE(selected, QStringLiteral("Text files (*.txt; *.bkm)"));  // shown without patterns

    WhenShown<QFileDialog>([](QFileDialog* d) { d->reject(); });
    QVERIFY(!prompts.OpenFile(nullptr, {{u"All files (*.*)", u"*.*"}}, u"/no/such/folder"));

    // The list shows its columns whole (name, size, type, date); a size the dialog was left
    // at is where it opens next, and the size it is left at comes back.
    for (const QSize size : {QSize(), QSize(720, 480)}) {
      prompts.openDialogSize = size;
      QSize shownAt;
      bool columnsFit = false;
      WhenShown<QFileDialog>([&](QFileDialog* d) {
        shownAt = d->size();
        const QTreeView* view = d->findChild<QTreeView*>();
        columnsFit = view && view->isVisible();
        for (int i = 0; view && i < view->header()->count(); ++i)
          columnsFit = columnsFit && (view->header()->isSectionHidden(i) ||
                                      view->header()->sectionViewportPosition(i) +
                                              view->header()->sectionSize(i) <=
                                          view->viewport()->width());
        d->resize(shownAt + QSize(40, 30));
        d->reject();
      });
      prompts.OpenFile(nullptr, {{u"All files (*.*)", u"*.*"}}, FromQString(dir_.path()));
      if (size.isEmpty()) QVERIFY(columnsFit);
      if (!size.isEmpty()) QCOMPARE(shownAt, size);
      QCOMPARE(prompts.openDialogSize, shownAt + QSize(40, 30));
    }
  }

  void saveAsksNoOverwriteQuestionAndNamesTheType() {
    const QString existing = dir_.filePath(QStringLiteral("POIs.txt"));
    QFile f(existing);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    bool noOwnQuestion = false;
    QString selected, typed;
    WhenShown<QFileDialog>([&](QFileDialog* d) {
      noOwnQuestion = d->testOption(QFileDialog::DontConfirmOverwrite);
      selected = d->selectedNameFilter();
      if (auto* name = d->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
        typed = name->text();
      d->setDirectory(dir_.path());
      d->selectFile(existing);
      static_cast<QDialog*>(d)->accept();
    });
    QtPrompts prompts;
    const auto choice = prompts.SaveFile(
        nullptr, {{u"Nissan (*.csv)", u"*.csv"}, {u"Текст (*.txt)", u"*.txt"}}, 2, u"POIs", u"");
    QVERIFY(noOwnQuestion);
    QCOMPARE(selected, QStringLiteral("Текст (*.txt)"));
    QCOMPARE(typed, QStringLiteral("POIs"));
    QVERIFY(choice);
    QCOMPARE(ToQString(choice->path), existing);
    QCOMPARE(choice->typeIndex, 2);
  }

  void questionAndWarning() {
    QtPrompts prompts;
    QString text, title;
    WhenShown<QMessageBox>([&](QMessageBox* box) {
      text = box->text();
      title = box->windowTitle();
      QVERIFY(box->button(QMessageBox::Yes) && box->button(QMessageBox::No));
      box->button(QMessageBox::Yes)->click();
    });
    QVERIFY(prompts.AskYesNo(nullptr, u"Файл: a уже существует\r\nПродолжить?"));
    QCOMPARE(text, QStringLiteral("Файл: a уже существует\nПродолжить?"));
    QVERIFY(title.isEmpty());  // no caption
    WhenShown<QMessageBox>([](QMessageBox* box) { box->button(QMessageBox::No)->click(); });
    QVERIFY(!prompts.AskYesNo(nullptr, u"?"));
    WhenShown<QMessageBox>([&](QMessageBox* box) {
      QCOMPARE(box->icon(), QMessageBox::Warning);
      text = box->text();
      box->accept();
    });
    prompts.Warn(nullptr, u"Извините.");
    QCOMPARE(text, QStringLiteral("Извините."));
  }
};

QTEST_MAIN(MainPromptsTest)
#include "main_prompts_test.moc"
