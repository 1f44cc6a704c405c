// vpihost scan: which stations of a line answer. Each station's holding
// register 0 is read once; the driver's journal of that read tells an
// exception reply (the station is there) from silence.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "host/driver/driver_module.h"
#include "host/vpihost/failure_cause.h"
#include "host/vpihost/options.h"
#include "host/vpihost/stations.h"

// A scan's reply timeout unless --timeout is given, in units of 10 ms: long
// enough for a device at 9600 baud, short enough for 247 silent stations.
constexpr uint32_t kScanTimeout = 10;

// What the driver does with a read that hears nothing: 3 attempts, each
// waiting one reply timeout, then one more reply timeout for a late reply
// before the next request. Each station is asked once, so demotion (DEMOTE
// in the init file) neither shortens nor lengthens a scan.
constexpr int kSilentReadAttempts = 3;
constexpr int kSilentReadWaits = kSilentReadAttempts + 1;

// The longest a silent station takes, in ms: the waits, and per attempt the
// inter-frame gap of the init file (gapMs), the request on the wire at the
// line's speed with a frame's gap before it, and some room for the machine.
double SilentStationMs(uint32_t timeoutUnits, const HostOptions& line, uint32_t gapMs = 0);

// The inter-frame gap in ms that the driver's start-up lines give (it says
// "KOVRIN> Inter Frame Gap = 5 msec." for IFG_MS); 0 when none does.
uint32_t InterFrameGapMs(const std::vector<std::string>& startLines);

// Gate addresses of holding register 0 of the station to try in order: the
// number bases' spellings (two decimal digits, two hexadecimal, five
// register digits in the long decimal base) for Modbus (from 1) and J-BUS
// (from 0). Only the driver's parser tells which one this instance takes.
std::vector<std::string> ScanAddresses(int station);

// One station's outcome, as the scan's list shows it: a value, or why the
// read failed as a poll's table says it. An exception reply, whatever came
// after it, is a station that is there.
struct ScanOutcome {
  bool answered = false;
  uint16_t value = 0;   // of a read that worked
  TransferCause cause;  // kNone for a read that worked
};

ScanOutcome ScanOutcomeOf(int32_t result, uint16_t value, const TransferJournal& journal);
std::string ScanOutcomeText(const ScanOutcome& outcome);

// The scan command against a started instance whose inter-frame gap is
// gapMs, its reads' lines taken from journal; its exit status.
int RunScan(DriverModule& driver, const HostOptions& options, uint32_t gapMs, JournalTap& journal,
            std::FILE* out);
