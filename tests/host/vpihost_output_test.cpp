// vpihost's output: texts that keep the table a table, values at full
// precision, the machine-readable records and the polling summary.

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <nlohmann/json.hpp>

#include "host/vpihost/poll_output.h"
#include "host/vpihost/poll_summary.h"
#include "host/vpihost/value_format.h"

namespace {

TEST(TableText, EscapesAndCutsSoTheRowStaysOneLine) {
  struct Case {
    std::string raw;
    size_t width;
    std::string shown;
  };
  const Case cases[] = {
      {"", 36, "\"\""},
      {"LINE 001", 36, "\"LINE 001\""},
      {"A\r\nB", 36, "\"A\\r\\nB\""},
      {"end\x1A", 36, "\"end\\x1A\""},
      {"tab\there", 36, "\"tab\\there\""},
      {"back\\slash \"quoted\"", 36, "\"back\\\\slash \\\"quoted\\\"\""},
      {std::string("nul\x01\x7F\xB0"), 36, "\"nul\\x01\\x7F\\xB0\""},
      // Exactly fits: not cut.
      {std::string(34, 'x'), 36, ("\"" + std::string(34, 'x') + "\"")},
      // One more: cut, the marker giving the full length, within the width.
      {std::string(35, 'x'), 36, ("\"" + std::string(21, 'x') + "\"...(35 chars)")},
      // An escape is never split by the cut.
      {std::string(20, 'x') + "\r\n" + std::string(20, 'y'), 36,
       ("\"" + std::string(20, 'x') + "\"...(42 chars)")},
      {std::string(19, 'x') + "\r\n" + std::string(20, 'y'), 36,
       ("\"" + std::string(19, 'x') + "\\r\"...(41 chars)")},
  };
  for (const Case& c : cases) {
    const std::string shown = TableText(c.raw, c.width);
    EXPECT_EQ(shown, c.shown) << c.raw;
    EXPECT_LE(shown.size(), c.width) << c.raw;
    for (const char ch : shown) EXPECT_TRUE(ch >= 0x20 && ch < 0x7F) << c.raw;
  }
}

TEST(TableText, ReportOfAnyLengthGivesOneShortLine) {
  std::string report;
  for (int line = 1; line <= 200; ++line) report += "S001 R9101 LINE " + std::to_string(line) + "\r\n\x1A";
  const std::string shown = TableText(report, 36);
  EXPECT_EQ(shown.find('\n'), std::string::npos);
  EXPECT_EQ(shown.find('\r'), std::string::npos);
  EXPECT_LE(shown.size(), 36u);
  EXPECT_NE(shown.find("(" + std::to_string(report.size()) + " chars)"), std::string::npos);
}

TEST(TableBlock, CutsBetweenValuesWithTheirCount) {
  EXPECT_EQ(TableBlock({"1", "2", "3", "4"}, 36), "[1, 2, 3, 4]");
  std::vector<std::string> many(100, "65535");
  const std::string shown = TableBlock(many, 36);
  EXPECT_EQ(shown, "[65535, 65535, ... 100 values]");
  EXPECT_LE(shown.size(), 36u);
}

TEST(FloatText, ShortestTextThatReadsBackTheSameFloat) {
  const float cases[] = {21.5f,         -3.25f,          0.1f,   1.0f / 3.0f, 123456789.0f,
                         3.4028235e38f, 1.17549435e-38f, 1e-45f, 16777217.0f, 0.0f};
  for (const float f : cases) {
    const std::string text = FloatText(f);
    EXPECT_EQ(std::strtof(text.c_str(), nullptr), f) << text;
    EXPECT_LE(text.size(), 15u) << text;
  }
  EXPECT_EQ(FloatText(21.5f), "21.5");
  EXPECT_EQ(FloatText(0.1f), "0.1");
  EXPECT_EQ(FloatText(123456789.0f), "1.2345679e+08");
  // %.7g gave 0.3333333, which reads back as another float.
  EXPECT_EQ(FloatText(1.0f / 3.0f), "0.33333334");
}

Reading Transfer(std::vector<std::string> values, bool block, bool isFloat, int32_t result = 0) {
  Reading r;
  r.kind = Reading::Kind::kTransfer;
  r.cycle = 3;
  r.gate = 1;
  r.address = "0140002";
  r.type = isFloat ? "float" : "int16";
  r.block = block;
  r.isFloat = isFloat;
  r.result = result;
  r.values = std::move(values);
  r.time = std::chrono::system_clock::time_point(std::chrono::milliseconds(1796716800123LL));
  return r;
}

Reading Failed(const std::string& cause, uint32_t retries) {
  Reading r = Transfer({}, false, false, 2);
  r.cause = cause;
  r.retries = retries;
  return r;
}

Reading Text(const std::string& text) {
  Reading r = Transfer({text}, false, false);
  r.kind = Reading::Kind::kText;
  r.address = "R0101001";
  r.type = "text";
  return r;
}

TEST(Records, CsvQuotesPerRfc4180AndJsonKeepsEveryByte) {
  struct Case {
    Reading reading;
    const char* csv;
    const char* json;
  };
  const Case cases[] = {
      {Transfer({"1", "2"}, true, false), "2026-12-08T08:00:00.123Z,3,2,0140002,int16,\"1,2\",0,done,,0\r\n",
       R"({"time":"2026-12-08T08:00:00.123Z","cycle":3,"gate":2,"address":"0140002","type":"int16",)"
       R"("value":[1,2],"result":0,"result_text":"done","cause":null,"retries":0})"},
      {Transfer({"0.333333343"}, false, true),
       "2026-12-08T08:00:00.123Z,3,2,0140002,float,0.333333343,0,done,,0\r\n",
       R"({"time":"2026-12-08T08:00:00.123Z","cycle":3,"gate":2,"address":"0140002","type":"float",)"
       R"("value":0.333333343,"result":0,"result_text":"done","cause":null,"retries":0})"},
      {Failed("no reply", 2),
       "2026-12-08T08:00:00.123Z,3,2,0140002,int16,,2,transport or port failure,no reply,2\r\n",
       R"({"time":"2026-12-08T08:00:00.123Z","cycle":3,"gate":2,"address":"0140002","type":"int16",)"
       R"("value":null,"result":2,"result_text":"transport or port failure","cause":"no reply","retries":2})"},
      // A cause with a comma goes in quotes.
      {Failed("exception 2, say", 0),
       "2026-12-08T08:00:00.123Z,3,2,0140002,int16,,2,transport or port failure,\"exception 2, say\",0\r\n",
       R"({"time":"2026-12-08T08:00:00.123Z","cycle":3,"gate":2,"address":"0140002","type":"int16",)"
       R"("value":null,"result":2,"result_text":"transport or port failure","cause":"exception 2, say",)"
       R"("retries":0})"},
      {Text("say \"hi\", A\r\nB\x1A"),
       "2026-12-08T08:00:00.123Z,3,2,R0101001,text,\"say \"\"hi\"\", A\r\nB\x1A\",,text kept by the "
       "host,,\r\n",
       R"({"time":"2026-12-08T08:00:00.123Z","cycle":3,"gate":2,"address":"R0101001","type":"text",)"
       R"("value":"say \"hi\", A\r\nB\u001a","result":null,"result_text":"text kept by the host",)"
       R"("cause":null,"retries":null})"},
      // Not UTF-8: each byte taken as Latin-1 rather than dropped.
      {Text("25 \xB0"
            "C"),
       "2026-12-08T08:00:00.123Z,3,2,R0101001,text,25 \xB0"
       "C,,text kept by the host,,\r\n",
       R"({"time":"2026-12-08T08:00:00.123Z","cycle":3,"gate":2,"address":"R0101001","type":"text",)"
       "\"value\":\"25 \xC2\xB0"
       "C\",\"result\":null,\"result_text\":\"text kept by the host\",\"cause\":null,\"retries\":null}"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(CsvRecord(c.reading), c.csv);
    EXPECT_EQ(JsonLine(c.reading), c.json);
    EXPECT_TRUE(nlohmann::json::accept(JsonLine(c.reading)));
  }
}

TEST(Records, FloatsThatAreNoNumberStayVisibleInJson) {
  const auto value = [](const char* text) {
    return nlohmann::json::parse(JsonLine(Transfer({text}, false, true)))["value"];
  };
  EXPECT_EQ(value("nan"), "NaN");
  EXPECT_EQ(value("-inf"), "-Infinity");
  EXPECT_EQ(value("inf"), "Infinity");
  EXPECT_EQ(value("1e-45").get<double>(), 1e-45);
}

TEST(PollSummary, CountsFailuresByResultAndTimes) {
  PollSummary summary(3);
  struct Transfer {
    size_t gate;
    int32_t result;
    double ms;
    const char* cause;
    uint32_t retries;
  };
  const Transfer transfers[] = {{0, 0, 10, "", 1},
                                {0, 2, 300, "no reply", 2},
                                {0, 0, 20, "", 0},
                                {0, 1, 30, "bad CRC", 2},
                                {0, 2, 310, "no reply", 2},
                                {2, 0, 5, "", 0},
                                {2, 2, 7, "station demoted", 0}};
  for (const Transfer& t : transfers) summary.Record(t.gate, t.result, t.ms, t.cause, t.retries);
  summary.CycleDone();
  summary.SetSeconds(2.0);

  const GateStats& first = summary.gates()[0];
  EXPECT_EQ(first.transfers, 5u);
  EXPECT_EQ(first.successes, 2u);
  EXPECT_EQ(first.failed(), 3u);
  EXPECT_EQ(first.failures.at(2), 2u);
  EXPECT_EQ(first.failures.at(1), 1u);
  EXPECT_EQ(first.retries, 7u);
  EXPECT_EQ(first.causes.at(2).at("no reply"), 2u);
  EXPECT_DOUBLE_EQ(first.minMs, 10);
  EXPECT_DOUBLE_EQ(first.maxMs, 310);
  EXPECT_DOUBLE_EQ(first.meanMs(), 134);
  EXPECT_EQ(summary.gates()[1].transfers, 0u);
  EXPECT_DOUBLE_EQ(summary.gates()[2].minMs, 5);
  EXPECT_EQ(summary.transfers(), 7u);
  EXPECT_EQ(summary.failed(), 4u);
  EXPECT_EQ(summary.retries(), 7u);
  EXPECT_DOUBLE_EQ(summary.FailedShare(), 4.0 / 7.0);
  EXPECT_DOUBLE_EQ(summary.TransfersPerSecond(), 3.5);

  const std::string text =
      SummaryText(summary, {{"0140001", "int16"}, {"!R01", "trigger"}, {"0130001", "int16"}});
  EXPECT_NE(
      text.find("summary: 1 cycle in 2.0 s, 7 transfers (3.5 a second), 4 failed (57.1 %), 7 retries\n"),
      std::string::npos)
      << text;
  EXPECT_NE(
      text.find("  1  0140001    int16            5         2       3       7    10.00   134.00   310.00  "
                "1 refused or failed x1: bad CRC x1; 2 transport or port failure x2: no reply x2\n"),
      std::string::npos)
      << text;
  EXPECT_NE(
      text.find("  3  0130001    int16            2         1       1       0     5.00     6.00     7.00  "
                "2 transport or port failure x1: station demoted x1\n"),
      std::string::npos)
      << text;
  EXPECT_EQ(text.find("!R01"), std::string::npos) << "a gate without transfers has no row";

  const auto json =
      nlohmann::json::parse(SummaryJsonLine(summary, {{"0140001", "int16"}, {"", ""}, {"0130001", "int16"}}));
  EXPECT_EQ(json["summary"]["transfers"], 7);
  EXPECT_EQ(json["summary"]["gates"].size(), 2u);
  EXPECT_EQ(json["summary"]["gates"][0]["failures"][1]["count"], 2);
  EXPECT_EQ(json["summary"]["gates"][0]["failures"][1]["causes"].dump(),
            R"([{"cause":"no reply","count":2}])");
  EXPECT_EQ(json["summary"]["gates"][0]["retries"], 7);
  EXPECT_EQ(json["summary"]["retries"], 7);
  EXPECT_EQ(json["summary"]["gates"][1]["gate"], 3);
}

TEST(PollSummary, EmptyRunDividesByNothing) {
  PollSummary summary(2);
  EXPECT_EQ(summary.FailedShare(), 0);
  EXPECT_EQ(summary.TransfersPerSecond(), 0);
  summary.Record(1, 0, 4);
  EXPECT_EQ(summary.TransfersPerSecond(), 0);  // no measured length
  EXPECT_DOUBLE_EQ(summary.gates()[1].meanMs(), 4);
}

}  // namespace
