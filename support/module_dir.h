// The agent folder: the folder of the host program's executable.
#pragma once

#include "platform/wide.h"

// Fills `folder` with the executable's folder, ending in the separator, and
// answers the length of the executable's full path; 0 on failure, leaving
// `folder` untouched. Paths of 1,024 units or more count as a failure.
int GetModuleDir(WideString& folder);
