// Record layouts that are not fixed by static assertions on this target.

#include <gtest/gtest.h>

#include <cstddef>

#include "entry/host_records.h"
#include "entry/instance.h"

namespace {

TEST(Layout, InstanceFitsTheAnnouncedSize) {
  EXPECT_LE(sizeof(VpiInstance), kInstanceSize);
  // ReportPos follows ReportBuffer directly.
  EXPECT_EQ(offsetof(VpiInstance, ReportPos),
            offsetof(VpiInstance, ReportBuffer) + sizeof(VpiInstance::ReportBuffer));
}

TEST(Layout, FieldOrderHoldsWithNaturalAlignment) {
  // Same field order on every target; only pointer widths differ.
  constexpr size_t p = sizeof(void*);
  EXPECT_EQ(offsetof(VpiRequest, command), p);
  EXPECT_EQ(offsetof(VpiRequest, driverNumber), p + 4);
  EXPECT_EQ(offsetof(VpiRequest, params), p == 4 ? 16u : 24u);
  EXPECT_EQ(offsetof(ParseRequest, gateType), p + 4);
  EXPECT_EQ(offsetof(ParseRequest, width), p + 28);
  EXPECT_EQ(offsetof(GateTransfer, count), p + 28);
  EXPECT_EQ(offsetof(GateTransfer, values), p == 4 ? 40u : 48u);
  EXPECT_EQ(sizeof(ColdStartParams), 28u);
  EXPECT_EQ(sizeof(ChangeParams), 24u);
  EXPECT_EQ(offsetof(ChangeParams, baud), 16u);
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
