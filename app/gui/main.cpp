// The windowed program. It takes no arguments of its own; Qt's standard ones still apply.
#include <QApplication>

#include "ui/program.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvik"));
  return tarvik::RunWindowedProgram();
}
