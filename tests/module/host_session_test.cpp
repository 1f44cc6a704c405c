// The host-session helper drives the linked driver and the built module
// alike, and says why when a module cannot be loaded.

#include "tests/support/host_session.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

std::unique_ptr<HostSession> Open(bool loaded) {
  return loaded ? std::make_unique<HostSession>(KOVRIN_MODULE_PATH) : std::make_unique<HostSession>();
}

TEST(HostSession, LinkedAndLoadedDriverAnswerAlike) {
  for (const bool loaded : {false, true}) {
    SCOPED_TRACE(loaded ? "loaded" : "linked");
    std::unique_ptr<HostSession> host = Open(loaded);
    ASSERT_TRUE(host->loaded()) << host->error();
    VpiInfo info{};
    EXPECT_EQ(host->Call(kCmdGetVpiInfo, &info), kResultDone);
    EXPECT_EQ(info.instanceSize, kInstanceSize);

    ParseRequest parsed;
    EXPECT_EQ(host->Parse("0140010", kGateInt16, &parsed), kResultDone);
    EXPECT_EQ(parsed.plc, 1);
    EXPECT_EQ(parsed.address, 10);
    EXPECT_EQ(host->Parse("0140010", kGateInt16, &parsed, 4), kResultDone);
    EXPECT_EQ(parsed.blockSize, 4);
    EXPECT_NE(host->Parse("nonsense", kGateInt16, &parsed), kResultDone);

    // No device answers on the null device: the read fails in transport
    // and the journal tells of it.
    ASSERT_EQ(host->Start("NUL", 1), kResultDone);
    host->journal().Clear();
    uint8_t values[16] = {};
    EXPECT_EQ(host->Read("0140010", kGateInt16, values), kResultTransport);
    EXPECT_FALSE(host->journal().lines().empty());
    EXPECT_EQ(host->Close(), kResultDone);
  }
}

TEST(HostSession, AModuleThatIsNotThereIsReported) {
  HostSession host("/nonexistent/kovrinsx.so");
  EXPECT_FALSE(host.loaded());
  EXPECT_FALSE(host.error().empty());
  VpiInfo info{};
  EXPECT_EQ(host.Call(kCmdGetVpiInfo, &info), kResultTransport);
}

}  // namespace
