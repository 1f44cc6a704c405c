#include "host/vpihost/poll_summary.h"

#include <algorithm>
#include <cstddef>
#include <cstdio>

#include "host/vpihost/value_format.h"

void PollSummary::Record(size_t gate, int32_t result, double milliseconds, const std::string& cause,
                         uint32_t retries) {
  GateStats& stats = gates_.at(gate);
  stats.retries += retries;
  if (stats.transfers == 0 || milliseconds < stats.minMs) stats.minMs = milliseconds;
  if (stats.transfers == 0 || milliseconds > stats.maxMs) stats.maxMs = milliseconds;
  stats.totalMs += milliseconds;
  ++stats.transfers;
  if (result == 0) {
    ++stats.successes;
  } else {
    ++stats.failures[result];
    if (!cause.empty()) ++stats.causes[result][cause];
  }
}

void PollSummary::RecordStation(int32_t station, int32_t result, double milliseconds,
                                const TransferJournal& journal) {
  StationStats& stats = stations_[station];
  ++stats.transfers;
  stats.retries += journal.Retries(result);
  if (result == 0) {
    ++stats.successes;
    stats.replyMs.push_back(milliseconds);
  } else if (journal.HeardNothing()) {
    ++stats.silent;
  }
  stats.wrongFrames += journal.Count(JournalEvent::kWrongFrame) + journal.Count(JournalEvent::kWrongStation);
  stats.badCrcs += journal.Count(JournalEvent::kBadCrc);
  stats.echoCollisions += journal.Count(JournalEvent::kEchoCollision);
  stats.echoesMissing += journal.Count(JournalEvent::kEchoMissing);
  stats.demotions += journal.Count(JournalEvent::kDemotion);
  stats.skipped += journal.Count(JournalEvent::kSkipped);
  for (int code = 0; code <= kLastNamedExceptionCode; ++code) {
    if (journal.Exceptions(code) != 0) stats.exceptions[code] += journal.Exceptions(code);
  }
}

void PollSummary::SetStationState(int32_t station, int32_t state) {
  const auto found = stations_.find(station);
  if (found != stations_.end()) found->second.state = state;
}

const char* StationStateText(int32_t state) {
  switch (state) {
    case kStationStateUnknown:
      return "-";
    case 0:
      return "answering";
    case 1:
      return "no reply";
    case 2:
      return "demoted";
    default:
      return "?";
  }
}

double StationStats::MinReplyMs() const {
  return replyMs.empty() ? 0 : *std::min_element(replyMs.begin(), replyMs.end());
}

double StationStats::MeanReplyMs() const {
  double total = 0;
  for (const double ms : replyMs) total += ms;
  return replyMs.empty() ? 0 : total / static_cast<double>(replyMs.size());
}

double StationStats::P99ReplyMs() const { return P99(replyMs); }

std::vector<std::pair<int, uint64_t>> StationStats::ExceptionsInOrder() const {
  std::vector<std::pair<int, uint64_t>> ordered;
  for (const auto& [code, count] : exceptions) {
    if (code != kOtherExceptionCode) ordered.emplace_back(code, count);
  }
  const auto other = exceptions.find(kOtherExceptionCode);
  if (other != exceptions.end()) ordered.emplace_back(*other);
  return ordered;
}

std::string StationStats::ExceptionsText() const {
  std::string text;
  for (const auto& [code, count] : ExceptionsInOrder()) {
    if (!text.empty()) text += " ";
    text += (code == kOtherExceptionCode ? std::string("other") : std::to_string(code)) + ":" +
            std::to_string(count);
  }
  return text;
}

double P99(std::vector<double> milliseconds) {
  if (milliseconds.empty()) return 0;
  // Rank ceil(0.99 n), counted from 1; in whole numbers, so that 100 times
  // give rank 99 and not 100 through a rounding of 0.99 * 100.
  const size_t rank = (milliseconds.size() * 99 + 99) / 100;
  const auto at = milliseconds.begin() + static_cast<std::ptrdiff_t>(rank - 1);
  std::nth_element(milliseconds.begin(), at, milliseconds.end());
  return *at;
}

uint64_t PollSummary::transfers() const {
  uint64_t sum = 0;
  for (const GateStats& stats : gates_) sum += stats.transfers;
  return sum;
}

uint64_t PollSummary::failed() const {
  uint64_t sum = 0;
  for (const GateStats& stats : gates_) sum += stats.failed();
  return sum;
}

uint64_t PollSummary::retries() const {
  uint64_t sum = 0;
  for (const GateStats& stats : gates_) sum += stats.retries;
  return sum;
}

double PollSummary::FailedShare() const {
  const uint64_t all = transfers();
  return all == 0 ? 0 : static_cast<double>(failed()) / static_cast<double>(all);
}

double PollSummary::TransfersPerSecond() const {
  return seconds_ <= 0 ? 0 : static_cast<double>(transfers()) / seconds_;
}

namespace {

// A row without the blanks of its empty last columns.
std::string TrimmedRow(const char* line) {
  std::string row = line;
  row.erase(row.find_last_not_of(" \n") + 1);
  return row + "\n";
}

// A time column, "-" for a station that never answered.
std::string MsText(bool known, double milliseconds) {
  char text[32] = "-";
  if (known) std::snprintf(text, sizeof text, "%.2f", milliseconds);
  return text;
}

std::string StationTableText(const PollSummary& summary) {
  std::string text = "\n";
  char line[512];
  std::snprintf(line, sizeof line, "%7s %10s %9s %7s %7s %7s %6s %11s %8s %8s %8s %8s %8s %8s  %-9s  %s\n",
                "station", "transfers", "ok", "retries", "silent", "wrong", "crc", "collisions", "no echo",
                "demoted", "skipped", "min ms", "mean ms", "p99 ms", "state", "exceptions by code");
  text += line;
  for (const auto& [station, stats] : summary.stations()) {
    std::snprintf(
        line, sizeof line,
        "%7d %10llu %9llu %7llu %7llu %7llu %6llu %11llu %8llu %8llu %8llu %8s %8s %8s  %-9s  %s\n", station,
        static_cast<unsigned long long>(stats.transfers), static_cast<unsigned long long>(stats.successes),
        static_cast<unsigned long long>(stats.retries), static_cast<unsigned long long>(stats.silent),
        static_cast<unsigned long long>(stats.wrongFrames), static_cast<unsigned long long>(stats.badCrcs),
        static_cast<unsigned long long>(stats.echoCollisions),
        static_cast<unsigned long long>(stats.echoesMissing),
        static_cast<unsigned long long>(stats.demotions), static_cast<unsigned long long>(stats.skipped),
        MsText(stats.HasReplies(), stats.MinReplyMs()).c_str(),
        MsText(stats.HasReplies(), stats.MeanReplyMs()).c_str(),
        MsText(stats.HasReplies(), stats.P99ReplyMs()).c_str(), StationStateText(stats.state),
        stats.ExceptionsText().c_str());
    text += TrimmedRow(line);
  }
  return text;
}

}  // namespace

std::string SummaryText(const PollSummary& summary, const std::vector<GateLabel>& labels) {
  std::string text;
  char line[512];
  std::snprintf(line, sizeof line,
                "summary: %d cycle%s%s in %.1f s, %llu transfers (%.1f a second), %llu failed (%.1f %%), "
                "%llu retries\n",
                summary.cycles(), summary.cycles() == 1 ? "" : "s",
                summary.interrupted() ? " (interrupted)" : "", summary.seconds(),
                static_cast<unsigned long long>(summary.transfers()), summary.TransfersPerSecond(),
                static_cast<unsigned long long>(summary.failed()), 100 * summary.FailedShare(),
                static_cast<unsigned long long>(summary.retries()));
  text += line;
  std::snprintf(line, sizeof line, "%3s  %-10s %-8s %9s %9s %7s %7s %8s %8s %8s  %s\n", "#", "address",
                "type", "transfers", "ok", "failed", "retries", "min ms", "mean ms", "max ms",
                "failures by result: cause");
  text += line;
  for (size_t i = 0; i < summary.gates().size(); ++i) {
    const GateStats& stats = summary.gates()[i];
    if (stats.transfers == 0) continue;
    std::string byResult;
    for (const auto& [result, count] : stats.failures) {
      if (!byResult.empty()) byResult += "; ";
      byResult += std::to_string(result) + " " + ResultMeaning(result) + " x" + std::to_string(count);
      const auto causes = stats.causes.find(result);
      if (causes == stats.causes.end()) continue;
      const char* separator = ": ";
      for (const auto& [cause, times] : causes->second) {
        byResult += separator + cause + " x" + std::to_string(times);
        separator = ", ";
      }
    }
    const GateLabel label = i < labels.size() ? labels[i] : GateLabel{};
    std::snprintf(
        line, sizeof line, "%3zu  %-10s %-8s %9llu %9llu %7llu %7llu %8.2f %8.2f %8.2f  %s\n", i + 1,
        label.address.c_str(), label.type.c_str(), static_cast<unsigned long long>(stats.transfers),
        static_cast<unsigned long long>(stats.successes), static_cast<unsigned long long>(stats.failed()),
        static_cast<unsigned long long>(stats.retries), stats.minMs, stats.meanMs(), stats.maxMs,
        byResult.c_str());
    text += TrimmedRow(line);
  }
  if (!summary.stations().empty()) text += StationTableText(summary);
  return text;
}
