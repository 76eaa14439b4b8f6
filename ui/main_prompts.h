#pragma once
// What the main window asks the user outside its own window: the open and save file dialogs,
// the Yes/No question and the warning box. One small interface, so that tests answer in place
// of a person; the program uses Qt's dialogs (QtPrompts).
#include <QSize>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace tarvik {

// One entry of a file dialog's type list: what the user reads and the patterns, ';'-separated.
struct FileType {
  std::u16string description;
  std::u16string pattern;
};

struct SaveChoice {
  std::u16string path;
  int typeIndex = 0;  // 1-based position of the chosen type; 0 when none
};

class MainPrompts {
 public:
  virtual ~MainPrompts() = default;

  // The sizes the Open and Save dialogs open at; each dialog leaves the size the user gave it
  // here. Empty: a size that shows the columns of the file list (name, size, type, date).
  QSize openDialogSize, saveDialogSize;

  // An existing file; nothing when the user cancels. The first type is preselected. The
  // dialog starts in `folder` when that exists.
  virtual std::optional<std::u16string> OpenFile(QWidget* owner, const std::vector<FileType>& types,
                                                 const std::u16string& folder) = 0;
  // A file name in an existing folder (the file need not exist; the dialog asks nothing about
  // overwriting); nothing when the user cancels. Starts in `folder` when that exists.
  virtual std::optional<SaveChoice> SaveFile(QWidget* owner, const std::vector<FileType>& types,
                                             int typeIndex, const std::u16string& name,
                                             const std::u16string& folder) = 0;
  // An existing folder; nothing when the user cancels (or where no one can be asked). Starts
  // in `folder` when that exists.
  virtual std::optional<std::u16string> ChooseFolder(QWidget* owner, const std::u16string& folder) {
    (void)owner;
    (void)folder;
    return std::nullopt;
  }
  // A question with Yes and No and no caption; true only for Yes.
  virtual bool AskYesNo(QWidget* owner, const std::u16string& text) = 0;
  // A warning with an OK button and no caption.
  virtual void Warn(QWidget* owner, const std::u16string& text) = 0;
  // A line of text, `text` offered to start with, at most `maxLength` characters; nothing
  // when the user cancels.
  virtual std::optional<std::u16string> AskText(QWidget* owner, const std::u16string& title,
                                                const std::u16string& label,
                                                const std::u16string& text, int maxLength) = 0;
};

class QtPrompts : public MainPrompts {
 public:
  std::optional<std::u16string> OpenFile(QWidget* owner, const std::vector<FileType>& types,
                                         const std::u16string& folder) override;
  std::optional<SaveChoice> SaveFile(QWidget* owner, const std::vector<FileType>& types,
                                     int typeIndex, const std::u16string& name,
                                     const std::u16string& folder) override;
  std::optional<std::u16string> ChooseFolder(QWidget* owner, const std::u16string& folder) override;
  bool AskYesNo(QWidget* owner, const std::u16string& text) override;
  void Warn(QWidget* owner, const std::u16string& text) override;
  std::optional<std::u16string> AskText(QWidget* owner, const std::u16string& title,
                                        const std::u16string& label, const std::u16string& text,
                                        int maxLength) override;
};

// The longest path the file dialogs hand back, in characters; a longer one counts as none.
constexpr std::size_t kMaxDialogPath = 4095;

}  // namespace tarvik
