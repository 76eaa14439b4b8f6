#include "core/app_context.h"

#include <chrono>
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

constexpr std::uint32_t kFirstControlId = 1124;  // the last one handed out before the first
constexpr std::uint32_t kLastControlId = 1524;

std::u16string FromNative(const std::filesystem::path& p) {
#ifdef _WIN32
  const std::wstring& w = p.native();
  return std::u16string(w.begin(), w.end());
#else
  return Utf8ToUtf16(p.native());
#endif
}

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

std::int64_t ClockSeed() {
  using namespace std::chrono;
  return duration_cast<seconds>(system_clock::now().time_since_epoch()).count();
}

std::u16string SettingsPathFor(const SettingsPathInput& in) {
  std::size_t cut = in.exePath.size();
  while (cut > 0 && !IsSeparator(in.exePath[cut - 1])) --cut;
  if (cut == 0) return {};  // not a full path: no folder to put the file into
  std::u16string beside = in.exePath.substr(0, cut) + u"Tarvik.ini";
  if (in.exeDirWritable || in.iniBesideExists || in.userConfigDir.empty()) return beside;
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
#ifdef _WIN32
  in.exeDirWritable = true;  // a probe file would be needed; the installed case keeps the rule
#else
  in.exeDirWritable = ::access(exe.parent_path().c_str(), W_OK) == 0;
#endif
  in.userConfigDir = UserConfigDir();
  return SettingsPathFor(in);
}

void InitContext(CAppContext& context, std::u16string_view iniPath) {
  context.resModule = nullptr;
  {
    std::lock_guard<std::mutex> guard(context.controlIdLock);
    context.nextControlId = kFirstControlId;
  }
  context.colorLight = 0xFFFFFF;
  context.colorDark = 0x323232;
  context.iniPath = iniPath.empty() ? DefaultSettingsPath() : std::u16string(iniPath);
  context.seed.store(ClockSeed());
}

void ReleaseContext(CAppContext& context) {
  context.ui.reset();
  context.iniPath.clear();
  context.iniPath.shrink_to_fit();
}

std::int64_t NewItemId(CAppContext* context) {
  if (!context) return 0;
  // Wraps instead of overflowing: a corrupt seed must not make the increment undefined.
  auto next = [](std::int64_t v) {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(v) + 1);
  };
  std::int64_t v = context->seed.load();
  while (!context->seed.compare_exchange_weak(v, next(v))) {
  }
  return next(v);
}

void RaiseSeed(CAppContext* context, std::int64_t id) {
  if (!context) return;
  std::int64_t v = context->seed.load();
  while (v < id && !context->seed.compare_exchange_weak(v, id)) {
  }
}

std::uint32_t TakeControlId(CAppContext* context) {
  if (!context) return 0;
  std::lock_guard<std::mutex> guard(context->controlIdLock);
  if (context->nextControlId < kLastControlId)
    ++context->nextControlId;
  else
    context->nextControlId = kLastControlId;
  return context->nextControlId;
}

}  // namespace tarvik
