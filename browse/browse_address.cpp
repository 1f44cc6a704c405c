
#include <atomic>
#include <cstring>

#include "browse/browse_address.h"

#include "browse/address_composer.h"
#include "browse/browse_state.h"
#include "browse/tag_format_dialog.h"
#include "browse/tag_format_resource.h"
#include "host_interface/host_library.h"
#include "host_interface/instance.h"
#include "platform/win32.h"

namespace kovrin {

namespace {

// The dialog's state exists once for the module, and the dialog is modal:
// while one is open, another asked for from another line's thread is
// refused rather than let share it.
std::atomic_flag g_dialogOpen = ATOMIC_FLAG_INIT;

class DialogClaim {
 public:
  DialogClaim() : claimed_(!g_dialogOpen.test_and_set(std::memory_order_acquire)) {}
  ~DialogClaim() {
    if (claimed_) g_dialogOpen.clear(std::memory_order_release);
  }
  DialogClaim(const DialogClaim&) = delete;
  DialogClaim& operator=(const DialogClaim&) = delete;
  bool claimed() const { return claimed_; }

 private:
  bool claimed_;
};

}  // namespace

int32_t BrowseAddressWith(BrowseRequest* params, int32_t driverNumber, StationBaseReader stationBase) {
  // Without a buffer the composed string could not be handed back.
  if (params == nullptr || params->gasBuffer == nullptr) return kResultCancelled;
  const DialogClaim claim;
  if (!claim.claimed()) {
    err(kLogMajor, "KOVRIN> BrowseAddress() the address dialog is open already");
    return kResultCancelled;
  }

  g_browseDialog = BrowseDialogState{};
  g_browseDialog.base = stationBase(driverNumber);
  g_browseDialog.reportLineMode = false;
  g_browseDialog.reportTriggerMode = false;

  const INT_PTR ended =
      DialogBoxParamA(GetModuleHandleA(kDriverModuleName), MAKEINTRESOURCEA(kTagFormatDialogId), nullptr,
                      TagFormatDialogProc, 0);
  if (ended != IDOK) return kResultCancelled;  // cancelled, or the dialog could not be shown

  char composed[kComposedAddressSize];
  ComposeAddress(g_browseDialog, composed);
  std::memcpy(params->gasBuffer, composed, std::strlen(composed) + 1);
  return kResultDone;
}

}  // namespace kovrin
