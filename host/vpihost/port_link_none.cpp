// Builds whose driver opens port names as the system knows them (Windows):
// the name goes to the driver as it is, 11 characters at most.
#include "host/vpihost/port_link.h"

bool PortLinksAvailable() { return false; }

bool PortLink::Make(const std::string&, std::string* error) {
  *error = "this build passes port names of up to 11 characters";
  return false;
}

void PortLink::Remove() {}
