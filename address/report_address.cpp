#include "address/report_address.h"

#include <cstdio>
#include <cstring>

#include "address/field_scan.h"
#include "address/gas_parser.h"
#include "host_interface/host_library.h"

namespace kovrin {

const char* const ReportCharTable[kReportLineLength] = {
    "R",
    "0123456789ABCDEF",
    "0123456789ABCDEF",
    "0123456789ABCDEF",
    "0123456789ABCDEF",
    "0123456789ABCDEF",
    "0123456789ABCDEF",
    "0123456789ABCDEF",
};

namespace {

// One number field of a report address, 2 or 3 digits: hexadecimal in base
// H, decimal otherwise. In the decimal bases scanf would stop at a letter
// and take "1A" for 1; such a field is no number.
bool ScanReportNumber(const char* text, size_t digits, bool hex, int* value) {
  if (!hex && !AllDecimalDigits(text, digits)) return false;
  const char* format = digits == 2 ? (hex ? "%02x" : "%02d") : (hex ? "%03x" : "%03d");
  return ScanField(text, format, value);
}

const char* GasOf(const ParseRequest* request) { return request->gas != nullptr ? request->gas : ""; }

}  // namespace

AddressResult ParseReportLine(VpiInstance* instance, ParseRequest* request) {
  request->bit = -1;
  request->width = 16;

  const char* gas = GasOf(request);
  if (strnlen(gas, kReportLineLength + 1) != kReportLineLength) return AddressResult::kRefused;
  char copy[kReportLineLength + 1];
  std::memcpy(copy, gas, kReportLineLength);
  copy[kReportLineLength] = '\0';
  copy[0] = UpcaseAscii(copy[0]);
  for (size_t i = 0; i < kReportLineLength; ++i) {
    if (!CharAllowed(ReportCharTable[i], copy[i])) return AddressResult::kRefused;
  }

  const bool hex = instance->base == 'H';
  int plc = 0;
  if (!ScanReportNumber(copy + 1, 2, hex, &plc) || plc < 1) {
    err(kLogDetail, "KOVRIN> Parse() illegal PLC address, '%s'", copy);
    return AddressResult::kRefused;
  }
  request->plc = plc;

  int report = 0;
  if (!ScanReportNumber(copy + 3, 2, hex, &report) || report < 1 || report > kReportNumberMax) {
    err(kLogDetail, "KOVRIN> Parse() illegal address, '%s'", copy);
    return AddressResult::kRefused;
  }
  request->address = 0;
  request->memoryType = kMemReport;

  int line = 0;
  if (!ScanReportNumber(copy + 5, 3, hex, &line) || line < 1 || line > kReportLineMax) {
    err(kLogDetail, "KOVRIN> Parse() illegal address, '%s'", copy);
    return AddressResult::kRefused;
  }
  return AddressResult::kAccepted;
}

AddressResult ParseReportTrigger(VpiInstance* instance, ParseRequest* request) {
  request->bit = -1;
  request->width = 16;

  // Only the first two characters decide whether this is a trigger at all.
  const char* gas = GasOf(request);
  if (!IsReportTrigger(gas)) return AddressResult::kNotThisForm;
  if (strnlen(gas, kReportTriggerLength + 1) != kReportTriggerLength) return AddressResult::kRefused;

  char copy[kReportTriggerLength + 1];
  std::memcpy(copy, gas, kReportTriggerLength);
  copy[kReportTriggerLength] = '\0';
  copy[1] = 'R';
  if (!CharAllowed(ReportCharTable[1], copy[2]) || !CharAllowed(ReportCharTable[2], copy[3])) {
    return AddressResult::kRefused;
  }

  int plc = 0;
  if (!ScanReportNumber(copy + 2, 2, instance->base == 'H', &plc) || plc < 1) {
    err(kLogDetail, "KOVRIN> Parse() illegal PLC address, '%s'", copy);
    return AddressResult::kRefused;
  }
  request->plc = plc;
  request->address = 0;
  request->memoryType = kMemReport;
  return AddressResult::kAccepted;
}

bool IsReportTrigger(const char* gas) {
  return gas != nullptr && gas[0] == '!' && gas[1] != '\0' && UpcaseAscii(gas[1]) == 'R';
}

namespace {

// Two digits of a number: a leading zero before one digit, the first two
// digits from 100 on (from 0x100 on in hexadecimal).
void TwoDigits(char* out, int number, bool hex) {
  char text[16];
  if (hex) {
    std::snprintf(text, sizeof text, "%02X", static_cast<unsigned>(number));
  } else {
    std::snprintf(text, sizeof text, "%02d", number);
  }
  out[0] = text[0];
  out[1] = text[1];
}

// The three line digits with leading zeros.
void LineDigits(char* out, int line, bool hex) {
  const int radix = hex ? 16 : 10;
  const char digits[] = "0123456789ABCDEF";
  out[0] = digits[line / (radix * radix) % radix];
  out[1] = digits[line / radix % radix];
  out[2] = digits[line % radix];
}

}  // namespace

void SpellReportLineAddress(char (&out)[kReportLineLength + 1], int plc, int report, int line, bool hex) {
  out[0] = 'R';
  TwoDigits(out + 1, plc, hex);
  TwoDigits(out + 3, report, hex);
  LineDigits(out + 5, line, hex);
  out[kReportLineLength] = '\0';
}

}  // namespace kovrin
