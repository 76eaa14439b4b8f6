// tarvik-cli: the conversion without windows. Each command lives in its own cmd_*.cpp and
// registers itself here.
#include <clocale>

#include "app/cli/cli_common.h"

namespace tarvik::cli {
void RegisterParse(CliApp& app);
void RegisterParams(CliApp& app);
void RegisterCount(CliApp& app);
void RegisterExport(CliApp& app);
}  // namespace tarvik::cli

int main(int argc, char** argv) {
  // The user's locale, as the windowed program has it: numbers must not depend on it.
  std::setlocale(LC_ALL, "");
  tarvik::cli::CliApp app;
  tarvik::cli::RegisterParse(app);
  tarvik::cli::RegisterParams(app);
  tarvik::cli::RegisterCount(app);
  tarvik::cli::RegisterExport(app);
  return app.Run(argc, argv);
}
