#pragma once
// The windowed program from start to end: the context with the window resources, the main
// window run modally, the seed written back, the context released.
#include "processing/program_entry.h"

namespace tarvik {

class MainPrompts;

// Needs a running QApplication. Returns the exit code: 0, or 1 when memory ran out. `prompts`
// answers in place of Qt's dialogs and message boxes (null: Qt's); `startFile`, when given,
// is opened as soon as the main window shows.
int RunWindowedProgram(const EntryOptions& options = {}, MainPrompts* prompts = nullptr,
                       const std::u16string& startFile = {});

// Asks the running program to end as Exit ends it (the seed is written), from wherever it is:
// open windows are cancelled innermost first, a running task is asked to stop, and no new
// question or message is shown. Any thread, also a signal watch, may call it.
void RequestShutdown();
bool ShutdownRequested();
// Memory ran out on the window's thread: the program ends as above, then says why and
// returns 1.
void NoteOutOfMemory();

}  // namespace tarvik
