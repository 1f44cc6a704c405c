// The state of the browse dialog, shared by BrowseAddress and the dialog
// procedure. One copy for the whole module: one browse dialog at a time.
#pragma once

namespace kovrin {

// Text buffers: the longest text read from each field plus its terminating
// zero. Every field is read one character longer than its valid length, so
// an over-long entry is seen and refused rather than cut to fit.
constexpr int kPlcTextSize = 5;
constexpr int kMemoryTypeTextSize = 3;  // only the first character is used
constexpr int kAddressTextSize = 7;
constexpr int kBitTextSize = 8;
constexpr int kReportTextSize = 5;
constexpr int kLineTextSize = 5;

struct BrowseDialogState {
  char base;               // NumberBase of this call: 'D', 'H' or 'L'
  bool reportLineMode;     // check box "String Based Request"
  bool reportTriggerMode;  // check box "Report Based Request"
  // Texts read when OK is pressed.
  char plc[kPlcTextSize];
  char memoryType[kMemoryTypeTextSize];
  char address[kAddressTextSize];
  char bit[kBitTextSize];
  char report[kReportTextSize];
  char line[kLineTextSize];
};

extern BrowseDialogState g_browseDialog;

}  // namespace kovrin
