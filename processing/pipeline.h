#pragma once
// The task pipeline: one worker thread runs the requested stages of a task in a fixed order
// (save parameters, load parameters, load file, parse, filter, export, drive), each under the
// lock of the store it changes.
#include "processing/task.h"

namespace tarvik {

// The worker thread's entry. Returns 1 at once when given no task, else 0 after all stages.
int RunTask(WorkerTask* task);

// RunTask calls each stage's operation through its slot, so that tests can put a double in
// a slot (a null slot runs the stage's lock protocol and clean-up without an operation). Each
// slot starts as the stage's operation (pipeline.cpp).
using StageOperation = bool (*)(WorkerTask&);
extern StageOperation g_saveParamsStage;  // SaveParams
extern StageOperation g_loadParamsStage;  // LoadParams
extern StageOperation g_loadFileStage;    // LoadSourceFile
extern StageOperation g_parseStage;       // ParseSource
extern StageOperation g_filterStage;      // FilterByAreas
extern StageOperation g_exportStage;      // ExportPois
extern StageOperation g_driveStage;       // WriteToDrive

}  // namespace tarvik
