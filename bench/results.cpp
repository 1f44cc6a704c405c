#include "bench/results.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "bench/line_fault_report.h"
#include "bench/scenarios.h"
#include "bench/table_text.h"
#include "bench/wire_time.h"

namespace {

constexpr int kReferenceBaud = 19200;

std::vector<std::string> SplitTabs(const std::string& text) {
  std::vector<std::string> fields;
  std::string field;
  std::istringstream stream(text);
  while (std::getline(stream, field, '\t')) fields.push_back(field);
  return fields;
}

struct Row {
  const RunRecord* driver = nullptr;
  const RunRecord* libmodbus = nullptr;
};

double PerSecond(const RunRecord& r) { return r.seconds > 0 ? r.transactions / r.seconds : 0.0; }

const CostRecord* FindCost(const Results& results, const std::string& slave, const std::string& master,
                           const std::string& scenario, const char* metric) {
  for (const CostRecord& c : results.costs) {
    if (c.slave == slave && c.master == master && c.scenario == scenario && c.metric == metric) return &c;
  }
  return nullptr;
}

std::string CostPair(const Results& results, const RunRecord& d, const char* metric, const char* format) {
  if (d.baud != 0) return "";
  const CostRecord* a = FindCost(results, d.slave, "driver", d.scenario, metric);
  const CostRecord* b = FindCost(results, d.slave, "libmodbus", d.scenario, metric);
  if (a == nullptr && b == nullptr) return "";
  return (a ? Format(format, a->perTransaction) : "-") + " / " +
         (b ? Format(format, b->perTransaction) : "-");
}

double WireEfficiency(const RunRecord& r) {
  const Scenario* s = FindScenario(r.scenario.c_str());
  if (s == nullptr || r.baud == 0) return 0.0;
  return PerSecond(r) / WireLimit(LoadOf(*s), r.baud);
}

std::vector<Row> Rows(const Results& results) {
  std::vector<Row> rows;
  for (const RunRecord& r : results.runs) {
    auto same = [&](const Row& row) {
      const RunRecord* any = row.driver ? row.driver : row.libmodbus;
      return any->line == r.line && any->slave == r.slave && any->scenario == r.scenario;
    };
    auto it = std::find_if(rows.begin(), rows.end(), same);
    if (it == rows.end()) {
      rows.push_back({});
      it = rows.end() - 1;
    }
    (r.master == "driver" ? it->driver : it->libmodbus) = &r;
  }
  rows.erase(std::remove_if(rows.begin(), rows.end(), [](const Row& row) { return row.driver == nullptr; }),
             rows.end());
  return rows;
}

std::string CpuCell(const RunRecord& r) {
  if (r.cpuP99Us < 0) return "-";
  return Duration(r.cpuP99Us);
}

// The many-lines series, against k times the rate and the p99 of one line.
void PrintLinesTable(const Results& results, std::FILE* out) {
  if (results.lines.empty()) return;
  const LinesRecord* single = nullptr;
  for (const LinesRecord& r : results.lines) {
    if (r.lines == 1) single = &r;
  }
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"lines", "line", "aggregate tx/s", "k x single", "ratio", "worst line p99",
                   "p99 vs single", "CPU/tx (process)", "CPU/tx p99", "allocs/tx", "failed"});
  int met = 0;
  int steps = 0;
  double worstRatio = 0;
  double worstP99 = 0;
  for (const LinesRecord& r : results.lines) {
    std::vector<std::string> c;
    c.push_back(std::to_string(r.lines));
    c.push_back(std::to_string(r.baud) + " baud");
    c.push_back(Rate(r.aggregatePerSecond));
    if (single != nullptr && single->aggregatePerSecond > 0 && single->worstLineP99Us > 0) {
      const double expected = r.lines * single->aggregatePerSecond;
      const double ratio = r.aggregatePerSecond / expected;
      const double p99 = r.worstLineP99Us / single->worstLineP99Us;
      c.push_back(Rate(expected));
      c.push_back(Format("%.3f", ratio));
      c.push_back(Duration(r.worstLineP99Us));
      c.push_back(Format("%+.1f%%", (p99 - 1) * 100));
      ++steps;
      if (ratio >= 0.95 && p99 <= 1.10) ++met;
      if (steps == 1 || ratio < worstRatio) worstRatio = ratio;
      worstP99 = std::max(worstP99, p99);
    } else {
      c.push_back("-");
      c.push_back("-");
      c.push_back(Duration(r.worstLineP99Us));
      c.push_back("-");
    }
    c.push_back(Duration(r.cpuPerTransactionUs));
    c.push_back(Duration(r.cpuP99Us));
    const double allocations = r.transactions ? static_cast<double>(r.allocations) / r.transactions : 0.0;
    c.push_back(allocations == 0 ? "0" : Format("%.2f", allocations));
    c.push_back(std::to_string(r.failures));
    cells.push_back(c);
  }
  std::fprintf(out, "\n");
  PrintMarkdown(cells, 2, out);
  if (steps > 0) {
    std::fprintf(
        out,
        "lines: %d of %d steps meet aggregate >= 0.95 x k x single and worst-line p99 within 10%% of "
        "single; lowest ratio %.3f, worst p99 %+.1f%%\n",
        met, steps, worstRatio, (worstP99 - 1) * 100);
  }
}

}  // namespace

void WriteRunRecord(std::FILE* out, const RunRecord& r) {
  std::fprintf(out, "run\t%s\t%s\t%d\t%s\t%s\t%llu\t%llu\t%.6f\t%.3f\t%.3f\t%llu\t%.4f\t%.3f\t%.3f\n",
               r.line.c_str(), r.slave.c_str(), r.baud, r.scenario.c_str(), r.master.c_str(),
               static_cast<unsigned long long>(r.transactions), static_cast<unsigned long long>(r.failures),
               r.seconds, r.meanUs, r.p99Us, static_cast<unsigned long long>(r.allocations), r.ratioSpread,
               r.cpuMeanUs, r.cpuP99Us);
  std::fflush(out);
}

void WriteLinesRecord(std::FILE* out, const LinesRecord& r) {
  std::fprintf(out, "lines\t%d\t%d\t%llu\t%llu\t%.6f\t%.3f\t%.3f\t%.3f\t%.3f\t%llu\n", r.lines, r.baud,
               static_cast<unsigned long long>(r.transactions), static_cast<unsigned long long>(r.failures),
               r.seconds, r.aggregatePerSecond, r.worstLineP99Us, r.cpuPerTransactionUs, r.cpuP99Us,
               static_cast<unsigned long long>(r.allocations));
  std::fflush(out);
}

void WriteCycleRecord(std::FILE* out, const CycleRecord& r) {
  std::fprintf(out, "cycles\t%s\t%d\t%d\t%d\t%d\t%s\t%d\t%llu\t%llu\t%.6f\t%.6f\t%.6f\t%.6f\n",
               r.situation.c_str(), r.stations, r.gatesPerStation, r.baud, r.silentStation, r.demote.c_str(),
               r.summary.cycles, static_cast<unsigned long long>(r.reads),
               static_cast<unsigned long long>(r.failedReads), r.summary.firstS, r.summary.medianAfterFirstS,
               r.summary.minAfterFirstS, r.summary.maxAfterFirstS);
  std::fflush(out);
}

void WriteRecoveryRecord(std::FILE* out, const RecoveryRecord& r) {
  std::fprintf(out, "recovery\t%d\t%d\t%d\t%s\t%.6f\t%.6f\t%d\t%.6f\t%.6f\t%.6f\n", r.stations, r.baud,
               r.silentStation, r.demote.c_str(), r.answersAtS, r.figures.demotedAtS, r.figures.silentProbes,
               r.figures.periodInEffectS, r.figures.backAfterS, r.steadyCycleS);
  std::fflush(out);
}

void WriteEchoRecord(std::FILE* out, const EchoRecord& r) {
  std::fprintf(out, "echo\t%s\t%s\t%d\t%llu\t%llu\t%.6f\t%.3f\t%.3f\n", r.lineEcho.c_str(), r.setting.c_str(),
               r.baud, static_cast<unsigned long long>(r.transactions),
               static_cast<unsigned long long>(r.failures), r.seconds, r.meanUs, r.p99Us);
  std::fflush(out);
}

namespace {

// The records of the line faults; false when f is none of them.
bool ReadLineFaultRecord(const std::vector<std::string>& f, Results* results) {
  auto count = [&](size_t i) { return std::strtoull(f[i].c_str(), nullptr, 10); };
  auto number = [&](size_t i) { return std::atoi(f[i].c_str()); };
  auto seconds = [&](size_t i) { return std::atof(f[i].c_str()); };
  if (f.size() == 14 && f[0] == "cycles") {
    results->cycles.push_back({f[1],
                               number(2),
                               number(3),
                               number(4),
                               number(5),
                               f[6],
                               count(8),
                               count(9),
                               {number(7), seconds(10), seconds(11), seconds(12), seconds(13)}});
  } else if (f.size() == 11 && f[0] == "recovery") {
    results->recoveries.push_back({number(1),
                                   number(2),
                                   number(3),
                                   f[4],
                                   seconds(5),
                                   {seconds(6), number(7), seconds(8), seconds(9)},
                                   seconds(10)});
  } else if (f.size() == 9 && f[0] == "echo") {
    results->echoes.push_back(
        {f[1], f[2], number(3), count(4), count(5), seconds(6), seconds(7), seconds(8)});
  } else {
    return false;
  }
  return true;
}

}  // namespace

bool ReadResults(const char* path, Results* results, std::string* error) {
  std::ifstream in(path);
  if (!in) {
    *error = std::string("cannot read ") + path;
    return false;
  }
  std::string text;
  while (std::getline(in, text)) {
    const std::vector<std::string> f = SplitTabs(text);
    if (f.size() >= 12 && f[0] == "run") {
      RunRecord r;
      r.line = f[1];
      r.slave = f[2];
      r.baud = std::atoi(f[3].c_str());
      r.scenario = f[4];
      r.master = f[5];
      r.transactions = std::strtoull(f[6].c_str(), nullptr, 10);
      r.failures = std::strtoull(f[7].c_str(), nullptr, 10);
      r.seconds = std::atof(f[8].c_str());
      r.meanUs = std::atof(f[9].c_str());
      r.p99Us = std::atof(f[10].c_str());
      r.allocations = std::strtoull(f[11].c_str(), nullptr, 10);
      if (f.size() > 12) r.ratioSpread = std::atof(f[12].c_str());
      if (f.size() > 14) {
        r.cpuMeanUs = std::atof(f[13].c_str());
        r.cpuP99Us = std::atof(f[14].c_str());
      }
      results->runs.push_back(r);
    } else if (f.size() == 11 && f[0] == "lines") {
      LinesRecord r;
      r.lines = std::atoi(f[1].c_str());
      r.baud = std::atoi(f[2].c_str());
      r.transactions = std::strtoull(f[3].c_str(), nullptr, 10);
      r.failures = std::strtoull(f[4].c_str(), nullptr, 10);
      r.seconds = std::atof(f[5].c_str());
      r.aggregatePerSecond = std::atof(f[6].c_str());
      r.worstLineP99Us = std::atof(f[7].c_str());
      r.cpuPerTransactionUs = std::atof(f[8].c_str());
      r.cpuP99Us = std::atof(f[9].c_str());
      r.allocations = std::strtoull(f[10].c_str(), nullptr, 10);
      results->lines.push_back(r);
    } else if (f.size() == 6 && f[0] == "cost") {
      results->costs.push_back({f[1], f[2], f[3], f[4], std::atof(f[5].c_str())});
    } else {
      ReadLineFaultRecord(f, results);
    }
  }
  return true;
}

namespace {

void PrintMainTable(const Results& results, std::FILE* out) {
  std::vector<std::vector<std::string>> cells;
  cells.push_back({"line", "slave", "scenario", "driver tx/s", "libmodbus tx/s", "ratio (95%)",
                   "driver mean / p99", "libmodbus mean / p99", "CPU/tx p99 drv / lmb", "wire eff. drv / lmb",
                   "instr/tx drv / lmb", "syscalls/tx drv / lmb", "allocs/tx drv", "wire @19200",
                   "failed drv / lmb"});
  const std::vector<Row> rows = Rows(results);

  double minRatio = 0;
  double minRatioSpread = -1;
  std::string minRatioAt;
  int sharedRows = 0;
  int ratioMet = 0;
  int withinNoise = 0;
  int emulatedRows = 0;
  double driverEfficiency = 0;
  double libmodbusEfficiency = 0;
  double maxAllocations = 0;
  double maxCpuP99 = 0;
  double maxLibmodbusCpuP99 = 0;
  for (const Row& row : rows) {
    const RunRecord& d = *row.driver;
    const RunRecord* l = row.libmodbus;
    const Scenario* scenario = FindScenario(d.scenario.c_str());
    const std::string title = scenario ? scenario->title : d.scenario;
    const WireLoad load = scenario ? LoadOf(*scenario) : WireLoad{};
    std::vector<std::string> c;
    c.push_back(d.baud == 0 ? "pty" : d.line + " baud");
    c.push_back(d.slave);
    c.push_back(title);
    c.push_back(Rate(PerSecond(d)));
    c.push_back(l ? Rate(PerSecond(*l)) : "-");
    if (l != nullptr && PerSecond(*l) > 0) {
      const double ratio = PerSecond(d) / PerSecond(*l);
      c.push_back(Format("%.2f", ratio) + (d.ratioSpread >= 0 ? Format(" ± %.2f", d.ratioSpread) : ""));
      if (sharedRows == 0 || ratio < minRatio) {
        minRatio = ratio;
        minRatioSpread = d.ratioSpread;
        minRatioAt = c[0] + " " + d.scenario;
      }
      ++sharedRows;
      if (ratio >= 1.0) {
        ++ratioMet;
      } else if (d.ratioSpread >= 0 && ratio + d.ratioSpread >= 1.0) {
        ++withinNoise;
      }
    } else {
      c.push_back("-");
    }
    c.push_back(Duration(d.meanUs) + " / " + Duration(d.p99Us));
    c.push_back(l ? Duration(l->meanUs) + " / " + Duration(l->p99Us) : "-");
    c.push_back(CpuCell(d) + " / " + (l ? CpuCell(*l) : "-"));
    // The shared rows only: a report fetch is many exchanges.
    if (l != nullptr && d.cpuP99Us >= 0 && l->cpuP99Us >= 0) {
      maxCpuP99 = std::max(maxCpuP99, d.cpuP99Us);
      maxLibmodbusCpuP99 = std::max(maxLibmodbusCpuP99, l->cpuP99Us);
    }
    if (d.baud != 0) {
      const double de = WireEfficiency(d);
      std::string cell = Format("%.1f%%", de * 100);
      if (l != nullptr) {
        const double le = WireEfficiency(*l);
        cell += " / " + Format("%.1f%%", le * 100);
        ++emulatedRows;
        driverEfficiency += de;
        libmodbusEfficiency += le;
      }
      c.push_back(cell);
    } else {
      c.push_back("");
    }
    c.push_back(CostPair(results, d, "instructions", "%.0f"));
    c.push_back(CostPair(results, d, "syscalls", "%.1f"));
    const double allocations = d.transactions ? static_cast<double>(d.allocations) / d.transactions : 0.0;
    maxAllocations = std::max(maxAllocations, allocations);
    c.push_back(allocations == 0 ? "0" : Format("%.2f", allocations));
    c.push_back(Duration(WireMicroseconds(load, kReferenceBaud)));
    c.push_back(std::to_string(d.failures) + " / " + (l ? std::to_string(l->failures) : "-"));
    cells.push_back(c);
  }
  PrintMarkdown(cells, 3, out);

  std::string headline = "headline:";
  if (sharedRows > 0) {
    headline += " throughput driver/libmodbus >= 1.0 on " + std::to_string(ratioMet) + " of " +
                std::to_string(sharedRows) + " shared rows (" + std::to_string(withinNoise) +
                " more within the round-to-round noise), min " + Format("%.2f", minRatio) +
                (minRatioSpread >= 0 ? Format(" ± %.2f", minRatioSpread) : "") + " (" + minRatioAt + ");";
  }
  if (emulatedRows > 0) {
    headline += " wire efficiency on emulated lines driver " +
                Format("%.1f%%", driverEfficiency / emulatedRows * 100) + " vs libmodbus " +
                Format("%.1f%%", libmodbusEfficiency / emulatedRows * 100) + " (mean);";
  }
  for (const char* metric : {"instructions", "syscalls"}) {
    const CostRecord* a = nullptr;
    const CostRecord* b = nullptr;
    for (const CostRecord& cost : results.costs) {
      if (cost.scenario != "read1" || cost.metric != metric) continue;
      if (cost.master == "driver" && a == nullptr) a = &cost;
      if (cost.master == "libmodbus" && b == nullptr) b = &cost;
    }
    if (a != nullptr && b != nullptr) {
      const char* format = std::string(metric) == "syscalls" ? "%.1f" : "%.0f";
      headline += std::string(" ") + metric + " per 1-register read " + Format(format, a->perTransaction) +
                  " vs " + Format(format, b->perTransaction) + ";";
    }
  }
  if (maxCpuP99 > 0) {
    headline += " CPU per transaction p99 (shared rows) at most " + Duration(maxCpuP99) + " (driver) vs " +
                Duration(maxLibmodbusCpuP99) + " (libmodbus);";
  }
  headline += " driver heap allocations/transaction " +
              (maxAllocations == 0 ? std::string("0") : Format("%.2f", maxAllocations));
  std::fprintf(out, "%s\n", headline.c_str());
}

}  // namespace

void PrintTable(const Results& results, std::FILE* out) {
  // A run of the line faults alone has none of the main table's records.
  if (!results.runs.empty() || !results.costs.empty()) PrintMainTable(results, out);
  PrintLinesTable(results, out);
  PrintLineFaultTables(results, out);
}
