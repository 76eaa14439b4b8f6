// The windowed program. It takes no arguments of its own; Qt's standard ones still apply.
#include <QApplication>

#include "ui/program.h"
#include "ui/qt_setup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvik"));
  tarvik::UseRussianQt(app);  // without Qt's catalogue its own texts stay English
  return tarvik::RunWindowedProgram();
}
