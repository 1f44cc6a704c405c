// BrowseAddress (16): the dialog, with the number base of the station's init
// file.

#include "browse/browse_address.h"
#include "entry/handlers.h"
#include "entry/init_file.h"
#include "host_interface/instance.h"

namespace kovrin {

namespace {

// The number base of the station, read from its init file into a scratch
// instance: the host's instance may not be started (or even exist) yet.
char StationNumberBase(int32_t driverNumber) {
  VpiInstance scratch{};
  scratch.protocol = 'M';
  scratch.RTSCTS = 0;
  ReadInitFile(&scratch, driverNumber);
  return scratch.base;
}

}  // namespace

int32_t BrowseAddress(BrowseRequest* params, int32_t driverNumber) {
  return BrowseAddressWith(params, driverNumber, StationNumberBase);
}

}  // namespace kovrin
