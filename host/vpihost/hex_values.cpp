#include "host/vpihost/hex_values.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <utility>

namespace {

class HexWriter : public ReadingsWriter {
 public:
  explicit HexWriter(std::unique_ptr<ReadingsWriter> inner) : inner_(std::move(inner)) {}
  void BeginCycle(int cycle, int cycles, double elapsed) override {
    inner_->BeginCycle(cycle, cycles, elapsed);
  }
  void Write(const Reading& reading) override { inner_->Write(WithHexValues(reading)); }
  void Note(const std::string& line) override { inner_->Note(line); }
  void Summary(const PollSummary& summary, const std::vector<GateLabel>& labels) override {
    inner_->Summary(summary, labels);
  }

 private:
  std::unique_ptr<ReadingsWriter> inner_;
};

}  // namespace

std::string HexValueText(const std::string& decimal, int digits) {
  if (decimal.empty() || decimal[0] < '0' || decimal[0] > '9') return decimal;
  char* end = nullptr;
  errno = 0;
  const unsigned long long value = std::strtoull(decimal.c_str(), &end, 10);
  const unsigned long long most = digits == 4 ? 0xFFFFull : 0xFFFFFFFFull;
  if (*end != '\0' || errno != 0 || value > most) return decimal;
  char text[16];
  std::snprintf(text, sizeof text, "0x%0*llX", digits, value);
  return text;
}

Reading WithHexValues(Reading reading) {
  if (reading.kind != Reading::Kind::kTransfer || reading.result != 0 || reading.isFloat) return reading;
  const int digits = reading.type == "int16" ? 4 : reading.type == "int32" ? 8 : 0;
  if (digits == 0) return reading;
  for (std::string& value : reading.values) value = HexValueText(value, digits);
  return reading;
}

std::unique_ptr<ReadingsWriter> HexWhereAsked(std::unique_ptr<ReadingsWriter> writer, OutputFormat format,
                                              bool hex) {
  if (!hex || format == OutputFormat::kJson) return writer;
  return std::make_unique<HexWriter>(std::move(writer));
}
