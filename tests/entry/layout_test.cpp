// Record layouts that no static assertion fixes (the host records' offsets
// and sizes are asserted where they are declared), and port name fields.

#include <gtest/gtest.h>

#include <cstddef>

#include "host_interface/host_records.h"
#include "host_interface/instance.h"

namespace {

TEST(Layout, ReportPosFollowsReportBuffer) {
  EXPECT_EQ(offsetof(VpiInstance, ReportPos),
            offsetof(VpiInstance, ReportBuffer) + sizeof(VpiInstance::ReportBuffer));
}

TEST(PortName, TwelveBytesWithoutTerminatorAreOneName) {
  const char full[12] = {'/', 'd', 'e', 'v', '/', 't', 't', 'y', 'S', '1', '2', '3'};
  char copy[12];
  CopyPortName(copy, full);
  char text[13];
  PortNameToCString(copy, text);
  EXPECT_STREQ(text, "/dev/ttyS123");
  EXPECT_TRUE(SamePortName(copy, full));
  EXPECT_FALSE(SamePortName(copy, "/dev/ttyS12"));
  CopyPortName(copy, "COM1");
  PortNameToCString(copy, text);
  EXPECT_STREQ(text, "COM1");
}

}  // namespace
