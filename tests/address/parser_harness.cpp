#include "tests/address/parser_harness.h"

#include <gtest/gtest.h>

#include <cstring>

#include "host_interface/host_records.h"
#include "entry/init_file.h"
#include "entry/vpi_main.h"

using namespace kovrin;

std::vector<LogLine> ExpectedLog::Lines() const {
  if (text == nullptr) return {};
  return {{level, text}};
}

void ParserHarness::Configure(const Station& station) {
  std::string content = "BUS = ";
  content += station.protocol;
  content += " , ";
  content += station.base;
  content += "\n";
  if (station.longAddr) content += "LONGADDR = YES\n";
  dir_.Write("KOVRIN.INT", content);

  // As a cold start leaves it: protocol and RTSCTS preset, the rest garbage.
  std::memset(&instance_, 0xCD, sizeof instance_);
  instance_.protocol = 'M';
  instance_.RTSCTS = 0;
  VpiRequest request{};
  request.instance = &instance_;
  request.driverNumber = 1;
  ReadInitFile(static_cast<VpiInstance*>(request.instance), request.driverNumber);
  ASSERT_EQ(instance_.protocol, station.protocol);
  ASSERT_EQ(instance_.base, station.base);
  ASSERT_EQ((instance_.flags & kFlagLongAddr) != 0, station.longAddr);
  log_.Clear();
}

Outcome ParserHarness::Run(uint32_t command, const char* gas, int32_t gateType, int32_t blockSize) {
  ParseRequest parse{};
  parse.gas = gas;
  parse.gateType = gateType;
  parse.blockSize = blockSize;
  parse.plc = parse.memoryType = parse.address = parse.bit = parse.width = kUnwritten;
  log_.Clear();
  const int32_t result = host_.Call(command, &parse);
  return {result, {parse.plc, parse.memoryType, parse.address, parse.bit, parse.width}, log_.lines()};
}

void ExpectCase(const Outcome& got, const Case& want) {
  EXPECT_EQ(got.result, want.result);
  EXPECT_EQ(got.fields, want.fields);
  EXPECT_EQ(got.log, want.log.Lines());
}

std::string Printable(const std::string& gas) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string text;
  for (const char c : gas) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte >= 0x20 && byte < 0x7F) {
      text += c;
    } else {
      text += "\\x";
      text += kHex[byte >> 4];
      text += kHex[byte & 0xF];
    }
  }
  return text;
}

std::string Describe(const Station& station) {
  std::string text = "BUS = ";
  text += station.protocol;
  text += ",";
  text += station.base;
  if (station.longAddr) text += " LONGADDR";
  return text;
}

void PrintTo(const Fields& f, std::ostream* out) {
  *out << "{plc " << f.plc << ", memoryType " << f.memoryType << ", address " << f.address << ", bit "
       << f.bit << ", width " << f.width << "}";
}

void PrintTo(const Case& c, std::ostream* out) {
  *out << "'" << Printable(c.gas) << "' " << Describe(c.station) << ", input " << c.input;
}
