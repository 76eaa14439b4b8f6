#pragma once
// The ready-to-use set of a first start: a filter for the whole globe, a schema for the usual
// camera types and the road hazards of published tables, and an export profile for the car.
#include "core/app_context.h"
#include "params/param_store.h"

namespace tarvik {

// Appends the default set to `store` (identifiers from NewItemId, texts from the string table).
// Throws std::bad_alloc when memory for the whole set cannot be had.
void AddDefaultParams(CParamStore& store);

// Writes the default set, and "Core"/"Seed", to the context's settings file when no file exists
// there yet; a file the user emptied stays empty, and a file (or link) that takes the name
// meanwhile is never replaced. True when it wrote the file. Otherwise `*error` says why it
// could not, or is 0 when there was nothing to write.
bool WriteDefaultParamsIfMissing(CAppContext& context, int* error = nullptr);

}  // namespace tarvik
