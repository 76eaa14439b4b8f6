#pragma once
// UTF-16 texts of the engine <-> QString, and the string table as QString.
#include <QString>
#include <cstdint>
#include <string>
#include <string_view>

#include "core/text.h"

namespace tarvik {

inline QString ToQString(std::u16string_view s) {
  return QString(reinterpret_cast<const QChar*>(s.data()), static_cast<qsizetype>(s.size()));
}

inline std::u16string FromQString(const QString& s) {
  return std::u16string(reinterpret_cast<const char16_t*>(s.utf16()),
                        static_cast<std::size_t>(s.size()));
}

// String `id` of the table, formatted with the arguments; empty when missing.
template <class... A>
QString LoadQString(std::uint32_t id, const A&... args) {
  return ToQString(StrLoad(id, args...));
}

// CR LF (the stored form of multi-line texts) <-> LF (what the widgets show).
inline QString ToDisplayLines(QString s) {
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return s;
}
inline QString ToStoredLines(QString s) {
  s.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  s.replace(QLatin1Char('\n'), QStringLiteral("\r\n"));
  return s;
}

}  // namespace tarvik
