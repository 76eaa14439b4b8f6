#pragma once
// The folders the Open and Save dialogs start in, remembered across runs in the settings file
// in a section of the program's own ("Folders", keys "Open" and "Save"). The parameter sets'
// saves keep it as they keep every section they do not own; the Windows program ignores it.
#include <QSize>
#include <string>
#include <string_view>

namespace tarvik {

inline constexpr char16_t kOpenFolderKey[] = u"Open";
inline constexpr char16_t kSaveFolderKey[] = u"Save";
// The sizes of the Open and Save dialogs, as "WIDTHxHEIGHT" in the same section.
inline constexpr char16_t kOpenSizeKey[] = u"OpenSize";
inline constexpr char16_t kSaveSizeKey[] = u"SaveSize";

// The folder remembered under `key`; empty when there is none or the file cannot be read.
std::u16string ReadRememberedFolder(std::u16string_view iniPath, std::u16string_view key);
// Remembers `folder` under `key`. False, with the file untouched, when it cannot be read or
// written, or when the folder's name cannot stand on one line.
bool RememberFolder(std::u16string_view iniPath, std::u16string_view key,
                    std::u16string_view folder);

// A size remembered under `key`; empty when there is none or it does not read as one.
QSize ReadRememberedSize(std::u16string_view iniPath, std::u16string_view key);
// Remembers `size` under `key`, as RememberFolder remembers a folder.
bool RememberSize(std::u16string_view iniPath, std::u16string_view key, const QSize& size);

// The folder part of a file's path (without the last separator); empty when it has none.
std::u16string FolderOf(std::u16string_view filePath);

}  // namespace tarvik
