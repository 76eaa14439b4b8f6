#pragma once
// Where the settings file lives.
#include <string>

namespace tarvik {

// Where Tarvik.ini lives: beside the executable; when that folder is not writable, or the
// program is installed (its desktop entry lies in <prefix>/share/applications beside
// <prefix>/bin), and the folder holds no Tarvik.ini, in the per-user settings folder
// ($XDG_CONFIG_HOME/Tarvik, else ~/.config/Tarvik; %APPDATA%\Tarvik on Windows). Empty when
// nothing can be determined.
struct SettingsPathInput {
  std::u16string exePath;  // full path of the running executable; may be empty
  bool exeDirWritable = true;
  bool installed = false;
  bool iniBesideExists = false;
  std::u16string userConfigDir;  // $XDG_CONFIG_HOME, else ~/.config (or %APPDATA%); may be empty
};
std::u16string SettingsPathFor(const SettingsPathInput& in);
// The same, from the running process and its environment.
std::u16string DefaultSettingsPath();
// Full path of the running executable; empty when it cannot be determined.
std::u16string ExecutablePath();

}  // namespace tarvik
