#include "ui/remembered_folders.h"

#include "params/ini_file.h"

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

std::u16string FolderOf(std::u16string_view filePath) {
  const std::size_t slash = filePath.find_last_of(u"\\/");
  if (slash == std::u16string_view::npos) return {};
  return std::u16string(filePath.substr(0, slash == 0 ? 1 : slash));
}

}  // namespace tarvik
