#include "sim/rtusim_options.h"

#include <cmath>
#include <cstring>
#include <limits>

#include "sim/text_parse.h"

namespace sim {

namespace {

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

// What the options set; the line, timing and framing settings are put
// together from it once every option is read.
struct ParseState {
  RtusimOptions options;
  int baud = 9600;
  char parity = 'N';
  int stopBits = 1;
  bool emulate = false;
  int strict = -1;  // -1: as --emulate-timing says
};

// The help text around the options: each piece is printed before the option
// it leads to, kClosing after the last.
const char kIntro[] = R"(Usage: rtusim [OPTION]...
Plays one or more Modbus RTU / J-BUS slave stations on one serial line until
it is interrupted (Ctrl-C, SIGTERM). Without --device it creates a
pseudo-terminal and prints the device path that masters open.

Line
)";

const char kStationsTitle[] = R"(
Stations and data
)";

const char kDataAndFunctions[] = R"(
  Preset pattern: until written, address n (0..65535) of every station holds
    coil n              1 when n % 3 == 0, else 0
    discrete input n    1 when n is odd, else 0
    input register n    n XOR 0x5555
    holding register n  n
  so registers 2k, 2k+1 read as one 32-bit value, high word first, give
  (2k << 16) | (2k + 1).

  ASSIGNMENT  [S:]AREA:ADDRESS=VALUE[,VALUE...]
    S        station 1..247; without it every station
    AREA     coil, input, ir (input register), hr (holding register)
    ADDRESS  0..65535 (decimal or 0x hex); values fill consecutive addresses
    VALUE    coil/input: 0 or 1. Register: 0..65535, 0x hex, or -32768..-1;
             or a 32-bit value filling two registers:
               float:X        IEEE single, high word first
               float-swap:X   IEEE single, low word first
               ulong:N        0..4294967295 (or negative), high word first
               ulong-swap:N   low word first
    e.g. --set 3:hr:100=1234,0x00FF  --set hr:200=float:3.5,ulong-swap:70000
  A report is the assignment [S:]report:N=SOURCE with SOURCE one of
    generated  the default: 4 x N lines of 32 bytes,
               "S<station> R<code> LINE <n>" padded to 30 characters, CR LF
    empty      no text (packet 0 starts with CTRL-Z)
    exact80    exactly 80 characters, then CTRL-Z
    full8192   8192 characters and no CTRL-Z (64 full packets)
    nul        "BEFORE NUL", a NUL byte, "AFTER NUL", then CTRL-Z
    file:PATH  the file's bytes, then CTRL-Z
    raw:PATH   the file's bytes, no CTRL-Z added

Functions answered
  1, 2 read coils, inputs (1..2000)     3, 4 read holding, input registers (1..125)
  5 write coil (FF00 or 0000)           6 write holding register
  15 write coils (1..1968)              16 write holding registers (1..123)
  65 read report packet: request slave, 65, report code, packet number;
     answer of 136 bytes: slave, 65, report code, packet number, 128 text
     bytes (bytes 128n..128n+127 of the text followed by CTRL-Z 0x1A, then
     NUL filler), CRC. Report codes 9101..9108 are reports 1..8, 9201..9208
     reports 9..16.
  Exceptions: 1 any other function; 3 a quantity out of range, a byte count
  not matching it, a coil value other than FF00/0000; 2 addresses past 65535,
  or a report code not listed above. A refused request changes nothing.

Faults
)";

const char kFaultActions[] = R"(  Actions (ACTION*N repeats one N times in --faults):
    correct              the right answer
    silent               no answer
    wrong-slave[:ADDR]   answer from slave ADDR (default the request's + 1)
    wrong-function[:FN]  answer with function byte FN (default the request's + 1)
    bad-crc              the answer with its two CRC bytes inverted
    exception:CODE       exception answer with CODE 0..255 (request not carried out)
    truncate:K           only the first K bytes of the answer
    split:N:G            the answer in pieces of N bytes, G ms apart
    delay:MS             the answer MS ms late
    garbage[:COUNT]      COUNT bytes (default 3) of FF FE FD FC FB FA F9 F8...
                         right before the answer
  e.g. --faults silent*2,bad-crc,exception:4
       --random-faults silent=0.05,delay:300=0.02 --seed 7

)";

const char kOutputTitle[] = R"(
Output
)";

const char kClosing[] = R"(
The first line printed is "rtusim: serving stations LIST on DEVICE".
)";

bool ApplyDevice(ParseState& p, const std::string& v, std::string* /*error*/) {
  p.options.simulator.line.device = v;
  return true;
}

bool ApplyLink(ParseState& p, const std::string& v, std::string* /*error*/) {
  p.options.simulator.line.link = v;
  return true;
}

bool ApplyBaud(ParseState& p, const std::string& v, std::string* error) {
  long long number = 0;
  if (!ParseInteger(v, 50, 4000000, &number)) return Fail(error, "bad --baud " + v);
  p.baud = static_cast<int>(number);
  return true;
}

bool ApplyParity(ParseState& p, const std::string& v, std::string* error) {
  if (v != "N" && v != "E" && v != "O") return Fail(error, "bad --parity " + v + " (N, E or O)");
  p.parity = v[0];
  return true;
}

bool ApplyStopBits(ParseState& p, const std::string& v, std::string* error) {
  if (v != "1" && v != "2") return Fail(error, "bad --stop-bits " + v + " (1 or 2)");
  p.stopBits = v[0] - '0';
  return true;
}

bool ApplyEmulateTiming(ParseState& p, const std::string& /*value*/, std::string* /*error*/) {
  p.emulate = true;
  return true;
}

bool ApplyStrictFraming(ParseState& p, const std::string& /*value*/, std::string* /*error*/) {
  p.strict = 1;
  return true;
}

bool ApplyLooseFraming(ParseState& p, const std::string& /*value*/, std::string* /*error*/) {
  p.strict = 0;
  return true;
}

bool ApplyIdle(ParseState& p, const std::string& v, std::string* error) {
  long long number = 0;
  if (!ParseInteger(v, 1, 60000, &number)) return Fail(error, "bad --idle " + v);
  p.options.simulator.idleMs = static_cast<int>(number);
  return true;
}

bool ApplyStations(ParseState& p, const std::string& v, std::string* error) {
  return ParseStationList(v, &p.options.simulator.stations, error);
}

bool ApplySet(ParseState& p, const std::string& v, std::string* error) {
  return ParsePreset(v, "", &p.options.simulator.presets, error);
}

bool ApplyValues(ParseState& p, const std::string& v, std::string* error) {
  return LoadValueFile(v, &p.options.simulator.presets, error);
}

bool ApplyReport(ParseState& p, const std::string& v, std::string* error) {
  // "[S:]N=SOURCE" is the assignment "[S:]report:N=SOURCE".
  const size_t eq = v.find('=');
  const std::string target = v.substr(0, eq);
  const std::string source = eq == std::string::npos ? "" : v.substr(eq);
  const size_t colon = target.find(':');
  const std::string text = colon == std::string::npos
                               ? "report:" + v
                               : target.substr(0, colon) + ":report:" + target.substr(colon + 1) + source;
  return ParsePreset(text, "", &p.options.simulator.presets, error);
}

bool ApplyFaults(ParseState& p, const std::string& v, std::string* error) {
  return ParseFaultList(v, &p.options.script, error);
}

bool ApplyRandomFaults(ParseState& p, const std::string& v, std::string* error) {
  return ParseRandomFaults(v, &p.options.random, error);
}

bool ApplySeed(ParseState& p, const std::string& v, std::string* error) {
  long long number = 0;
  if (!ParseInteger(v, 0, 4294967295LL, &number)) return Fail(error, "bad --seed " + v);
  p.options.seed = static_cast<uint32_t>(number);
  return true;
}

bool ApplySilent(ParseState& p, const std::string& v, std::string* error) {
  const std::vector<std::string_view> parts = Split(v, ':');
  if (parts.size() != 3) return Fail(error, "bad --silent " + v + " (STATION:FROM:TO, e.g. 5:2:12.5)");
  long long station = 0;
  SilentWindow window;
  if (!ParseInteger(parts[0], 1, 247, &station)) {
    return Fail(error, "bad --silent " + v + ": the station is not 1 to 247");
  }
  window.station = static_cast<uint8_t>(station);
  if (!ParseDouble(parts[1], &window.from) || !std::isfinite(window.from) || window.from < 0) {
    return Fail(error, "bad --silent " + v + ": FROM is not a number of seconds");
  }
  window.to = std::numeric_limits<double>::infinity();
  if (!parts[2].empty() && (!ParseDouble(parts[2], &window.to) || std::isnan(window.to))) {
    return Fail(error, "bad --silent " + v + ": TO is not a number of seconds or inf");
  }
  if (window.to <= window.from) return Fail(error, "bad --silent " + v + ": TO is not after FROM");
  p.options.simulator.silent.push_back(window);
  return true;
}

bool ApplyEcho(ParseState& p, const std::string& v, std::string* error) {
  if (!ParseEchoMode(v, &p.options.simulator.echo)) {
    return Fail(error, "bad --echo " + v + " (full, partial, corrupt or none)");
  }
  return true;
}

bool ApplyTrace(ParseState& p, const std::string& /*value*/, std::string* /*error*/) {
  p.options.trace = true;
  return true;
}

bool ApplyHelp(ParseState& p, const std::string& /*value*/, std::string* /*error*/) {
  p.options.help = true;
  return true;
}

bool ApplyVersion(ParseState& p, const std::string& /*value*/, std::string* /*error*/) {
  p.options.version = true;
  return true;
}

// One option: its spellings, the name of its value (null: it takes none),
// the help text before it, its help (further lines from column 24) and what
// it does with its value.
struct RtusimOption {
  const char* name;
  const char* alias;
  const char* valueName;
  const char* lead;
  const char* help;
  bool (*apply)(ParseState& state, const std::string& value, std::string* error);
};

// In the order --help lists them.
const RtusimOption kRtusimOptions[] = {
    {"--device", nullptr, "PATH", kIntro,
     "serve this existing serial device instead of a new\n"
     "pseudo-terminal",
     ApplyDevice},
    {"--link", nullptr, "PATH", nullptr,
     "also make PATH a symbolic link to the line, e.g.\n"
     "\"$VPI_COM_DIR/com1\" so that the driver opens it as\n"
     "COM1 (an existing file that is not a link is left\n"
     "alone); removed again on exit. PATH.lock beside it\n"
     "names the process serving it: a link that a running\n"
     "simulator serves is refused, one left by a simulator\n"
     "that died is taken over",
     ApplyLink},
    {"--baud", nullptr, "RATE", nullptr,
     "line speed, default 9600: set on --device, and the\n"
     "basis of --emulate-timing",
     ApplyBaud},
    {"--parity", nullptr, "N|E|O", nullptr,
     "parity, default N (set on --device; with E or O a\n"
     "character is 11 bits on the wire)",
     ApplyParity},
    {"--stop-bits", nullptr, "1|2", nullptr, "stop bits, default 1 (2: 11 bits a character)", ApplyStopBits},
    {"--emulate-timing", nullptr, nullptr, nullptr,
     "delay each answer by the time request and answer take\n"
     "on a real line at --baud (10 or 11 bits a character)\n"
     "plus the silent interval of 3.5 characters (1.75 ms\n"
     "above 19200 baud)",
     ApplyEmulateTiming},
    {"--strict-framing", nullptr, nullptr, nullptr,
     "frame requests as a real slave does: the bytes\n"
     "received are one frame until a silence of 3.5\n"
     "characters at --baud, and a frame with a bad CRC is\n"
     "ignored (a request with stray bytes before or after\n"
     "it, or two requests sent together, go unanswered).\n"
     "On with --emulate-timing unless --loose-framing",
     ApplyStrictFraming},
    {"--loose-framing", nullptr, nullptr, nullptr,
     "cut requests out of the byte stream by their length\n"
     "and CRC, dropping stray bytes (the default without\n"
     "--emulate-timing)",
     ApplyLooseFraming},
    {"--idle", nullptr, "MS", nullptr,
     "silence after which an incomplete request is dropped,\n"
     "default 50 (loose framing)",
     ApplyIdle},
    {"--stations", nullptr, "LIST", kStationsTitle,
     "slave addresses served, e.g. 1,2,10-12 (1..247),\n"
     "default 1. Address 0 is broadcast: writes are carried\n"
     "out on every station, nothing is answered. Frames for\n"
     "other addresses and frames with a bad CRC are ignored.",
     ApplyStations},
    {"--set", nullptr, "ASSIGNMENT", nullptr, "preset values, see below (may be repeated)", ApplySet},
    {"--values", nullptr, "FILE", nullptr,
     "a file of assignments and reports, one a line; blank\n"
     "lines and lines starting with # are skipped; relative\n"
     "report file names are taken from the file's folder",
     ApplyValues},
    // Its value is too wide for the column: the text starts two further right.
    {"--report", nullptr, "[S:]N=SOURCE", nullptr, "  report N (1..16) of station S (default: every station)",
     ApplyReport},
    {"--faults", nullptr, "LIST", kDataAndFunctions,
     "actions for the next requests to served stations, one\n"
     "each, in order; then --random-faults, else correct",
     ApplyFaults},
    {"--random-faults", nullptr, "LIST", nullptr,
     "ACTION=PROBABILITY,... drawn for every request once\n"
     "the --faults list is used up (the rest is correct)",
     ApplyRandomFaults},
    {"--seed", nullptr, "N", nullptr, "seed of the random faults, default 1", ApplySeed},
    {"--silent", nullptr, "S:FROM:TO", kFaultActions,
     "station S (1..247) is powered off for the requests\n"
     "arriving FROM to TO seconds after the start: they\n"
     "get no answer, change nothing and take no --faults\n"
     "action. Seconds are decimal (5:2:12.5); an empty TO\n"
     "or inf is for ever (5:0: from the start on). FROM\n"
     "is in the window, TO is not. May be repeated",
     ApplySilent},
    {"--echo", nullptr, "MODE", nullptr,
     "hand every request back before anything else, as a\n"
     "2-wire adapter that hears its own sending does:\n"
     "  full     the whole frame, CRC included\n"
     "  partial  its first 3 bytes\n"
     "  corrupt  the whole frame, the last byte before the\n"
     "           CRC XOR 0x20\n"
     "  none     no echo, the default\n"
     "Broadcasts and requests to silent or other stations\n"
     "are echoed too (frames with a bad CRC are not). The\n"
     "echo goes back at once, with --emulate-timing at the\n"
     "pace of the request; the answer follows it with its\n"
     "usual timing",
     ApplyEcho},
    {"--trace", nullptr, nullptr, kOutputTitle,
     "print every request and answer in hex with its\n"
     "meaning, faults applied and bytes dropped, to stdout",
     ApplyTrace},
    {"--help", "-h", nullptr, nullptr, "this text", ApplyHelp},
    {"--version", nullptr, nullptr, nullptr, "print the version", ApplyVersion},
};

const RtusimOption* FindRtusimOption(const std::string& name) {
  for (const RtusimOption& option : kRtusimOptions) {
    if (name == option.name || (option.alias != nullptr && name == option.alias)) return &option;
  }
  return nullptr;
}

std::string MakeHelp() {
  std::string help;
  for (const RtusimOption& option : kRtusimOptions) {
    if (option.lead != nullptr) help += option.lead;
    std::string usage = std::string("  ") + option.name;
    if (option.valueName != nullptr) usage += std::string(" ") + option.valueName;
    usage.resize(usage.size() < 24 ? 24 : usage.size() + 1, ' ');
    help += usage;
    for (const char* c = option.help; *c != '\0'; ++c) {
      help += *c;
      if (*c == '\n') help.append(24, ' ');
    }
    help += '\n';
  }
  return help + kClosing;
}

}  // namespace

const char* RtusimHelp() {
  static const std::string help = MakeHelp();
  return help.c_str();
}

bool ParseRtusimArguments(int argc, const char* const* argv, RtusimOptions* options, std::string* error) {
  ParseState state;
  for (int i = 1; i < argc; ++i) {
    // "--name=value" gives the value in the same argument.
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    const size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    const RtusimOption* option = FindRtusimOption(name);
    if (option == nullptr) return Fail(error, "unknown option " + std::string(argv[i]) + " (see --help)");
    if (option->valueName != nullptr && !hasValue) {
      if (i + 1 >= argc) return Fail(error, name + " needs a value");
      value = argv[++i];
    }
    if (!option->apply(state, value, error)) return false;
  }
  RtusimOptions& parsed = state.options;
  const int baud = state.baud;
  const char parity = state.parity;
  const int stopBits = state.stopBits;
  const bool emulate = state.emulate;
  const int strict = state.strict;
  if (!parsed.simulator.line.device.empty()) {
    parsed.simulator.line.baud = baud;
    parsed.simulator.line.parity = parity;
    parsed.simulator.line.stopBits = stopBits;
  }
  const int bitsPerCharacter = (parity != 'N' || stopBits == 2) ? 11 : 10;
  if (emulate) {
    parsed.simulator.timing.baud = baud;
    parsed.simulator.timing.bitsPerCharacter = bitsPerCharacter;
  }
  if (strict == 1 || (strict == -1 && emulate)) {
    parsed.simulator.framing.baud = baud;
    parsed.simulator.framing.bitsPerCharacter = bitsPerCharacter;
  }
  *options = std::move(parsed);
  return true;
}

}  // namespace sim
