#pragma once
// The parameter sets in Tarvik.ini: sections "Filter", "Schema" and "Export", one group of
// keys per item ("%u.Name", "%u.%u.Type"), numbered densely from 0, "Count" last.
#include "params/ini_file.h"
#include "params/param_store.h"
#include "processing/task.h"

namespace tarvik {

// TASK_LOAD_PARAMS: appends every item of the settings file to the store (the worker has cleared
// it and holds its lock). Reads the file once. Returns whether the task was not cancelled.
bool LoadParams(WorkerTask& task);
// TASK_SAVE_PARAMS: rewrites the three sections from the store, keeping everything else in the
// file, and replaces the file in one step. A cancel arriving meanwhile does not stop it.
// A failure is recorded in the task and sets paramsSaveFailed.
bool SaveParams(WorkerTask& task);

// The same work without a task (task may be null: no progress, no cancel).
void ReadParamSections(const IniFile& ini, CParamStore& store, WorkerTask* task = nullptr);
void WriteParamSections(IniFile& ini, CParamStore& store, WorkerTask* task = nullptr);

}  // namespace tarvik
