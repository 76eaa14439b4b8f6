#include "ui/qt_setup.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QLibraryInfo>
#include <QStringList>
#include <QTranslator>
#include <filesystem>
#include <string>
#include <system_error>

#include "core/platform_files.h"
#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/framework/qt_text.h"

namespace tarvik {

bool UseRussianQt(QCoreApplication& app, const QString& folder) {
  const QString dir =
      folder.isEmpty() ? QLibraryInfo::path(QLibraryInfo::TranslationsPath) : folder;
  auto* translator = new QTranslator(&app);  // lives as long as the application
  if (!translator->load(QStringLiteral("qtbase_ru"), dir)) {
    delete translator;
    return false;
  }
  return QCoreApplication::installTranslator(translator);
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
