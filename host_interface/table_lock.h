// The lock of the module's small shared tables (entry/opened_ports and
// transfer/station_health; the stand-in host library's tables too). They are
// held for a few loads and stores, never across a wait on a line, so a flag
// spun on is enough; the processor is given up between tries. Needs no thread
// library: the 32-bit Windows tool chain offers no std::mutex.
#pragma once

#include <atomic>
#include <thread>

namespace kovrin {

class TableLock {
 public:
  void Lock() {
    while (held_.test_and_set(std::memory_order_acquire)) std::this_thread::yield();
  }
  void Unlock() { held_.clear(std::memory_order_release); }

  // Holds the lock for a scope.
  class Holder {
   public:
    explicit Holder(TableLock& lock) : lock_(lock) { lock_.Lock(); }
    ~Holder() { lock_.Unlock(); }
    Holder(const Holder&) = delete;
    Holder& operator=(const Holder&) = delete;

   private:
    TableLock& lock_;
  };

 private:
  std::atomic_flag held_ = ATOMIC_FLAG_INIT;
};

}  // namespace kovrin
