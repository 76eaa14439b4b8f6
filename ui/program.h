#pragma once
// The windowed program from start to end: the context with the window resources, the main
// window run modally, the seed written back, the context released.
#include "processing/program_entry.h"

namespace tarvik {

// Needs a running QApplication. Returns the exit code, which is always 0.
int RunWindowedProgram(const EntryOptions& options = {});

}  // namespace tarvik
