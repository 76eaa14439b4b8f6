#pragma once
// The ready-to-use set of a first start: a filter for the whole globe, a schema for the usual
// camera types and the road hazards of published tables, and an export profile for the car.
#include "core/app_context.h"
#include "params/param_store.h"

namespace tarvik {

// Appends the default set to `store` (identifiers from NewItemId, texts from the string table).
void AddDefaultParams(CParamStore& store);

// Writes the default set, and "Core"/"Seed", to the context's settings file when no file exists
// there yet; a file the user emptied stays empty. True when it wrote the file.
bool WriteDefaultParamsIfMissing(CAppContext& context);

}  // namespace tarvik
