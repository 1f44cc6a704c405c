#include "host/vpihost/poll_output.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <nlohmann/json.hpp>

#include "host/vpihost/value_format.h"

namespace {

using Json = nlohmann::ordered_json;

constexpr size_t kValueWidth = 36;

const char* ResultTextOf(const Reading& r) {
  switch (r.kind) {
    case Reading::Kind::kTransfer:
      return ResultMeaning(r.result);
    case Reading::Kind::kRefused:
      return "address refused";
    case Reading::Kind::kText:
      return "text kept by the host";
    case Reading::Kind::kTrigger:
      return "report trigger: write a report number to fetch";
  }
  return "";
}

bool HasResult(const Reading& r) {
  return r.kind == Reading::Kind::kTransfer || r.kind == Reading::Kind::kRefused;
}
bool HasValues(const Reading& r) {
  return (r.kind == Reading::Kind::kTransfer && r.result == 0 && !r.values.empty()) ||
         (r.kind == Reading::Kind::kText && !r.values.empty());
}

// RFC 4180: a field with a comma, a quote or a line break goes in quotes,
// its quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
  return quoted + "\"";
}

// Device texts are bytes: UTF-8 passes as it is, anything else is taken as
// Latin-1 so that no byte is lost or replaced.
Json JsonText(const std::string& raw) {
  Json text = raw;
  try {
    (void)text.dump();
    return text;
  } catch (const Json::type_error&) {
    std::string utf8;
    for (const char c : raw) {
      const auto byte = static_cast<unsigned char>(c);
      if (byte < 0x80) {
        utf8 += c;
      } else {
        utf8 += static_cast<char>(0xC0 | (byte >> 6));
        utf8 += static_cast<char>(0x80 | (byte & 0x3F));
      }
    }
    return utf8;
  }
}

// A value's text as a JSON number; floats that are no number as the names
// JSON readers commonly take ("NaN", "Infinity", "-Infinity").
Json JsonNumber(const std::string& text, bool isFloat) {
  if (!isFloat) return std::strtoull(text.c_str(), nullptr, 10);
  const double value = std::strtod(text.c_str(), nullptr);
  if (std::isnan(value)) return "NaN";
  if (std::isinf(value)) return value > 0 ? "Infinity" : "-Infinity";
  return value;
}

// Times to the microsecond, rates to a thousandth: finer digits are noise.
double Rounded(double value, double decimals) {
  const double scale = std::pow(10.0, decimals);
  return std::round(value * scale) / scale;
}

std::string JoinedValues(const Reading& r) {
  std::string joined;
  for (size_t i = 0; i < r.values.size(); ++i) joined += (i != 0 ? "," : "") + r.values[i];
  return joined;
}

class TableWriter : public ReadingsWriter {
 public:
  TableWriter(std::FILE* out, bool redraw, bool showCycles)
      : out_(out), redraw_(redraw), showCycles_(showCycles) {}

  void BeginCycle(int cycle, int cycles, double elapsed) override {
    if (redraw_) {
      // Back to the first line of the last cycle's table, and clear below.
      if (drawn_ > 0) std::fprintf(out_, "\x1b[%dA\r\x1b[J", drawn_);
      drawn_ = 0;
      char line[96];
      if (cycles > 0) {
        std::snprintf(line, sizeof line, "cycle %d of %d, %.1f s", cycle, cycles, elapsed);
      } else {
        std::snprintf(line, sizeof line, "cycle %d, %.1f s", cycle, elapsed);
      }
      Line(line);
    } else if (showCycles_) {
      Line("cycle " + std::to_string(cycle));
    }
    char header[96];
    std::snprintf(header, sizeof header, "%3s  %-10s %-8s %-36s %s", "#", "address", "type", "value",
                  "result");
    Line(header);
  }

  void Write(const Reading& reading) override { Line(TableRow(reading)); }
  void Note(const std::string& line) override { Line(line); }

  void Summary(const PollSummary& summary, const std::vector<GateLabel>& labels) override {
    std::fprintf(out_, "\n%s", SummaryText(summary, labels).c_str());
    std::fflush(out_);
  }

 private:
  void Line(const std::string& text) {
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
    ++drawn_;
  }

  std::FILE* out_;
  bool redraw_;
  bool showCycles_;
  int drawn_ = 0;
};

// The summary of the machine-readable formats: stdout keeps only records.
void NoteOnStderr(const std::string& line) {
  std::fflush(stdout);
  std::fprintf(stderr, "%s\n", line.c_str());
}

class CsvWriter : public ReadingsWriter {
 public:
  explicit CsvWriter(std::FILE* out) : out_(out) {}

  void BeginCycle(int, int, double) override {
    if (headerDone_) return;
    std::fputs(kCsvHeader, out_);
    headerDone_ = true;
  }
  void Write(const Reading& reading) override {
    std::fputs(CsvRecord(reading).c_str(), out_);
    std::fflush(out_);
  }
  void Note(const std::string& line) override { NoteOnStderr(line); }
  void Summary(const PollSummary& summary, const std::vector<GateLabel>& labels) override {
    std::fflush(out_);
    std::fprintf(stderr, "%s", SummaryText(summary, labels).c_str());
  }

 private:
  std::FILE* out_;
  bool headerDone_ = false;
};

class JsonWriter : public ReadingsWriter {
 public:
  explicit JsonWriter(std::FILE* out) : out_(out) {}

  void BeginCycle(int, int, double) override {}
  void Write(const Reading& reading) override {
    std::fprintf(out_, "%s\n", JsonLine(reading).c_str());
    std::fflush(out_);
  }
  void Note(const std::string& line) override { NoteOnStderr(line); }
  void Summary(const PollSummary& summary, const std::vector<GateLabel>& labels) override {
    std::fprintf(out_, "%s\n", SummaryJsonLine(summary, labels).c_str());
    std::fflush(out_);
  }

 private:
  std::FILE* out_;
};

}  // namespace

const char kCsvHeader[] = "time,cycle,gate,address,type,value,result,result_text,cause,retries\r\n";

std::unique_ptr<ReadingsWriter> MakeReadingsWriter(OutputFormat format, std::FILE* out, bool redraw,
                                                   bool showCycles) {
  switch (format) {
    case OutputFormat::kCsv:
      return std::make_unique<CsvWriter>(out);
    case OutputFormat::kJson:
      return std::make_unique<JsonWriter>(out);
    case OutputFormat::kTable:
      break;
  }
  return std::make_unique<TableWriter>(out, redraw, showCycles);
}

std::string UtcTimeText(std::chrono::system_clock::time_point time) {
  const auto sinceEpoch = time.time_since_epoch();
  const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(sinceEpoch);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(sinceEpoch - seconds).count();
  const std::time_t whole = static_cast<std::time_t>(seconds.count());
  const std::tm* utc = std::gmtime(&whole);  // one thread formats
  char date[32] = "";
  if (utc != nullptr) std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", utc);
  char text[48];
  std::snprintf(text, sizeof text, "%s.%03dZ", date, static_cast<int>(millis));
  return text;
}

std::string TableRow(const Reading& r) {
  char row[256];
  switch (r.kind) {
    case Reading::Kind::kText:
      std::snprintf(row, sizeof row, "%3zu  %-10s %-8s %s", r.gate + 1, r.address.c_str(), r.type.c_str(),
                    TableText(r.values.empty() ? std::string() : r.values[0], kValueWidth).c_str());
      return row;
    case Reading::Kind::kTrigger:
      std::snprintf(row, sizeof row, "%3zu  %-10s %-8s %s", r.gate + 1, r.address.c_str(), r.type.c_str(),
                    "(write a report number to fetch)");
      return row;
    case Reading::Kind::kRefused:
    case Reading::Kind::kTransfer:
      break;
  }
  std::string value = "-";
  if (r.kind == Reading::Kind::kRefused) {
    value = "(address refused)";
  } else if (HasValues(r)) {
    value = r.block ? TableBlock(r.values, kValueWidth) : r.values[0];
  }
  std::snprintf(row, sizeof row, "%3zu  %-10s %-8s %-36s %d %s%s%s", r.gate + 1, r.address.c_str(),
                r.type.c_str(), value.c_str(), r.result, ResultMeaning(r.result), r.cause.empty() ? "" : ": ",
                r.cause.c_str());
  return row;
}

std::string CsvRecord(const Reading& r) {
  std::string value;
  if (HasValues(r)) value = r.kind == Reading::Kind::kText ? r.values[0] : JoinedValues(r);
  return UtcTimeText(r.time) + "," + std::to_string(r.cycle) + "," + std::to_string(r.gate + 1) + "," +
         CsvField(r.address) + "," + CsvField(r.type) + "," + CsvField(value) + "," +
         (HasResult(r) ? std::to_string(r.result) : std::string()) + "," + CsvField(ResultTextOf(r)) + "," +
         CsvField(r.cause) + "," +
         (r.kind == Reading::Kind::kTransfer ? std::to_string(r.retries) : std::string()) + "\r\n";
}

std::string JsonLine(const Reading& r) {
  Json line;
  line["time"] = UtcTimeText(r.time);
  line["cycle"] = r.cycle;
  line["gate"] = r.gate + 1;
  line["address"] = JsonText(r.address);
  line["type"] = r.type;
  if (!HasValues(r)) {
    line["value"] = nullptr;
  } else if (r.kind == Reading::Kind::kText) {
    line["value"] = JsonText(r.values[0]);
  } else if (r.block) {
    Json items = Json::array();
    for (const std::string& item : r.values) items.push_back(JsonNumber(item, r.isFloat));
    line["value"] = items;
  } else {
    line["value"] = JsonNumber(r.values[0], r.isFloat);
  }
  line["result"] = HasResult(r) ? Json(r.result) : Json(nullptr);
  line["result_text"] = ResultTextOf(r);
  line["cause"] = r.cause.empty() ? Json(nullptr) : Json(r.cause);
  line["retries"] = r.kind == Reading::Kind::kTransfer ? Json(r.retries) : Json(nullptr);
  return line.dump();
}

std::string SummaryJsonLine(const PollSummary& summary, const std::vector<GateLabel>& labels) {
  Json gates = Json::array();
  for (size_t i = 0; i < summary.gates().size(); ++i) {
    const GateStats& stats = summary.gates()[i];
    if (stats.transfers == 0) continue;
    Json failures = Json::array();
    for (const auto& [result, count] : stats.failures) {
      Json causes = Json::array();
      const auto found = stats.causes.find(result);
      if (found != stats.causes.end()) {
        for (const auto& [cause, times] : found->second)
          causes.push_back({{"cause", cause}, {"count", times}});
      }
      failures.push_back(
          {{"result", result}, {"result_text", ResultMeaning(result)}, {"count", count}, {"causes", causes}});
    }
    Json gate;
    gate["gate"] = i + 1;
    gate["address"] = JsonText(i < labels.size() ? labels[i].address : std::string());
    gate["type"] = i < labels.size() ? labels[i].type : std::string();
    gate["transfers"] = stats.transfers;
    gate["successes"] = stats.successes;
    gate["failed"] = stats.failed();
    gate["failures"] = failures;
    gate["retries"] = stats.retries;
    gate["min_ms"] = Rounded(stats.minMs, 3);
    gate["mean_ms"] = Rounded(stats.meanMs(), 3);
    gate["max_ms"] = Rounded(stats.maxMs, 3);
    gates.push_back(gate);
  }
  Json stations = Json::array();
  for (const auto& [number, stats] : summary.stations()) {
    Json exceptions = Json::array();
    for (const auto& [code, count] : stats.ExceptionsInOrder()) {
      exceptions.push_back(
          {{"code", code == kOtherExceptionCode ? Json(nullptr) : Json(code)}, {"count", count}});
    }
    const auto ms = [&stats](double value) {
      return stats.HasReplies() ? Json(Rounded(value, 3)) : Json(nullptr);
    };
    Json station;
    station["station"] = number;
    station["transfers"] = stats.transfers;
    station["successes"] = stats.successes;
    station["retries"] = stats.retries;
    station["silent"] = stats.silent;
    station["wrong_frames"] = stats.wrongFrames;
    station["crc_errors"] = stats.badCrcs;
    station["exceptions"] = exceptions;
    station["echo_collisions"] = stats.echoCollisions;
    station["echoes_missing"] = stats.echoesMissing;
    station["demotions"] = stats.demotions;
    station["skipped"] = stats.skipped;
    station["min_ms"] = ms(stats.MinReplyMs());
    station["mean_ms"] = ms(stats.MeanReplyMs());
    station["p99_ms"] = ms(stats.P99ReplyMs());
    station["state"] = stats.state == kStationStateUnknown ? Json(nullptr) : Json(stats.state);
    station["state_text"] = stats.state == kStationStateUnknown ? "unknown" : StationStateText(stats.state);
    stations.push_back(station);
  }
  Json run;
  run["cycles"] = summary.cycles();
  run["seconds"] = Rounded(summary.seconds(), 6);
  run["interrupted"] = summary.interrupted();
  run["transfers"] = summary.transfers();
  run["failed"] = summary.failed();
  run["failed_share"] = summary.FailedShare();
  run["retries"] = summary.retries();
  run["transfers_per_second"] = Rounded(summary.TransfersPerSecond(), 3);
  run["gates"] = gates;
  run["stations"] = stations;
  Json line;
  line["summary"] = run;
  return line.dump();
}
