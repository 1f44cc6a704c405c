#include "host/vpihost/stations.h"

#include <cstdio>
#include <string_view>

#include "host/zelpro/zelpro_host.h"

namespace {

struct JournalRule {
  JournalMeaning meaning;
  std::vector<std::string_view> starts;  // the line starts with one of these
  std::vector<std::string_view> within;  // or holds one of these
};

constexpr JournalMeaning Counted(JournalEvent event) { return {event, kOtherExceptionCode}; }
constexpr JournalMeaning Exception(int code) { return {JournalEvent::kException, code}; }

// The driver's own wording, misspellings included. A cut-short reply has
// been heard, so it is a wrong frame, not a silence; "Only right plc addr"
// follows a header of wrong length and is not counted twice. A read logs
// each retry with its budget, a write with its number.
const JournalRule kRules[] = {
    {Counted(JournalEvent::kSilence), {"KOVRIN> Recieve() timeout 1 "}, {}},
    {Counted(JournalEvent::kBadCrc), {"KOVRIN> DoRead() crc error", "KOVRIN> DoWrite() error in crc"}, {}},
    {Counted(JournalEvent::kWrongStation), {"KOVRIN> Wrong plc addr."}, {}},
    {Counted(JournalEvent::kWrongFrame),
     {"KOVRIN> Different function returned", "KOVRIN> Different function with 0x80 returned",
      "KOVRIN> Receive() byte count ", "KOVRIN> Receive() reply echoes ",
      "KOVRIN> Receive() timeout 2nd part message", "KOVRIN> Receive() reading timeout ",
      "KOVRIN> Receive() error reading data part message", "KOVRIN> DoRead() reply carries "},
     {" wrong length "}},
    {Exception(1), {"KOVRIN> (MB-protocol) Illegal function"}, {}},
    {Exception(2), {"KOVRIN> (MB-protocol) Illegal data address"}, {}},
    {Exception(3), {"KOVRIN> (MB-protocol) Illegal data value"}, {}},
    {Exception(4), {"KOVRIN> (MB-protocol) Failure in associated device"}, {}},
    {Exception(5), {"KOVRIN> (MB-protocol) Acknowledge (processing)"}, {}},
    {Exception(6), {"KOVRIN> (MB-protocol) Busy, rejected message"}, {}},
    {Exception(7), {"KOVRIN> (MB-protocol) Negative acknowledgment"}, {}},
    {Exception(8), {"KOVRIN> (MB-protocol) Memory parity error"}, {}},
    {Exception(kOtherExceptionCode), {"KOVRIN> (MB-protocol error)"}, {}},
    {Counted(JournalEvent::kEchoCollision), {"KOVRIN> Send() echo differs from the request"}, {}},
    {Counted(JournalEvent::kEchoMissing), {"KOVRIN> Send() no echo of the request"}, {}},
    {Counted(JournalEvent::kSkipped), {}, {" demoted, request not sent"}},
    {Counted(JournalEvent::kDemotion), {}, {" demoted for "}},
    {Counted(JournalEvent::kSendFailed), {"KOVRIN> SEND> Unable to send message."}, {}},
    {Counted(JournalEvent::kRetry), {"DoRead() : sRetry=", "DORZA, Do write, retry "}, {}},
};

// What an attempt's failure can be put down to; the others are notes.
bool IsFailure(JournalEvent event) {
  switch (event) {
    case JournalEvent::kNone:
    case JournalEvent::kDemotion:
    case JournalEvent::kRetry:
      return false;
    default:
      return true;
  }
}

}  // namespace

JournalMeaning MeaningOfJournalLine(const char* text) {
  const std::string_view line(text);
  for (const JournalRule& rule : kRules) {
    for (const std::string_view start : rule.starts) {
      if (line.substr(0, start.size()) == start) return rule.meaning;
    }
    for (const std::string_view part : rule.within) {
      if (line.find(part) != std::string_view::npos) return rule.meaning;
    }
  }
  return {};
}

void TransferJournal::Add(const char* text) {
  const JournalMeaning meaning = MeaningOfJournalLine(text);
  ++counts_[static_cast<size_t>(meaning.event)];
  if (IsFailure(meaning.event)) lastFailure_ = meaning;
  if (meaning.event == JournalEvent::kRetry || IsFailure(meaning.event)) {
    retryUnanswered_ = meaning.event == JournalEvent::kRetry;
  }
  if (meaning.event == JournalEvent::kException) ++exceptions_[static_cast<size_t>(meaning.exceptionCode)];
}

uint32_t TransferJournal::Count(JournalEvent event) const { return counts_[static_cast<size_t>(event)]; }

bool TransferJournal::HeardNothing() const {
  for (const JournalEvent heard :
       {JournalEvent::kWrongFrame, JournalEvent::kWrongStation, JournalEvent::kBadCrc,
        JournalEvent::kException, JournalEvent::kEchoCollision}) {
    if (Count(heard) != 0) return false;
  }
  return Count(JournalEvent::kSilence) + Count(JournalEvent::kEchoMissing) > 0;
}

JournalTap::JournalTap(int minimumLevel) : minimumLevel_(minimumLevel) { ZelHostSetLogSink(&Line, this); }

JournalTap::~JournalTap() { ZelHostSetLogSink(nullptr, nullptr); }

void JournalTap::Line(int level, const char* text, void* context) {
  auto* tap = static_cast<JournalTap*>(context);
  TransferJournal* journal = tap->open_.load();
  if (journal != nullptr) journal->Add(text);
  if (tap->holding_) {
    tap->held_.push_back({level, text});
  } else if (level >= tap->minimumLevel_ && !tap->muted_.load()) {
    std::fprintf(stderr, "[%2d] %s\n", level, text);
  }
}

void JournalTap::Hold() {
  held_.clear();
  holding_ = true;
}

std::vector<std::string> JournalTap::Held() const {
  std::vector<std::string> texts;
  for (const HeldLine& line : held_) texts.push_back(line.text);
  return texts;
}

void JournalTap::Release(bool show) {
  holding_ = false;
  for (const HeldLine& line : held_) {
    if (show && line.level >= minimumLevel_)
      std::fprintf(stderr, "[%2d] %s\n", line.level, line.text.c_str());
  }
  held_.clear();
}

std::vector<std::string> StationGateAddresses(int32_t station) {
  std::vector<std::string> addresses;
  if (station < 0 || station > 999) return addresses;
  char text[16];
  std::snprintf(text, sizeof text, "!S%02d", static_cast<int>(station));
  addresses.push_back(text);
  if (station > 0xFF) return addresses;
  std::snprintf(text, sizeof text, "!S%02X", static_cast<unsigned>(station));
  if (addresses[0] != text) addresses.push_back(text);
  return addresses;
}
