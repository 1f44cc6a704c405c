// vpihost's table per station: the driver's journal lines counted for the
// station of each transfer, reply times, the health gate's address forms and
// the table in text and JSON.

#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "host/vpihost/failure_cause.h"
#include "host/vpihost/poll_output.h"
#include "host/vpihost/poll_summary.h"
#include "host/vpihost/stations.h"
#include "host_interface/journal.h"

namespace {

TEST(JournalLines, EachLineCountsForOneCounterOrNone) {
  struct Case {
    JournalEvent event;
    int code;  // of an exception
    std::vector<const char*> lines;
  };
  const Case cases[] = {
      {JournalEvent::kSilence, 0, {"KOVRIN> Recieve() timeout 1 (iRead=0)"}},
      {JournalEvent::kBadCrc,
       0,
       {"KOVRIN> DoRead() crc error, retry 1", "KOVRIN> DoWrite() error in crc, retry 4"}},
      {JournalEvent::kWrongFrame,
       0,
       {"KOVRIN> Different function returned", "KOVRIN> Different function with 0x80 returned",
        "KOVRIN> Receive() byte count 4, 2 expected",
        "KOVRIN> Recieve() wrong length reading header (iRead=1)",
        "KOVRIN> Receive() wrong length 2nd part message iRead=2",
        "KOVRIN> Receive() wrong length last data part message. iToRead 4, iRead 3",
        "KOVRIN> Receive() reply echoes 0001 0005, request 0001 0004",
        // Cut short after the header: heard, so no silence.
        "KOVRIN> Receive() timeout 2nd part message (iRead=0)",
        "KOVRIN> Receive() reading timeout last data part message (iRead=0)",
        "KOVRIN> Receive() error reading data part message (iRead=0)",
        "KOVRIN> DoRead() reply carries 2 data bytes, 4 needed"}},
      {JournalEvent::kWrongStation, 0, {"KOVRIN> Wrong plc addr.2h received"}},
      {JournalEvent::kRetry, 0, {"DoRead() : sRetry=2, reply_len=0", "DORZA, Do write, retry 3"}},
      {JournalEvent::kException, 1, {"KOVRIN> (MB-protocol) Illegal function"}},
      {JournalEvent::kException, 2, {"KOVRIN> (MB-protocol) Illegal data address"}},
      {JournalEvent::kException, 3, {"KOVRIN> (MB-protocol) Illegal data value"}},
      {JournalEvent::kException, 4, {"KOVRIN> (MB-protocol) Failure in associated device"}},
      {JournalEvent::kException, 5, {"KOVRIN> (MB-protocol) Acknowledge (processing)"}},
      {JournalEvent::kException, 6, {"KOVRIN> (MB-protocol) Busy, rejected message"}},
      {JournalEvent::kException, 7, {"KOVRIN> (MB-protocol) Negative acknowledgment"}},
      {JournalEvent::kException, 8, {"KOVRIN> (MB-protocol) Memory parity error"}},
      {JournalEvent::kException, kOtherExceptionCode, {"KOVRIN> (MB-protocol error)"}},
      {JournalEvent::kEchoCollision,
       0,
       {"KOVRIN> Send() echo differs from the request: collision on the line"}},
      {JournalEvent::kEchoMissing, 0, {"KOVRIN> Send() no echo of the request (iRead=3)"}},
      {JournalEvent::kDemotion, 0, {"KOVRIN> station 7 demoted for 30 s"}},
      {JournalEvent::kSkipped, 0, {"KOVRIN> station 7 demoted, request not sent"}},
      {JournalEvent::kSendFailed, 0, {"KOVRIN> SEND> Unable to send message."}},
      // Said of the line or the attempt as a whole, or a second line of one
      // fault: nothing more to count.
      {JournalEvent::kNone,
       0,
       {"KOVRIN> station 7 answers again", "KOVRIN> line echoes its requests: echo removed from the replies",
        "KOVRIN> Only right plc addr.1h received", "KOVRIN> DoRead() error reading reply, retry 1",
        "KOVRIN> DoRead() received 0x80 error code", "DoRead() : len=8", "Wrong receive (still 8 tries)",
        "KOVRIN> WarmStart()", ""}},
  };
  for (const Case& c : cases) {
    for (const char* line : c.lines) {
      TransferJournal journal;
      journal.Add(line);
      EXPECT_EQ(MeaningOfJournalLine(line).event, c.event) << line;
      if (c.event == JournalEvent::kNone) continue;
      EXPECT_EQ(journal.Count(c.event), 1u) << line;
      if (c.event == JournalEvent::kException) {
        EXPECT_EQ(journal.Exceptions(c.code), 1u) << line;
      }
    }
  }
}

TransferJournal JournalOf(std::initializer_list<const char*> lines) {
  TransferJournal journal;
  for (const char* line : lines) journal.Add(line);
  return journal;
}

constexpr const char* kSilence = "KOVRIN> Recieve() timeout 1 (iRead=0)";
constexpr const char* kCrc = "KOVRIN> DoRead() crc error, retry 1";
constexpr const char* kWrong = "KOVRIN> Wrong plc addr.2h received";
constexpr const char* kException4 = "KOVRIN> (MB-protocol) Failure in associated device";
constexpr const char* kCollision = "KOVRIN> Send() echo differs from the request: collision on the line";
constexpr const char* kNoEcho = "KOVRIN> Send() no echo of the request (iRead=0)";
constexpr const char* kSkipped = "KOVRIN> station 1 demoted, request not sent";
constexpr const char* kRetry = "DoRead() : sRetry=2, reply_len=7";
constexpr const char* kWriteRetry = "DORZA, Do write, retry 1";

TEST(StationStats, SilentIsATransferThatHeardNothingAtAll) {
  struct Case {
    TransferJournal journal;
    int32_t result;
    bool silent;
  };
  const Case cases[] = {
      {JournalOf({kSilence, kSilence, kSilence}), 2, true},
      {JournalOf({kSilence, kNoEcho}), 2, true},
      {JournalOf({kNoEcho, kNoEcho, kNoEcho}), 2, true},  // not even the line's echo
      {JournalOf({kSilence, kSilence, kCrc}), 1, false},
      {JournalOf({kSilence, kWrong, kSilence}), 2, false},
      {JournalOf({kException4, kSilence, kSilence}), 2, false},
      {JournalOf({kCollision, kSilence}), 2, false},
      {JournalOf({kSilence, kSilence}), 0, false},  // the last attempt was answered
      {JournalOf({kSkipped}), 2, false},            // nothing was sent to hear
      {JournalOf({}), 2, false},
  };
  for (const Case& c : cases) {
    PollSummary summary(1);
    summary.RecordStation(5, c.result, 10, c.journal);
    const StationStats& stats = summary.stations().at(5);
    EXPECT_EQ(stats.silent, c.silent ? 1u : 0u) << "case " << (&c - cases);
    EXPECT_EQ(stats.successes, c.result == 0 ? 1u : 0u);
  }
}

std::vector<double> OneTo(int n) {
  std::vector<double> times;
  for (int i = n; i >= 1; --i) times.push_back(i);  // in no sorted order
  return times;
}

TEST(StationStats, P99IsTheNearestRank) {
  struct Case {
    std::vector<double> times;
    double p99;
  };
  const Case cases[] = {
      {{}, 0},           {{7.5}, 7.5},      {{5, 5, 5, 900}, 900},  // below 100 times: the longest
      {OneTo(100), 99},  // rank 99 of 100: the longest 1 % left out
      {OneTo(101), 100}, {OneTo(200), 198}, {OneTo(1001), 991},
  };
  for (const Case& c : cases) EXPECT_DOUBLE_EQ(P99(c.times), c.p99) << c.times.size() << " times";
}

TEST(StationGate, AddressFormsForEveryNumberBase) {
  struct Case {
    int32_t station;
    std::vector<std::string> addresses;
  };
  const Case cases[] = {
      {9, {"!S09"}},
      {10, {"!S10", "!S0A"}},
      {16, {"!S16", "!S10"}},
      {100, {"!S100", "!S64"}},
      {255, {"!S255", "!SFF"}},
      {256, {"!S256"}},
      {-1, {}},
      {1000, {}},
  };
  for (const Case& c : cases) EXPECT_EQ(StationGateAddresses(c.station), c.addresses) << c.station;
}

// Station 1: every counter, reply times of its good transfers only; station
// 12: never answered, then demoted and skipped.
PollSummary SummaryWithStations() {
  PollSummary summary(2);
  summary.Record(0, 0, 4);
  summary.Record(1, 2, 310);
  summary.RecordStation(1, 0, 4, JournalOf({kCrc, kRetry, kCrc, kRetry}));
  summary.RecordStation(1, 1, 300, JournalOf({kWrong, kCollision, kNoEcho, "KOVRIN> (MB-protocol error)"}));
  summary.RecordStation(1, 0, 6, JournalOf({"KOVRIN> (MB-protocol) Illegal data address", kException4}));
  summary.RecordStation(12, 2, 310,
                        JournalOf({kSilence, kWriteRetry, kSilence, "KOVRIN> station 12 demoted for 30 s"}));
  summary.RecordStation(12, 2, 0.1, JournalOf({kSkipped}));
  summary.SetStationState(1, 0);
  summary.SetStationState(9, 0);  // no gate of station 9: no row
  return summary;
}

TEST(StationTable, FollowsTheGateTableWithARowAStation) {
  const std::string text = SummaryText(SummaryWithStations(), {{"0140001", "int16"}, {"1240001", "int16"}});
  const std::string stations =
      "  2  1240001    int16            1         0       1       0   310.00   310.00   310.00  "
      "2 transport or port failure x1\n"
      "\n"
      "station  transfers        ok retries  silent   wrong    crc  collisions  no echo  demoted  skipped   "
      "min ms  "
      "mean ms   p99 ms  state      exceptions by code\n"
      "      1          3         2       2       0       1      2           1        1        0        0    "
      " 4.00   "
      "  5.00     6.00  answering  2:1 4:1 other:1\n"
      "     12          2         0       1       1       0      0           0        0        1        1    "
      "    -   "
      "     -        -  -\n";
  ASSERT_GE(text.size(), stations.size());
  EXPECT_EQ(text.substr(text.size() - stations.size()), stations) << text;

  PollSummary none(1);
  none.Record(0, 0, 4);
  EXPECT_EQ(SummaryText(none, {{"0140001", "int16"}}).find("\n\n"), std::string::npos)
      << "no stations, no table";
}

TEST(StationTable, JsonHasAStationsArrayBesideTheGates) {
  const auto json = nlohmann::ordered_json::parse(
      SummaryJsonLine(SummaryWithStations(), {{"0140001", "int16"}, {"1240001", "int16"}}))["summary"];
  ASSERT_EQ(json["stations"].size(), 2u);
  const auto& one = json["stations"][0];
  std::vector<std::string> keys;
  for (const auto& item : one.items()) keys.push_back(item.key());
  EXPECT_EQ(keys, (std::vector<std::string>{"station", "transfers", "successes", "retries", "silent",
                                            "wrong_frames", "crc_errors", "exceptions", "echo_collisions",
                                            "echoes_missing", "demotions", "skipped", "min_ms", "mean_ms",
                                            "p99_ms", "state", "state_text"}));
  EXPECT_EQ(one["exceptions"].dump(),
            R"([{"code":2,"count":1},{"code":4,"count":1},{"code":null,"count":1}])");
  EXPECT_EQ(one["state"], 0);
  const auto& twelve = json["stations"][1];
  EXPECT_EQ(twelve["station"], 12);
  EXPECT_TRUE(twelve["min_ms"].is_null() && twelve["mean_ms"].is_null() && twelve["p99_ms"].is_null())
      << "no reply, no time";
  EXPECT_TRUE(twelve["state"].is_null());
  EXPECT_EQ(twelve["state_text"], "unknown");
}

TEST(JournalTap, CountsOnlyWhileOpenAndShowsAsTheHostLibraryDoes) {
  TransferJournal journal;
  testing::internal::CaptureStderr();
  {
    JournalTap tap(8);
    err(kLogDetail, "KOVRIN> DoRead() crc error, retry %d", 0);  // before the transfer
    tap.Open(&journal);
    err(kLogDetail, "KOVRIN> Recieve() timeout 1 (iRead=%d)", 0);
    err(kLogTrace, "KOVRIN> Wrong plc addr.%xh received", 2);  // counted, below the level shown
    tap.Close();
    err(kLogDetail, "KOVRIN> DoRead() crc error, retry %d", 2);
    tap.Mute(true);
    err(kLogMajor, "KOVRIN> Parse() Wrong size of gas, '%s'", "!S01");
    tap.Mute(false);
  }
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(journal.Count(JournalEvent::kSilence), 1u);
  EXPECT_EQ(journal.Count(JournalEvent::kWrongStation), 1u);
  EXPECT_EQ(journal.Count(JournalEvent::kBadCrc), 0u);
  EXPECT_EQ(shown,
            "[ 8] KOVRIN> DoRead() crc error, retry 0\n"
            "[ 8] KOVRIN> Recieve() timeout 1 (iRead=0)\n"
            "[ 8] KOVRIN> DoRead() crc error, retry 2\n");
}

TEST(FailureCause, TheLastAttemptsFaultNamesTheFailure) {
  struct Case {
    TransferJournal journal;
    int32_t result;
    bool portClosed;
    const char* cause;
    uint32_t retries;
  };
  const Case cases[] = {
      {JournalOf({kSilence, kRetry, kSilence, kRetry, kSilence}), 2, false, "no reply", 2},
      {JournalOf({kSilence, kRetry, kCrc}), 1, false, "bad CRC", 1},
      {JournalOf({kCrc, kRetry, kWrong}), 1, false, "wrong station", 1},
      // The wrong station's tries used up: the last retry line sent nothing.
      {JournalOf({kWrong, kRetry, kWrong, kRetry}), 1, false, "wrong station", 1},
      {JournalOf({"KOVRIN> Receive() byte count 4, 2 expected"}), 1, false, "wrong frame", 0},
      {JournalOf({kSilence, kRetry, kException4}), 2, false, "exception 4 (server device failure)", 1},
      {JournalOf({"KOVRIN> (MB-protocol) Illegal data address"}), 1, false,
       "exception 2 (illegal data address)", 0},
      {JournalOf({"KOVRIN> (MB-protocol error)"}), 1, false, "exception (a code past 8)", 0},
      {JournalOf({kCollision}), 2, false, "echo collision", 0},
      {JournalOf({kNoEcho}), 2, false, "no echo", 0},
      {JournalOf({"KOVRIN> SEND> Unable to send message.", kWriteRetry, kSilence}), 2, false, "no reply", 1},
      {JournalOf({kSilence, "KOVRIN> SEND> Unable to send message."}), 2, false, "send failure", 0},
      {JournalOf({kSkipped}), 2, false, "station demoted", 0},
      // A demotion is said after the silence that caused it.
      {JournalOf({kSilence, "KOVRIN> station 7 demoted for 30 s"}), 2, false, "no reply", 0},
      {JournalOf({}), 1, true, "port closed", 0},
      {JournalOf({}), 2, false, "port failure", 0},
      {JournalOf({"KOVRIN> BlockRead() block of 200 values does not fit one frame"}), 1, false,
       "refused by the driver", 0},
      // An answer at last: no cause, whatever went before.
      {JournalOf({kSilence, kRetry, kCrc, kRetry}), 0, false, "", 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CauseText(CauseOf(c.journal, c.result, c.portClosed)), c.cause) << "case " << (&c - cases);
    EXPECT_EQ(c.journal.Retries(c.result), c.retries) << "case " << (&c - cases);
  }
}

}  // namespace
