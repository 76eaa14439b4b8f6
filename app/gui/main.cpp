// The windowed program: `tarvik [FILE]` opens FILE at start; Qt's standard arguments apply.
#include <QApplication>
#include <new>

#include "core/platform_signals.h"
#include "core/text.h"
#include "resources/string_ids.h"
#include "ui/main_prompts.h"
#include "ui/program.h"
#include "ui/qt_setup.h"

namespace {

// Running out of memory in any window ends the program cleanly instead of aborting it.
class Application : public QApplication {
 public:
  using QApplication::QApplication;
  bool notify(QObject* receiver, QEvent* event) override {
    try {
      return QApplication::notify(receiver, event);
    } catch (const std::bad_alloc&) {
      tarvik::NoteOutOfMemory();
      return false;
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  tarvik::platform::IgnoreFileSizeSignal();
  // Before Qt starts its threads: a logout, kill or Ctrl+C ends the program as Exit does.
  tarvik::platform::TerminationWatch watch([](int) { tarvik::RequestShutdown(); });
  // --help and --version print and end without a window system: no display is needed.
  if (tarvik::AsksOnlyForText(argc, argv)) {
    QCoreApplication text(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Tarvik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVIK_VERSION));
    tarvik::UseLanguage(text, tarvik::LanguageFromEnvironment());
    tarvik::StartFileArgument(argc, argv);  // prints and ends the program
    return 0;
  }
  Application app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Tarvik"));
  QApplication::setApplicationVersion(QStringLiteral(TARVIK_VERSION));
  // Lets the desktop match the window to the installed entry and its icon.
  QGuiApplication::setDesktopFileName(QStringLiteral("org.tarvik.Tarvik"));
  // The user's language, for our texts and Qt's, before the first text is read.
  tarvik::UseLanguage(app, tarvik::LanguageFromEnvironment());
  try {
    const std::u16string startFile = tarvik::StartFileArgument(argc, argv);
    return tarvik::RunWindowedProgram({}, nullptr, startFile);
  } catch (const std::bad_alloc&) {
    // Before the windows ran or after they ended: the warning box then stands alone.
    try {
      tarvik::QtPrompts().Warn(nullptr, tarvik::StrLoad(tarvik::STR_NO_MEMORY));
    } catch (const std::bad_alloc&) {
    }
    return 1;
  }
}
