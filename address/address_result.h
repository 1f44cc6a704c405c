// How the check of a gate address ended; the address parser commands map
// it to the host's result.
#pragma once

namespace kovrin {

enum class AddressResult {
  kAccepted,     // the address fits the gate, its fields are stored
  kRefused,      // refused (after its log line, where it has one)
  kNotThisForm,  // not of the form tried: to be parsed as another
};

}  // namespace kovrin
