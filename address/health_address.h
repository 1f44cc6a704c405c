// The station-health form of a single gate: "!S" and the station's number,
// two digits in the instance's number base as a report trigger's are. It
// names no register: a read gives the station's state without a request.
#pragma once

#include <cstddef>

#include "address/address_result.h"
#include "host_interface/host_records.h"
#include "host_interface/instance.h"

namespace kovrin {

constexpr size_t kHealthAddressLength = 4;

// kNotThisForm when the GAS does not begin with '!' and 'S' (either case);
// otherwise the station 1 to 255 (decimal: 1 to 99) stored as plc, with
// address 0, bit -1, width 16 and MemoryType kMemStationHealth. An
// accepted gate starts the watch of the instance's stations.
AddressResult ParseStationHealth(VpiInstance* instance, ParseRequest* request);

}  // namespace kovrin
