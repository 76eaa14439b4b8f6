#include "core/language.h"

#include <atomic>
#include <cstdlib>
#include <string_view>

namespace tarvik {
namespace {

std::atomic<Language> current{Language::Russian};

// The language part of a locale name: "ru" of "ru_RU.UTF-8@latin".
std::string_view LanguageCode(std::string_view locale) {
  return locale.substr(0, locale.find_first_of("_.@"));
}

bool IsCLocale(std::string_view locale) {
  return locale == "C" || locale == "POSIX" || locale.starts_with("C.");
}

}  // namespace

Language CurrentLanguage() {
  return current.load(std::memory_order_relaxed);
}

void SetLanguage(Language language) {
  current.store(language, std::memory_order_relaxed);
}

Language LanguageFromVariables(const std::function<const char*(const char*)>& get) {
  auto value = [&](const char* name) {
    const char* v = get(name);
    return std::string_view(v ? v : "");
  };
  const std::string_view forced = value("TARVIK_LANG");
  if (forced == "ru") return Language::Russian;
  if (forced == "en") return Language::English;
  std::string_view locale = value("LC_ALL");
  if (locale.empty()) locale = value("LC_MESSAGES");
  if (locale.empty()) locale = value("LANG");
  // An unset locale is C, whose messages are the untranslated ones: LANGUAGE does not apply,
  // so `LC_ALL=C program` gives the same text in every session.
  if (locale.empty() || IsCLocale(locale)) return Language::English;
  // LANGUAGE, when set, is the list to choose from: its first entry that is one of ours.
  std::string_view list = value("LANGUAGE");
  if (!list.empty()) {
    for (std::size_t start = 0; start <= list.size();) {
      std::size_t end = list.find(':', start);
      if (end == std::string_view::npos) end = list.size();
      const std::string_view code = LanguageCode(list.substr(start, end - start));
      if (code == "ru") return Language::Russian;
      if (code == "en") return Language::English;
      start = end + 1;
    }
    return Language::English;
  }
  return LanguageCode(locale) == "ru" ? Language::Russian : Language::English;
}

Language LanguageFromEnvironment() {
  return LanguageFromVariables([](const char* name) { return std::getenv(name); });
}

}  // namespace tarvik
