#pragma once
// What the windowed program sets up in Qt before its first window.
#include <QString>

class QCoreApplication;

namespace tarvik {

// The interface is Russian whatever the user's locale, so Qt's own texts (file dialogs,
// Yes/No buttons, its messages) are made Russian too: Qt's Russian catalogue
// ("qtbase_ru.qm" from `folder`, by default Qt's translations folder) is installed. False
// when it is missing; the program then runs with Qt's English texts.
bool UseRussianQt(QCoreApplication& app, const QString& folder = {});

// The command line `tarvik [--help] [--version] [FILE]` as left by QApplication: --help and
// --version print and end the program, an unknown option is told and ends it with status 1
// (Qt's texts). Returns FILE as an absolute path, byte for byte (see platform::PathFromNative),
// or empty; a second FILE is ignored.
std::u16string StartFileArgument(int argc, char** argv);

}  // namespace tarvik
