// The tag format dialog: template 101 of the driver module and its controls.
// The resource script (kovrinsx.rc) and the headless description
// (tag_format_template.cpp) use these numbers.
#pragma once

namespace kovrin {

constexpr char kDriverModuleName[] = "KOVRINSX.DLL";
constexpr int kTagFormatDialogId = 101;

enum TagFormatControl : int {
  kIdFrame = -1,  // the two group boxes
  kIdMemoryType = 1006,
  kIdAddress = 1007,
  kIdBitNumber = 1022,
  kIdPlcArrows = 1036,
  kIdPlcNumber = 1037,
  kIdReportNumber = 1044,
  kIdLineNumber = 1045,
  kIdReportLabel = 1048,
  kIdLineLabel = 1049,
  kIdReportLineMode = 1051,
  kIdReportTriggerMode = 1052,
  kIdMemoryTypeLabel = 1054,
  kIdBitNumberLabel = 1055,
  kIdPlcLabel = 1057,
  kIdAddressLabel = 1058,
};

}  // namespace kovrin
