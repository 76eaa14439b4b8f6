#include "ui/qt_setup.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QTranslator>

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

}  // namespace tarvik
