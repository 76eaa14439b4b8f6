#pragma once
// The language of the texts: chosen once at start-up from the environment, or by a test.
#include <functional>

#include "resources/string_table.h"

namespace tarvik {

// The language FindString and StrLoad use. Russian until set.
Language CurrentLanguage();
// Set before any thread but the caller's reads a text; the windowed program also installs
// Qt's catalogue to match (ui/qt_setup.h).
void SetLanguage(Language language);

// The language of an environment, `get` reading one variable (null when unset):
// TARVIK_LANG "ru" or "en" decides; otherwise the locale of messages (the first set of
// LC_ALL, LC_MESSAGES, LANG) and, unless that locale is C or POSIX, the list in LANGUAGE
// before it, as gettext reads them. Russian for "ru", English for anything else.
Language LanguageFromVariables(const std::function<const char*(const char*)>& get);
// The same from the process's environment.
Language LanguageFromEnvironment();

}  // namespace tarvik
