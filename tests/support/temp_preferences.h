// The older home of TempPreferences, readFile and writeFile, kept while the last
// callers move to support/temp_folder.h and support/files.h.
#pragma once

#include "support/files.h"
#include "support/temp_folder.h"
