// Moved to programs/line.h. Kept only for the serial tests that still name
// this path; goes once they include programs/line.h.
#pragma once

#include "programs/line.h"
