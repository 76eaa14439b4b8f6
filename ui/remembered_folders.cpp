#include "ui/remembered_folders.h"

#include <QStringList>

#include "params/ini_file.h"
#include "ui/framework/qt_text.h"

namespace tarvik {
namespace {

constexpr char16_t kSection[] = u"Folders";

}  // namespace

std::u16string ReadRememberedFolder(std::u16string_view iniPath, std::u16string_view key) {
  if (iniPath.empty()) return {};
  IniFile ini;
  std::u16string_view value;
  if (!ini.Load(iniPath) || !ini.GetValue(kSection, key, value)) return {};
  return std::u16string(value);
}

bool RememberFolder(std::u16string_view iniPath, std::u16string_view key,
                    std::u16string_view folder) {
  if (iniPath.empty() || folder.empty() ||
      folder.find_first_of(std::u16string_view(u"\r\n\0", 3)) != std::u16string_view::npos)
    return false;
  IniFile ini;
  if (!ini.Load(iniPath)) return false;    // a file that cannot be read is never overwritten
  ini.WriteString(kSection, key, folder);  // quoted by the file when its ends are blanks
  return ini.Save(iniPath);
}

QSize ReadRememberedSize(std::u16string_view iniPath, std::u16string_view key) {
  const QStringList parts = ToQString(ReadRememberedFolder(iniPath, key)).split(QLatin1Char('x'));
  bool w = false, h = false;
  const QSize size = parts.size() == 2 ? QSize(parts[0].toInt(&w), parts[1].toInt(&h)) : QSize();
  return w && h && size.width() > 0 && size.height() > 0 && size.width() < 100000 &&
                 size.height() < 100000
             ? size
             : QSize();
}

bool RememberSize(std::u16string_view iniPath, std::u16string_view key, const QSize& size) {
  if (size.isEmpty()) return false;
  return RememberFolder(iniPath, key,
                        FromQString(QStringLiteral("%1x%2").arg(size.width()).arg(size.height())));
}

std::u16string FolderOf(std::u16string_view filePath) {
  const std::size_t slash = filePath.find_last_of(u"\\/");
  if (slash == std::u16string_view::npos) return {};
  return std::u16string(filePath.substr(0, slash == 0 ? 1 : slash));
}

}  // namespace tarvik
