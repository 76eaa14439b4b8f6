#include "ui/main_prompts.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QScreen>
#include <QStringList>

#include "ui/framework/qt_text.h"
#include "ui/program.h"

namespace tarvik {
namespace {

// Qt reads the patterns from the last parentheses of a filter; the description the user reads
// keeps its own text (HideNameFilterDetails hides the appended part).
QStringList QtFilters(const std::vector<FileType>& types) {
  QStringList filters;
  for (const FileType& t : types) {
    QString patterns = ToQString(t.pattern);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    filters << ToQString(t.description) + QStringLiteral(" (") + patterns.simplified() +
                   QLatin1Char(')');
  }
  return filters;
}

std::optional<std::u16string> Chosen(const QFileDialog& dialog) {
  const QStringList files = dialog.selectedFiles();
  if (files.isEmpty()) return std::nullopt;
  std::u16string path = FromQString(QDir::toNativeSeparators(files.first()));
  if (path.empty() || path.size() > kMaxDialogPath) return std::nullopt;
  return path;
}

void StartIn(QFileDialog& dialog, const std::u16string& folder) {
  const QString dir = ToQString(folder);
  if (!dir.isEmpty() && QFileInfo(dir).isDir()) dialog.setDirectory(dir);
}

// The file list with its columns, at `size`, or at one that shows them (name, size, type and
// date) in the dialog's font, within the screen.
void ShowColumns(QFileDialog& dialog, const QSize& size) {
  dialog.setViewMode(QFileDialog::Detail);
  QSize want = size;
  if (want.isEmpty()) {
    const QFontMetrics fm(dialog.font());
    want = QSize(fm.averageCharWidth() * 120, fm.height() * 32);
  }
  if (const QScreen* screen = dialog.screen())
    want = want.boundedTo(screen->availableGeometry().size() * 9 / 10);
  dialog.resize(want.expandedTo(dialog.minimumSizeHint()));
}

}  // namespace

// While the program is being ended nothing new is asked or told: every question has its
// negative answer.

std::optional<std::u16string> QtPrompts::OpenFile(QWidget* owner,
                                                  const std::vector<FileType>& types,
                                                  const std::u16string& folder) {
  if (ShutdownRequested()) return std::nullopt;
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  StartIn(dialog, folder);
  ShowColumns(dialog, openDialogSize);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList filters = QtFilters(types);
  dialog.setNameFilters(filters);
  if (!filters.isEmpty()) dialog.selectNameFilter(filters.first());
  const int answer = dialog.exec();
  openDialogSize = dialog.size();
  if (answer != QDialog::Accepted) return std::nullopt;
  return Chosen(dialog);
}

std::optional<SaveChoice> QtPrompts::SaveFile(QWidget* owner, const std::vector<FileType>& types,
                                              int typeIndex, const std::u16string& name,
                                              const std::u16string& folder) {
  if (ShutdownRequested()) return std::nullopt;
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  StartIn(dialog, folder);
  ShowColumns(dialog, saveDialogSize);
  // The program asks its own overwrite question.
  dialog.setOption(QFileDialog::DontConfirmOverwrite);
  dialog.setOption(QFileDialog::HideNameFilterDetails);
  const QStringList filters = QtFilters(types);
  dialog.setNameFilters(filters);
  if (typeIndex >= 1 && typeIndex <= filters.size())
    dialog.selectNameFilter(filters[typeIndex - 1]);
  dialog.selectFile(ToQString(name));
  const int answer = dialog.exec();
  saveDialogSize = dialog.size();
  if (answer != QDialog::Accepted) return std::nullopt;
  std::optional<std::u16string> path = Chosen(dialog);
  if (!path) return std::nullopt;
  SaveChoice choice;
  choice.path = std::move(*path);
  // The dialog names the chosen type as shown, without the appended patterns.
  const QString chosen = dialog.selectedNameFilter();
  for (std::size_t i = 0; i < types.size(); ++i) {
    if (chosen == filters[static_cast<qsizetype>(i)] || chosen == ToQString(types[i].description)) {
      choice.typeIndex = static_cast<int>(i) + 1;
      break;
    }
  }
  return choice;
}

std::optional<std::u16string> QtPrompts::ChooseFolder(QWidget* owner,
                                                      const std::u16string& folder) {
  if (ShutdownRequested()) return std::nullopt;
  QFileDialog dialog(owner);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly);
  StartIn(dialog, folder);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return Chosen(dialog);
}

bool QtPrompts::AskYesNo(QWidget* owner, const std::u16string& text) {
  if (ShutdownRequested()) return false;
  QMessageBox box(QMessageBox::Question, QString(), ToDisplayLines(ToQString(text)),
                  QMessageBox::Yes | QMessageBox::No, owner);
  box.setDefaultButton(QMessageBox::Yes);
  return box.exec() == QMessageBox::Yes;
}

void QtPrompts::Warn(QWidget* owner, const std::u16string& text) {
  if (ShutdownRequested()) return;
  QMessageBox box(QMessageBox::Warning, QString(), ToDisplayLines(ToQString(text)), QMessageBox::Ok,
                  owner);
  box.exec();
}

std::optional<std::u16string> QtPrompts::AskText(QWidget* owner, const std::u16string& title,
                                                 const std::u16string& label,
                                                 const std::u16string& text, int maxLength) {
  if (ShutdownRequested()) return std::nullopt;
  QInputDialog dialog(owner);
  dialog.setInputMode(QInputDialog::TextInput);
  dialog.setWindowTitle(ToQString(title));
  dialog.setLabelText(ToQString(label));
  dialog.setTextValue(ToQString(text));
  if (auto* edit = dialog.findChild<QLineEdit*>()) edit->setMaxLength(maxLength);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return FromQString(dialog.textValue());
}

}  // namespace tarvik
