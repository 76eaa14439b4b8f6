// tarvik-cli: the conversion without windows (commands in cmd_*.cpp, see command_line.cpp).
#include <clocale>

#include "app/cli/cli_common.h"
#include "core/language.h"
#include "core/platform_signals.h"

int main(int argc, char** argv) {
  tarvik::platform::IgnoreFileSizeSignal();
  // Ctrl+C, kill or a closed terminal cancel the running task, which drops what it was
  // writing; between tasks they end the program at once.
  tarvik::platform::TerminationWatch watch(tarvik::cli::CancelOrEnd);
  // Without it a signal would leave the temporary files of a write behind.
  if (!watch.running()) {
    tarvik::cli::PrintNoMemory();
    return tarvik::cli::kExitFailed;
  }
  // The user's locale, as the windowed program has it: numbers must not depend on it.
  std::setlocale(LC_ALL, "");
  tarvik::SetLanguage(tarvik::LanguageFromEnvironment());
  int status = tarvik::cli::RunCommandLine(argc, argv);
  if (int signal = watch.received()) tarvik::platform::EndBySignal(signal);
  return status;
}
