// The commands of tarvik-cli, each in its own cmd_*.cpp, and the one place where running out
// of memory ends a command.
#include <new>
#include <system_error>

#include "app/cli/cli_common.h"

namespace tarvik::cli {

void RegisterParse(CliApp& app);
void RegisterParams(CliApp& app);
void RegisterCount(CliApp& app);
void RegisterExport(CliApp& app);
void RegisterMap(CliApp& app);
void RegisterDrive(CliApp& app);

int RunCommandLine(int argc, char** argv) {
  try {
    CliApp app;
    RegisterParse(app);
    RegisterParams(app);
    RegisterCount(app);
    RegisterExport(app);
    RegisterMap(app);
    RegisterDrive(app);
    return app.Run(argc, argv);
  } catch (const std::bad_alloc&) {
    // Everything the command held is released by now; files it was writing are gone.
    PrintNoMemory();
  } catch (const std::system_error&) {
    PrintNoMemory();  // a worker thread could not start: no memory for its stack
  }
  return kExitFailed;
}

}  // namespace tarvik::cli
