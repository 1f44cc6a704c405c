// The two address parser commands: SingleAddressParser (3) checks a single
// gate's address against its gate type, BlockAddressParser (4) a block
// gate's address against its block size.
#pragma once

#include <cstdint>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"

namespace kovrin {

int32_t SingleAddressParser(VpiInstance* instance, ParseRequest* parse);
int32_t BlockAddressParser(VpiInstance* instance, ParseRequest* parse);

}  // namespace kovrin
