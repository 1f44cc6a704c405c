#include "host/vpihost/poll_summary.h"

#include <cstdio>

#include "host/vpihost/value_format.h"

void PollSummary::Record(size_t gate, int32_t result, double milliseconds) {
  GateStats& stats = gates_.at(gate);
  if (stats.transfers == 0 || milliseconds < stats.minMs) stats.minMs = milliseconds;
  if (stats.transfers == 0 || milliseconds > stats.maxMs) stats.maxMs = milliseconds;
  stats.totalMs += milliseconds;
  ++stats.transfers;
  if (result == 0) {
    ++stats.successes;
  } else {
    ++stats.failures[result];
  }
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

double PollSummary::FailedShare() const {
  const uint64_t all = transfers();
  return all == 0 ? 0 : static_cast<double>(failed()) / static_cast<double>(all);
}

double PollSummary::TransfersPerSecond() const {
  return seconds_ <= 0 ? 0 : static_cast<double>(transfers()) / seconds_;
}

std::string SummaryText(const PollSummary& summary, const std::vector<GateLabel>& labels) {
  std::string text;
  char line[512];
  std::snprintf(line, sizeof line,
                "summary: %d cycle%s%s in %.1f s, %llu transfers (%.1f a second), %llu failed (%.1f %%)\n",
                summary.cycles(), summary.cycles() == 1 ? "" : "s",
                summary.interrupted() ? " (interrupted)" : "", summary.seconds(),
                static_cast<unsigned long long>(summary.transfers()), summary.TransfersPerSecond(),
                static_cast<unsigned long long>(summary.failed()), 100 * summary.FailedShare());
  text += line;
  std::snprintf(line, sizeof line, "%3s  %-10s %-8s %9s %9s %7s %8s %8s %8s  %s\n", "#", "address", "type",
                "transfers", "ok", "failed", "min ms", "mean ms", "max ms", "failures by result");
  text += line;
  for (size_t i = 0; i < summary.gates().size(); ++i) {
    const GateStats& stats = summary.gates()[i];
    if (stats.transfers == 0) continue;
    std::string byResult;
    for (const auto& [result, count] : stats.failures) {
      if (!byResult.empty()) byResult += ", ";
      byResult += std::to_string(result) + " " + ResultMeaning(result) + " x" + std::to_string(count);
    }
    const GateLabel label = i < labels.size() ? labels[i] : GateLabel{};
    std::snprintf(line, sizeof line, "%3zu  %-10s %-8s %9llu %9llu %7llu %8.2f %8.2f %8.2f  %s\n", i + 1,
                  label.address.c_str(), label.type.c_str(), static_cast<unsigned long long>(stats.transfers),
                  static_cast<unsigned long long>(stats.successes),
                  static_cast<unsigned long long>(stats.failed()), stats.minMs, stats.meanMs(), stats.maxMs,
                  byResult.c_str());
    std::string row = line;
    row.erase(row.find_last_not_of(" \n") + 1);
    text += row + "\n";
  }
  return text;
}
