// What vpihost learns of each station: what the driver's journal says about
// each transfer (vpihost watches the lines the host library receives while a
// transfer is under way and counts them for the transfer's station; the
// driver knows nothing of it), and the address of the station's health gate.
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// What one journal line tells about the line's traffic.
enum class JournalEvent {
  kNone,           // nothing counted (start-up, retries, notes)
  kSilence,        // an attempt heard not a byte
  kWrongFrame,     // a reply of another function, of a wrong size, cut short
  kWrongStation,   // a reply from another station
  kBadCrc,         // a reply with a bad CRC
  kException,      // an exception reply; the code is in JournalMeaning
  kEchoCollision,  // the line's echo of the request differed from it
  kEchoMissing,    // the line's echo of the request did not come
  kDemotion,       // the station is left out for a while
  kSkipped,        // a request not sent: the station is demoted
  kSendFailed,     // a request did not go out whole: the port failed
  kRetry,          // the request is sent again
};
constexpr size_t kJournalEventCount = static_cast<size_t>(JournalEvent::kRetry) + 1;

// Exception codes 1 to 8 by their own number; any other code is counted as 0.
constexpr int kOtherExceptionCode = 0;
constexpr int kLastNamedExceptionCode = 8;

struct JournalMeaning {
  JournalEvent event = JournalEvent::kNone;
  int exceptionCode = kOtherExceptionCode;  // for kException
};

JournalMeaning MeaningOfJournalLine(const char* text);

// The counted lines of one transfer.
class TransferJournal {
 public:
  void Add(const char* text);
  // Lines of the event; for kException of every code.
  uint32_t Count(JournalEvent event) const;
  uint32_t Exceptions(int code) const { return exceptions_[static_cast<size_t>(code)]; }
  // Attempts that heard not a byte (no reply, not even the line's echo of
  // the request), and no reply of any kind.
  bool HeardNothing() const;
  // The last line that said why an attempt failed; kNone without one.
  JournalMeaning LastFailure() const { return lastFailure_; }
  // How often the request was sent again. A read logs its retry before it
  // knows whether the wrong station's answers have used up their tries:
  // then no attempt follows, and the transfer fails on that last answer.
  uint32_t Retries(int32_t result) const {
    return Count(JournalEvent::kRetry) - (result != 0 && retryUnanswered_ ? 1 : 0);
  }

 private:
  std::array<uint32_t, kJournalEventCount> counts_{};
  JournalMeaning lastFailure_;
  bool retryUnanswered_ = false;                                    // a retry logged, and no failure after it
  std::array<uint32_t, kLastNamedExceptionCode + 1> exceptions_{};  // by code, 0 other codes
};

// Takes the host library's journal for as long as it lives: shows every line
// at or above the minimum level on stderr as the host library does, and
// counts the lines written while a transfer is open.
class JournalTap {
 public:
  explicit JournalTap(int minimumLevel);
  ~JournalTap();  // the host library's own journal again
  JournalTap(const JournalTap&) = delete;
  JournalTap& operator=(const JournalTap&) = delete;

  // Lines from now until Close count for journal.
  void Open(TransferJournal* journal) { open_.store(journal); }
  void Close() { open_.store(nullptr); }
  // While muted no line is shown: vpihost's own probes, whose refusals say
  // nothing about the user's gates.
  void Mute(bool mute) { muted_.store(mute); }
  // Lines from now on are held, whatever their level, instead of shown:
  // whose they are is known only afterwards (a gate's parse gives its
  // refusal, the start-up lines a scan's inter-frame gap). Hold again
  // drops what was held.
  void Hold();
  std::vector<std::string> Held() const;
  // Holds no more; show: the held lines at or above the minimum level are
  // shown now, else they are dropped.
  void Release(bool show);

 private:
  static void Line(int level, const char* text, void* context);

  struct HeldLine {
    int level;
    std::string text;
  };
  int minimumLevel_;
  std::atomic<TransferJournal*> open_{nullptr};
  std::atomic<bool> muted_{false};
  // Written by the sink, read between driver calls by the thread that makes
  // them: the host library calls the sink under its log lock.
  bool holding_ = false;
  std::vector<HeldLine> held_;
};

// The address strings the station's health gate may have, to try in order:
// two digits in the decimal base, three from station 100, and two
// hexadecimal digits for an instance in the hexadecimal base. Which one the
// instance takes, and for which station, only its parser can tell.
std::vector<std::string> StationGateAddresses(int32_t station);
