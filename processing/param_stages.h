#pragma once
// The parameter stages of the pipeline: the settings file loaded into and saved from the
// task's parameter store, reporting to the task.
#include "processing/task.h"

namespace tarvik {

// TASK_LOAD_PARAMS: appends every item of the settings file to the store (the worker has
// cleared it and holds its lock). Returns whether the task was not cancelled.
bool LoadParams(WorkerTask& task);
// TASK_SAVE_PARAMS: rewrites the parameter sections of the settings file from the store. A
// cancel that came before leaves the file alone; one arriving meanwhile does not stop it. A
// failure is recorded in the task and, when the store holds unsaved sets, sets
// paramsSaveFailed.
bool SaveParams(WorkerTask& task);

}  // namespace tarvik
