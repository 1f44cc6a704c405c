// The two report address forms of single gates: a report trigger "!R" + plc
// and a report line "R" + plc + report number + line number.
#pragma once

#include <cstddef>

#include "address/address_result.h"
#include "host_interface/host_records.h"
#include "host_interface/instance.h"

namespace kovrin {

constexpr size_t kReportLineLength = 8;
constexpr size_t kReportTriggerLength = 4;
constexpr int kReportNumberMax = 16;  // reports 1 to 16
constexpr int kReportLineMax = 110;   // lines 1 to 110 of a report

// The characters allowed at each position of a report address: "R", then
// upper-case hexadecimal digits.
extern const char* const ReportCharTable[kReportLineLength];

// A report line for a text gate. Stores bit -1 and width 16 first, then plc,
// address 0 and MemoryType 65. A wrong length or character is refused
// without a log line.
AddressResult ParseReportLine(VpiInstance* instance, ParseRequest* request);

// A report trigger: kNotThisForm when the GAS does not begin with '!' and
// 'R' (either case), so the caller parses it as an ordinary GAS; otherwise
// stored as ParseReportLine stores.
AddressResult ParseReportTrigger(VpiInstance* instance, ParseRequest* request);

// True when the address string begins with '!' and 'R' (either case), as a
// report trigger's does; a null string is no trigger. Reads at most two
// characters.
bool IsReportTrigger(const char* gas);

// The address of line `line` of report `report` of plc `plc`, as the report
// line parser reads it back: "R", two digits each of plc and report and three
// of the line, hexadecimal (upper case) when hex is set. A plc or report
// from 100 on (0x100 in hexadecimal) keeps its first two digits.
void SpellReportLineAddress(char (&out)[kReportLineLength + 1], int plc, int report, int line, bool hex);

}  // namespace kovrin
