// Moved to programs/process.h. Kept only for the serial tests that still name
// this path; goes once they include programs/process.h.
#pragma once

#include "programs/process.h"
