// The entry point's dispatch, the ended flag and GetVpiInfo.

#include <gtest/gtest.h>

#include <cstring>

#include "entry/handlers.h"
#include "host_interface/instance.h"
#include "entry/vpi_main.h"
#include "tests/support/host_session.h"

using namespace kovrin;

namespace {

// Requests as the host sends them before any instance exists: no instance
// area, driver number 0.
class DispatchTest : public ::testing::Test {
 protected:
  void TearDown() override { g_ended = 0; }
  int32_t Call(uint32_t command, void* params = nullptr, void* instance = nullptr) {
    return host_.CallFor(instance, command, params);
  }
  HostSession host_{&VpiMain, 0};
};

TEST_F(DispatchTest, CodesWithoutHandlerAnswerTwo) {
  for (uint32_t code : {0u, 8u, 9u, 17u, 18u, 0xFFFFFFFFu}) {
    EXPECT_EQ(Call(code), kResultTransport) << "command " << code;
  }
}

TEST_F(DispatchTest, GetVpiInfoFillsEveryField) {
  VpiInfo info;
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(Call(kCmdGetVpiInfo, &info, nullptr), kResultDone);
  EXPECT_EQ(info.hostInfoA, 70);
  EXPECT_STREQ(info.name, "OMNI Flow");
  EXPECT_STREQ(info.description, "ModBus/J-BUS (RTU protocol) 32 Bit driver Installed.\n");
  EXPECT_EQ(info.instanceSize, 9464u);
  EXPECT_EQ(info.hostInfoB, 4);
  EXPECT_EQ(info.defaultBaud, 9600);
  EXPECT_EQ(info.defaultDataBits, 8);
  EXPECT_EQ(info.defaultStopBits, 0);
  EXPECT_EQ(info.defaultParity, 0);
  EXPECT_EQ(info.hostInfoC, 35);
  // The size the record is checked against where it is declared.
  EXPECT_EQ(info.instanceSize, kInstanceSize);
}

TEST_F(DispatchTest, GetVpiInfoIgnoresInstance) {
  VpiInfo info{};
  int garbage = 0;
  EXPECT_EQ(Call(kCmdGetVpiInfo, &info, &garbage), kResultDone);
  EXPECT_EQ(info.instanceSize, 9464u);
}

TEST_F(DispatchTest, AfterEndEveryCommandAnswersZeroWithoutEffect) {
  g_ended = 1;
  VpiInfo info;
  std::memset(&info, 0x5A, sizeof info);
  VpiInfo untouched = info;
  EXPECT_EQ(Call(kCmdGetVpiInfo, &info), kResultDone);
  EXPECT_EQ(std::memcmp(&info, &untouched, sizeof info), 0);
  // No handler runs, so no record is looked at: null params are harmless.
  for (uint32_t code = 0; code <= 18; ++code) EXPECT_EQ(Call(code), kResultDone) << code;
  EXPECT_EQ(Call(0xFFFFFFFFu), kResultDone);
}

TEST(CommandTable, EmptySlotsAreTheUnassignedCodes) {
  for (uint32_t code : {0u, 8u, 9u, 17u}) EXPECT_EQ(kCommandTable[code], nullptr) << code;
  // The GetVpiInfo slot fills the record it is handed.
  VpiInfo info{};
  VpiRequest request{};
  request.command = kCmdGetVpiInfo;
  request.params = &info;
  ASSERT_NE(kCommandTable[kCmdGetVpiInfo], nullptr);
  EXPECT_EQ(kCommandTable[kCmdGetVpiInfo](&request), kResultDone);
  EXPECT_EQ(info.instanceSize, kInstanceSize);
}

}  // namespace
