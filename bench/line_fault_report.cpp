#include "bench/line_fault_report.h"

#include <string>
#include <vector>

#include "bench/table_text.h"
#include "bench/wire_time.h"

namespace {

// "1,30" as the init file spells it.
std::string DemoteText(const std::string& demote) {
  if (demote == "-") return "-";
  const size_t comma = demote.find(',');
  if (comma == std::string::npos) return demote;
  return demote.substr(0, comma) + " , " + demote.substr(comma + 1);
}

std::string Seconds(double s) { return Format("%.3f s", s); }

// The all-answering cycles of the same line, or null.
const CycleRecord* AnsweringLike(const Results& results, const CycleRecord& r) {
  for (const CycleRecord& a : results.cycles) {
    if (a.silentStation == 0 && a.stations == r.stations && a.gatesPerStation == r.gatesPerStation &&
        a.baud == r.baud && a.summary.medianAfterFirstS > 0)
      return &a;
  }
  return nullptr;
}

// The echo-less line at the same rate, or null.
const EchoRecord* PlainLike(const Results& results, const EchoRecord& r) {
  for (const EchoRecord& p : results.echoes) {
    if (p.lineEcho == "none" && p.baud == r.baud && p.transactions > 0) return &p;
  }
  return nullptr;
}

bool WithinPeriod(const RecoveryRecord& r) {
  // The probe comes at the station's turn in the cycle: one cycle's grace.
  return r.figures.backAfterS >= 0 && r.figures.backAfterS <= r.figures.periodInEffectS + r.steadyCycleS;
}

void PrintCycles(const Results& results, std::FILE* out) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"stations x gates", "line", "silent station", "DEMOTE", "cycles", "first cycle",
                   "cycle after the first (median)", "min / max after the first", "vs all answering",
                   "reads failed"});
  for (const CycleRecord& r : results.cycles) {
    const CycleRecord* answering = AnsweringLike(results, r);
    cells.push_back(
        {std::to_string(r.stations) + " x " + std::to_string(r.gatesPerStation),
         std::to_string(r.baud) + " baud", r.silentStation ? std::to_string(r.silentStation) : "none",
         DemoteText(r.demote), std::to_string(r.summary.cycles), Seconds(r.summary.firstS),
         Seconds(r.summary.medianAfterFirstS),
         Seconds(r.summary.minAfterFirstS) + " / " + Seconds(r.summary.maxAfterFirstS),
         answering ? Format("%.2f x", r.summary.medianAfterFirstS / answering->summary.medianAfterFirstS)
                   : "-",
         std::to_string(r.failedReads) + " of " + std::to_string(r.reads)});
  }
  std::fprintf(out, "\n");
  PrintMarkdown(cells, 4, out);
}

void PrintRecoveries(const Results& results, std::FILE* out) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"DEMOTE", "silent station", "answers again at", "demoted at", "silent probes",
                   "probe period then", "back in the cycle after", "within the period"});
  for (const RecoveryRecord& r : results.recoveries) {
    cells.push_back({DemoteText(r.demote), std::to_string(r.silentStation), Format("%.1f s", r.answersAtS),
                     r.figures.demotedAtS < 0 ? "never" : Format("%.1f s", r.figures.demotedAtS),
                     std::to_string(r.figures.silentProbes), Format("%.0f s", r.figures.periodInEffectS),
                     r.figures.backAfterS < 0 ? "never" : Format("%.1f s", r.figures.backAfterS),
                     WithinPeriod(r) ? "yes" : "no"});
  }
  std::fprintf(out, "\n");
  PrintMarkdown(cells, 2, out);
}

void PrintEchoes(const Results& results, std::FILE* out) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"line's echo", "ECHO", "line", "tx/s", "vs no echo", "mean / p99", "mean vs no echo",
                   "the echo on the wire", "failed"});
  const auto perSecond = [](const EchoRecord& r) { return r.seconds > 0 ? r.transactions / r.seconds : 0.0; };
  for (const EchoRecord& r : results.echoes) {
    const EchoRecord* plain = PlainLike(results, r);
    const bool echoes = r.lineEcho != "none";
    cells.push_back(
        {r.lineEcho, r.setting, std::to_string(r.baud) + " baud", Rate(perSecond(r)),
         plain && echoes && plain->seconds > 0 ? Format("%.3f", perSecond(r) / perSecond(*plain)) : "-",
         Duration(r.meanUs) + " / " + Duration(r.p99Us),
         plain && echoes ? Format("%+.2f ms", (r.meanUs - plain->meanUs) / 1000) : "-",
         echoes ? Format("%.2f ms", EchoMicroseconds(kEchoedRequestBytes, r.baud) / 1000) : "-",
         std::to_string(r.failures) + " of " + std::to_string(r.transactions)});
  }
  std::fprintf(out, "\n");
  PrintMarkdown(cells, 3, out);
}

void Verdict(std::FILE* out, bool pass, const std::string& text, int* failed) {
  std::fprintf(out, "%s %s\n", pass ? "PASS" : "FAIL", text.c_str());
  if (!pass) ++*failed;
}

}  // namespace

void PrintLineFaultTables(const Results& results, std::FILE* out) {
  if (!results.cycles.empty()) PrintCycles(results, out);
  if (!results.recoveries.empty()) PrintRecoveries(results, out);
  if (!results.echoes.empty()) PrintEchoes(results, out);
}

bool CheckLineFaultTargets(const Results& results, std::FILE* out) {
  int failed = 0;
  int judged = 0;
  for (const CycleRecord& r : results.cycles) {
    const std::string line = std::to_string(r.stations) + " stations at " + std::to_string(r.baud) + " baud";
    if (r.silentStation == 0) {
      ++judged;
      Verdict(out, r.failedReads == 0 && r.reads > 0,
              "multidrop: " + line + ", all answering: " + std::to_string(r.failedReads) + " of " +
                  std::to_string(r.reads) + " reads failed",
              &failed);
      continue;
    }
    if (r.demote == "-") continue;  // today's behaviour without demotion: measured, not judged
    ++judged;
    const CycleRecord* answering = AnsweringLike(results, r);
    const std::string what = "multidrop: " + line + ", station " + std::to_string(r.silentStation) +
                             " silent, DEMOTE = " + DemoteText(r.demote) + ": ";
    if (answering == nullptr || r.summary.cycles < 2) {
      Verdict(out, false, what + "no steady cycle or no all-answering cycle to compare with", &failed);
      continue;
    }
    const double ratio = r.summary.medianAfterFirstS / answering->summary.medianAfterFirstS;
    Verdict(out, ratio <= kDemotedCycleLimit,
            what + "the cycle after the first " + Seconds(r.summary.medianAfterFirstS) + ", " +
                Format("%.2f", ratio) + " x the all-answering " +
                Seconds(answering->summary.medianAfterFirstS) + " (at most " +
                Format("%.2f", kDemotedCycleLimit) + " x)",
            &failed);
  }
  for (const RecoveryRecord& r : results.recoveries) {
    ++judged;
    const std::string what =
        "recovery: station " + std::to_string(r.silentStation) + ", DEMOTE = " + DemoteText(r.demote) + ": ";
    Verdict(out, WithinPeriod(r),
            what +
                (r.figures.backAfterS < 0 ? std::string("never back in the cycle")
                                          : "back in the cycle " + Format("%.1f s", r.figures.backAfterS) +
                                                " after it answers again") +
                ", probe period then " + Format("%.0f s", r.figures.periodInEffectS) + " (and one cycle of " +
                Seconds(r.steadyCycleS) + ")",
            &failed);
  }
  for (const EchoRecord& r : results.echoes) {
    ++judged;
    Verdict(out, r.failures == 0 && r.transactions > 0,
            "echo: --echo " + r.lineEcho + ", ECHO = " + r.setting + ": " + std::to_string(r.failures) +
                " of " + std::to_string(r.transactions) + " transactions failed",
            &failed);
  }
  if (judged == 0)
    Verdict(out, false, "nothing to judge: no all-answering, demoted, recovery or echo records", &failed);
  return failed == 0;
}
