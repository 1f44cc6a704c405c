// BrowseAddress (16): the tag format dialog, in which the user composes a
// gate address string.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"

namespace kovrin {

// Gives the number base ('D', 'H' or 'L') of a station's init file.
using StationBaseReader = char (*)(int32_t driverNumber);

// Runs the dialog for the station of driverNumber; the station's number base, which the
// composed address is spelt in, comes from stationBase once the dialog is
// sure to open.
int32_t BrowseAddressWith(BrowseRequest* params, int32_t driverNumber, StationBaseReader stationBase);

}  // namespace kovrin
