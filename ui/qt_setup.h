#pragma once
// What the windowed program sets up in Qt before its first window.
#include <QString>

#include "core/language.h"

class QCoreApplication;

namespace tarvik {

// The language of the program's texts (core/language.h) and of Qt's own (file dialogs,
// Yes/No buttons, its messages): for Russian, Qt's Russian catalogue ("qtbase_ru.qm" from
// `qtFolder`, by default Qt's translations folder) is installed; for English, none is (Qt's
// own texts are English). Call it before the windows are made; a test may call it again to
// switch. False when the Russian catalogue is missing: Qt's texts then stay English.
bool UseLanguage(QCoreApplication& app, Language language, const QString& qtFolder = {});

// The command line `tarvik [--help] [--version] [FILE]` as left by QApplication: --help and
// --version print and end the program, an unknown option is told and ends it with status 1
// (Qt's texts). Returns FILE as an absolute path, byte for byte (see platform::PathFromNative),
// or empty; a second FILE is ignored.
std::u16string StartFileArgument(int argc, char** argv);
// Whether the command line asks for --help (-h, -?, --help-all) or --version (-v) before any
// "--": the answer is text alone, for which no window system is needed.
bool AsksOnlyForText(int argc, char** argv);

}  // namespace tarvik
