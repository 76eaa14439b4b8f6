#include "ui/qt_setup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>
#include <system_error>

#include "core/platform_files.h"
#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/qt_text.h"

namespace tarvik {

bool UseLanguage(QCoreApplication& app, Language language, const QString& qtFolder) {
  SetLanguage(language);
  // The catalogue of an earlier call goes first; a translator is the application's child.
  const QString name = QStringLiteral("tarvik_qt_catalogue");
  if (auto* before = app.findChild<QTranslator*>(name, Qt::FindDirectChildrenOnly)) {
    QCoreApplication::removeTranslator(before);
    std::unique_ptr<QTranslator> gone(before);
  }
  if (language == Language::English) return true;
  const QString dir =
      qtFolder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : qtFolder;
  auto translator = std::make_unique<QTranslator>();
  if (!translator->load(QStringLiteral("qtbase_ru"), dir)) return false;
  translator->setObjectName(name);
  translator->setParent(&app);  // lives as long as the application, or until the next call
  return QCoreApplication::installTranslator(translator.release());
}

bool AsksOnlyForText(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") return false;
    for (std::string_view ask : {"-h", "--help", "-?", "--help-all", "-v", "--version"})
      if (arg == ask) return true;
  }
  return false;
}

std::u16string StartFileArgument(int argc, char** argv) {
  QStringList arguments;
  for (int i = 0; i < argc; ++i) arguments << QString::fromLocal8Bit(argv[i]);
  QCommandLineParser parser;
  parser.setApplicationDescription(LoadQString(STR_CLI_PROGRAM));
  parser.addHelpOption();
  parser.addVersionOption();
  parser.addPositionalArgument(QStringLiteral("FILE"), LoadQString(STR_CLI_TABLE_FILE),
                               QStringLiteral("[FILE]"));
  parser.process(arguments);
  // The positional arguments again, as the bytes the system gave: what does not start with
  // "-" (a lone "-" included), and everything after "--".
  bool options = true;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (options && arg == "--") {
      options = false;
      continue;
    }
    if (options && arg.size() > 1 && arg[0] == '-') continue;
    if (arg.empty()) continue;
    std::string path = arg;
    if (path[0] != '/') {
      std::error_code ec;
      const std::string cwd = std::filesystem::current_path(ec).native();
      if (!ec) path = cwd + (cwd.ends_with('/') ? "" : "/") + path;
    }
    return platform::PathFromNative(path);
  }
  return {};
}

}  // namespace tarvik
