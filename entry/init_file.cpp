#include "entry/init_file.h"

#include <cstring>

#include "host_interface/host_library.h"
#include "host_interface/instance.h"
#include "platform/file_names.h"

namespace kovrin {

namespace {

constexpr int kLineBufferSize = 256;  // longer lines are handled in pieces
constexpr int kNoPending = -2;
constexpr int kCtrlZ = 0x1A;

const char kIllegalFormat[] = "KOVRIN> Illegal format of Int File:";

enum class SwitchValue { kNoMatch, kNo, kYes, kIllegal };

// "KEY = %1c%1c%1c" matches when two or three characters were taken.
SwitchValue MatchSwitch(const char* line, const char* pattern) {
  char c[3] = {0, 0, 0};
  const int taken = std::sscanf(line, pattern, &c[0], &c[1], &c[2]);
  if (taken != 2 && taken != 3) return SwitchValue::kNoMatch;
  if (c[0] == 'N' && c[1] == 'O') return SwitchValue::kNo;
  if (taken == 3 && c[0] == 'Y' && c[1] == 'E' && c[2] == 'S') return SwitchValue::kYes;
  return SwitchValue::kIllegal;
}

void SetFlag(VpiInstance* instance, uint16_t flag, bool on) {
  if (on) {
    instance->flags = static_cast<uint16_t>(instance->flags | flag);
  } else {
    instance->flags = static_cast<uint16_t>(instance->flags & ~flag);
  }
}

struct FlagKey {
  const char* pattern;
  uint16_t flag;
  const char* complaint;
};

const FlagKey kFlagKeys[] = {
    {"SWAP = %1c%1c%1c", kFlagSwap, "KOVRIN> Check for SWAP = in your int file. Assuming NO swap"},
    {"FLOATSWAP = %1c%1c%1c", kFlagFloatSwap,
     "KOVRIN> Check for FLOATSWAP = in your int file. Assuming NO swap"},
    {"LONGADDR = %1c%1c%1c", kFlagLongAddr,
     "KOVRIN> Check for LONGADDR = in your int file. Assuming NO switching"},
    {"HEXREPORTS = %1c%1c%1c", kFlagHexReports,
     "KOVRIN> Check for HEXREPORTS = in your int file. Assuming NO hexadecimal report lines"},
};

struct GapKey {
  const char* pattern;  // "%n" marks where the number starts
  uint16_t VpiInstance::*field;
  const char* complaint;
};

const GapKey kGapKeys[] = {
    {"IFG_MS = %n%u", &VpiInstance::IFG_MS,
     "KOVRIN> Check for IFG_MS = in your int file. Assuming IFG_MS = 0"},
    {"IFG = %n%u", &VpiInstance::IFG, "KOVRIN> Check for IFG = in your int file. Assuming IFG = 0"},
};

// The echo of requests on a 2-wire line: NO, YES or AUTO.
constexpr char kEchoComplaint[] = "KOVRIN> Check for ECHO = in your int file. Assuming NO echo";
constexpr char kDemoteComplaint[] = "KOVRIN> Check for DEMOTE = in your int file. Assuming NO demotion";
constexpr unsigned kMostSilentBeforeDemotion = 255;
constexpr unsigned kLongestDemotionS = 3600;

void Complain(const char* secondLine) {
  err(kLogMajor, "%s", kIllegalFormat);
  err(kLogMajor, "%s", secondLine);
}

// "ECHO = %1c%1c%1c%1c": NO, YES or AUTO; true when the line is an ECHO line.
bool ApplyEcho(VpiInstance* instance, const char* line) {
  char c[4] = {0, 0, 0, 0};
  const int taken = std::sscanf(line, "ECHO = %1c%1c%1c%1c", &c[0], &c[1], &c[2], &c[3]);
  if (taken < 2) return false;
  instance->flags = static_cast<uint16_t>(instance->flags & ~(kFlagEcho | kFlagEchoAuto));
  if (c[0] == 'N' && c[1] == 'O') return true;
  if (taken >= 3 && c[0] == 'Y' && c[1] == 'E' && c[2] == 'S') {
    instance->flags = static_cast<uint16_t>(instance->flags | kFlagEcho);
  } else if (taken == 4 && c[0] == 'A' && c[1] == 'U' && c[2] == 'T' && c[3] == 'O') {
    instance->flags = static_cast<uint16_t>(instance->flags | kFlagEchoAuto);
  } else {
    Complain(kEchoComplaint);
  }
  return true;
}

// "DEMOTE = %u , %u": after N silent transactions (1 to 255), S seconds
// (1 to 3600). An illegal value turns demotion off. True when the line is a
// DEMOTE line.
bool ApplyDemote(const char* line, DemoteSetting* demote) {
  unsigned int silent = 0;
  unsigned int seconds = 0;
  int silentAt = 0;
  int secondsAt = 0;
  const int read = std::sscanf(line, "DEMOTE = %n%u , %n%u", &silentAt, &silent, &secondsAt, &seconds);
  if (read < 1) return false;
  // As for the gaps, a sign would wrap round to a huge number.
  const bool legal = read == 2 && line[silentAt] != '-' && line[secondsAt] != '-' && silent >= 1 &&
                     silent <= kMostSilentBeforeDemotion && seconds >= 1 && seconds <= kLongestDemotionS;
  if (!legal) {
    *demote = DemoteSetting{};
    Complain(kDemoteComplaint);
    return true;
  }
  *demote = DemoteSetting{static_cast<uint8_t>(silent), static_cast<uint16_t>(seconds)};
  return true;
}

// Applies one upper-cased line: the first pattern that matches decides.
void ApplyLine(VpiInstance* instance, const char* line, int lineNumber, DemoteSetting* demote) {
  char protocol = 0;
  char base = 0;
  if (std::sscanf(line, "BUS = %1c , %1c", &protocol, &base) == 2) {
    if ((protocol == 'M' || protocol == 'J') && (base == 'D' || base == 'H' || base == 'L')) {
      instance->protocol = protocol;
      instance->base = base;
    } else {
      err(kLogMajor, "KOVRIN> Illegal format of Int File! - ");
      err(kLogMajor, "KOVRIN> Default values used: Protocol=Modbus Base=Decimal");
    }
    return;
  }
  for (const FlagKey& key : kFlagKeys) {
    const SwitchValue value = MatchSwitch(line, key.pattern);
    if (value == SwitchValue::kNoMatch) continue;
    SetFlag(instance, key.flag, value == SwitchValue::kYes);
    if (value == SwitchValue::kIllegal) Complain(key.complaint);
    return;
  }
  if (const SwitchValue value = MatchSwitch(line, "RTSCTS = %1c%1c%1c"); value != SwitchValue::kNoMatch) {
    instance->RTSCTS = value == SwitchValue::kYes ? 1 : 0;
    if (value == SwitchValue::kIllegal) {
      Complain("KOVRIN> Check for RTSCTS = in your int file. Assuming NO switching");
    }
    return;
  }
  for (const GapKey& key : kGapKeys) {
    unsigned int number = 0;
    int start = 0;
    if (std::sscanf(line, key.pattern, &start, &number) != 1) continue;
    // The number reader would take a sign and wrap "-1" round to 65535 ms
    // before every frame: a minus sign makes the line illegal instead (a
    // plus sign, which stored init files may carry, is taken as it stands).
    if (line[start] == '-') break;
    if (number != 0) {
      instance->*key.field = static_cast<uint16_t>(number);
    } else {
      Complain(key.complaint);
    }
    return;
  }
  if (ApplyEcho(instance, line) || ApplyDemote(line, demote)) return;
  err(kLogMajor, "KOVRIN> Illegal line %d in Int File", lineNumber);
}

void UpcaseLetters(char* text) {
  for (; *text != '\0'; ++text) {
    if (*text >= 'a' && *text <= 'z') *text = static_cast<char>(*text - 'a' + 'A');
  }
}

void LogSettings(const VpiInstance* instance, const DemoteSetting& demote) {
  err(kLogMajor, "%s", instance->protocol == 'M' ? "KOVRIN> Protocol = Modbus" : "KOVRIN> Protocol = J-Bus");
  if (instance->base == 'D') {
    err(kLogMajor, "KOVRIN> Base = Decimal");
  } else if (instance->base == 'L') {
    err(kLogMajor, "KOVRIN> Base =Long Decimal");
  } else {
    err(kLogMajor, "KOVRIN> Base = Hexadecimal");
  }
  err(kLogMajor, "%s",
      (instance->flags & kFlagSwap) ? "KOVRIN> Word swap of int 32bit gates = YES"
                                    : "KOVRIN> Word swap of int 32bit gates = NO");
  err(kLogMajor, "%s",
      (instance->flags & kFlagFloatSwap) ? "KOVRIN> Word swap of float gates = YES"
                                         : "KOVRIN> Word swap of float gates = NO");
  err(kLogMajor, "%s",
      (instance->flags & kFlagLongAddr) ? "KOVRIN> Long word addres mapping = YES"
                                        : "KOVRIN> Long word addres mapping = NO");
  if (instance->IFG_MS != 0) {
    err(kLogMajor, "KOVRIN> Inter Frame Gap = %u msec.", static_cast<unsigned>(instance->IFG_MS));
  } else {
    err(kLogMajor, "KOVRIN> Inter Frame Gap = %u", static_cast<unsigned>(instance->IFG));
  }
  // Only base H has a choice of spellings.
  if (instance->base == 'H') {
    err(kLogMajor, "%s",
        (instance->flags & kFlagHexReports) ? "KOVRIN> Hexadecimal report line addresses = YES"
                                            : "KOVRIN> Hexadecimal report line addresses = NO");
  }
  // The line's own options are said only when set: a file without them
  // logs what it always did.
  if (instance->flags & kFlagEcho) err(kLogMajor, "KOVRIN> Echo of requests = YES");
  if (instance->flags & kFlagEchoAuto) err(kLogMajor, "KOVRIN> Echo of requests = AUTO");
  if (demote.afterSilent != 0) {
    err(kLogMajor, "KOVRIN> Station demotion = after %u silent transactions for %u s",
        static_cast<unsigned>(demote.afterSilent), static_cast<unsigned>(demote.periodS));
  }
}

// One character of the file as the C library reads a file opened in text
// mode on Windows: CR LF becomes LF (a lone CR stays), and a CTRL-Z ends the
// file, whatever follows it. The file itself is opened in binary mode on
// every platform, so that both read it alike.
int TextModeGetc(InitFileReader* reader) {
  if (reader->ended) return EOF;
  int c = reader->pending;
  reader->pending = kNoPending;
  if (c == kNoPending) c = std::fgetc(reader->file);
  if (c == '\r') {
    const int next = std::fgetc(reader->file);
    if (next == '\n') return '\n';
    reader->pending = next;
    return '\r';
  }
  if (c == EOF || c == kCtrlZ) {
    reader->ended = true;
    return EOF;
  }
  return c;
}

}  // namespace

FILE* OpenInitFile(const char* baseName, char (&nameBuffer)[kInitFileNameSize], int driverNumber) {
  std::snprintf(nameBuffer, sizeof nameBuffer, "%s%02d.INT", baseName, driverNumber);
  if (FILE* file = OpenFileAnyCase(nameBuffer)) return file;
  std::snprintf(nameBuffer, sizeof nameBuffer, "%s%01d.INT", baseName, driverNumber);
  if (FILE* file = OpenFileAnyCase(nameBuffer)) return file;
  std::snprintf(nameBuffer, sizeof nameBuffer, "%s.INT", baseName);
  return OpenFileAnyCase(nameBuffer);
}

bool ReadInitLine(InitFileReader* reader, char* line, size_t size) {
  if (size == 0) return false;
  size_t used = 0;
  while (used + 1 < size) {
    const int c = TextModeGetc(reader);
    if (c == EOF) break;
    line[used++] = static_cast<char>(c);
    if (c == '\n') break;
  }
  line[used] = '\0';
  return used > 0;
}

DemoteSetting ReadInitFile(VpiInstance* instance, int32_t driverNumber) {
  instance->IFG = 0;
  instance->IFG_MS = 0;
  instance->base = 'D';
  instance->flags = 0;
  DemoteSetting demote;

  char name[kInitFileNameSize];
  FILE* file = OpenInitFile(kInitFileBaseName, name, driverNumber);
  if (file == nullptr) {
    err(kLogMajor, "KOVRIN> ColdStart() no initfile found, defaults used");
  } else {
    err(kLogMajor, "KOVRIN> ColdStart() reading initfile '%s'", name);
    char line[kLineBufferSize];
    int lineNumber = 0;
    InitFileReader reader{file};
    while (ReadInitLine(&reader, line, sizeof line)) {
      ++lineNumber;
      UpcaseLetters(line);
      ApplyLine(instance, line, lineNumber, &demote);
    }
    std::fclose(file);
  }
  LogSettings(instance, demote);
  return demote;
}

}  // namespace kovrin
