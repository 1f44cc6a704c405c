// GoogleTest's hook for the port of its platform, for the mingw-w64 cross
// build: the toolchain's win32 thread model has no std::mutex and no
// std::condition_variable, which are all GoogleTest takes from the standard
// library for its threads (in the Notification its own thread helper waits
// on). This Notification is a Win32 event instead; everything else is
// GoogleTest's own Win32 code.
#pragma once

#define GTEST_HAS_NOTIFICATION_ 1

namespace testing {
namespace internal {

class Notification {
 public:
  Notification();
  ~Notification();
  Notification(const Notification&) = delete;
  Notification& operator=(const Notification&) = delete;

  void Notify();
  void WaitForNotification();

 private:
  void* event_;  // a manual-reset event: once notified, every wait returns
};

}  // namespace internal
}  // namespace testing
