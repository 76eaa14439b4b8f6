#include "core/settings_path.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "core/text.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace tarvik {
namespace {

std::u16string FromNative(const std::filesystem::path& p) {
#ifdef _WIN32
  const std::wstring& w = p.native();
  return std::u16string(w.begin(), w.end());
#else
  return Utf8ToUtf16(p.native());
#endif
}

}  // namespace

std::u16string ExecutablePath() {
#ifdef _WIN32
  std::wstring buf(4096, L'\0');
  DWORD n = GetModuleFileNameW(nullptr, buf.data(), static_cast<DWORD>(buf.size()));
  if (n == 0 || n >= buf.size()) return {};
  buf.resize(n);
  return std::u16string(buf.begin(), buf.end());
#else
  std::error_code ec;
  auto p = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return FromNative(p);
#endif
}

namespace {

std::u16string UserConfigDir() {
#ifdef _WIN32
  if (const wchar_t* appData = _wgetenv(L"APPDATA"); appData && *appData)
    return std::u16string(appData, appData + wcslen(appData));
  return {};
#else
  if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') return Utf8ToUtf16(xdg);
  if (const char* home = std::getenv("HOME"); home && *home)
    return Utf8ToUtf16(std::string(home) + "/.config");
  return {};
#endif
}

bool IsSeparator(char16_t c) {
#ifdef _WIN32
  return c == u'\\' || c == u'/';
#else
  return c == u'/';
#endif
}

}  // namespace

std::u16string SettingsPathFor(const SettingsPathInput& in) {
  std::size_t cut = in.exePath.size();
  while (cut > 0 && !IsSeparator(in.exePath[cut - 1])) --cut;
  if (cut == 0) return {};  // not a full path: no folder to put the file into
  std::u16string beside = in.exePath.substr(0, cut) + u"Tarvik.ini";
  // An installed program run by root, or installed under ~/.local, could write beside
  // itself, but a bin folder is no place for settings.
  if ((in.exeDirWritable && !in.installed) || in.iniBesideExists || in.userConfigDir.empty())
    return beside;
#ifdef _WIN32
  return in.userConfigDir + u"\\Tarvik\\Tarvik.ini";
#else
  return in.userConfigDir + u"/Tarvik/Tarvik.ini";
#endif
}

std::u16string DefaultSettingsPath() {
  SettingsPathInput in;
  in.exePath = ExecutablePath();
  if (in.exePath.empty()) return {};
  std::filesystem::path exe = ToFsPath(in.exePath);
  std::error_code ec;
  in.iniBesideExists = std::filesystem::exists(exe.parent_path() / "Tarvik.ini", ec);
  in.installed = std::filesystem::exists(
      exe.parent_path().parent_path() / "share/applications/org.tarvik.Tarvik.desktop", ec);
#ifdef _WIN32
  in.exeDirWritable = true;  // a probe file would be needed; the installed case keeps the rule
#else
  in.exeDirWritable = ::access(exe.parent_path().c_str(), W_OK) == 0;
#endif
  in.userConfigDir = UserConfigDir();
  return SettingsPathFor(in);
}

}  // namespace tarvik
