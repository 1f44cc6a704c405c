#include "sim/rtusim_options.h"

#include <cstring>

#include "sim/text_parse.h"

namespace sim {

namespace {

const char kHelp[] = R"(Usage: rtusim [OPTION]...
Plays one or more Modbus RTU / J-BUS slave stations on one serial line until
it is interrupted (Ctrl-C, SIGTERM). Without --device it creates a
pseudo-terminal and prints the device path that masters open.

Line
  --device PATH         serve this existing serial device instead of a new
                        pseudo-terminal
  --link PATH           also make PATH a symbolic link to the line, e.g.
                        "$VPI_COM_DIR/com1" so that the driver opens it as
                        COM1 (an existing file that is not a link is left
                        alone); removed again on exit
  --baud RATE           line speed, default 9600: set on --device, and the
                        basis of --emulate-timing
  --parity N|E|O        parity, default N (set on --device; with E or O a
                        character is 11 bits on the wire)
  --stop-bits 1|2       stop bits, default 1 (2: 11 bits a character)
  --emulate-timing      delay each answer by the time request and answer take
                        on a real line at --baud (10 or 11 bits a character)
                        plus the silent interval of 3.5 characters (1.75 ms
                        above 19200 baud)
  --strict-framing      frame requests as a real slave does: the bytes
                        received are one frame until a silence of 3.5
                        characters at --baud, and a frame with a bad CRC is
                        ignored (a request with stray bytes before or after
                        it, or two requests sent together, go unanswered).
                        On with --emulate-timing unless --loose-framing
  --loose-framing       cut requests out of the byte stream by their length
                        and CRC, dropping stray bytes (the default without
                        --emulate-timing)
  --idle MS             silence after which an incomplete request is dropped,
                        default 50 (loose framing)

Stations and data
  --stations LIST       slave addresses served, e.g. 1,2,10-12 (1..247),
                        default 1. Address 0 is broadcast: writes are carried
                        out on every station, nothing is answered. Frames for
                        other addresses and frames with a bad CRC are ignored.
  --set ASSIGNMENT      preset values, see below (may be repeated)
  --values FILE         a file of assignments and reports, one a line; blank
                        lines and lines starting with # are skipped; relative
                        report file names are taken from the file's folder
  --report [S:]N=SOURCE   report N (1..16) of station S (default: every station)

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
  --faults LIST         actions for the next requests to served stations, one
                        each, in order; then --random-faults, else correct
  --random-faults LIST  ACTION=PROBABILITY,... drawn for every request once
                        the --faults list is used up (the rest is correct)
  --seed N              seed of the random faults, default 1
  Actions (ACTION*N repeats one N times in --faults):
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

Output
  --trace               print every request and answer in hex with its
                        meaning, faults applied and bytes dropped, to stdout
  --help                this text

The first line printed is "rtusim: serving stations LIST on DEVICE".
)";

bool Fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

}  // namespace

const char* RtusimHelp() { return kHelp; }

bool ParseRtusimArguments(int argc, const char* const* argv, RtusimOptions* options, std::string* error) {
  RtusimOptions parsed;
  int baud = 9600;
  char parity = 'N';
  int stopBits = 1;
  bool emulate = false;
  int strict = -1;  // -1: as --emulate-timing says
  for (int i = 1; i < argc; ++i) {
    std::string name = argv[i];
    std::string value;
    bool hasValue = false;
    const size_t equals = name.find('=');
    if (name.rfind("--", 0) == 0 && equals != std::string::npos) {
      value = name.substr(equals + 1);
      name = name.substr(0, equals);
      hasValue = true;
    }
    auto flag = [&](const char* option) {
      return name == option;
    };
    auto take = [&](const char* option) -> bool {
      if (name != option) return false;
      if (!hasValue) {
        if (i + 1 >= argc) return false;
        value = argv[++i];
        hasValue = true;
      }
      return true;
    };
    const bool needsValue = name == "--device" || name == "--link" || name == "--baud" || name == "--parity" ||
                            name == "--stop-bits" || name == "--idle" || name == "--stations" || name == "--set" ||
                            name == "--values" || name == "--report" || name == "--faults" ||
                            name == "--random-faults" || name == "--seed";
    if (needsValue && !hasValue && i + 1 >= argc) return Fail(error, name + " needs a value");
    long long number = 0;
    if (flag("--help") || flag("-h")) {
      parsed.help = true;
    } else if (flag("--trace")) {
      parsed.trace = true;
    } else if (flag("--emulate-timing")) {
      emulate = true;
    } else if (flag("--strict-framing")) {
      strict = 1;
    } else if (flag("--loose-framing")) {
      strict = 0;
    } else if (take("--device")) {
      parsed.simulator.line.device = value;
    } else if (take("--link")) {
      parsed.simulator.line.link = value;
    } else if (take("--baud")) {
      if (!ParseInteger(value, 50, 4000000, &number)) return Fail(error, "bad --baud " + value);
      baud = static_cast<int>(number);
    } else if (take("--parity")) {
      if (value != "N" && value != "E" && value != "O") return Fail(error, "bad --parity " + value + " (N, E or O)");
      parity = value[0];
    } else if (take("--stop-bits")) {
      if (value != "1" && value != "2") return Fail(error, "bad --stop-bits " + value + " (1 or 2)");
      stopBits = value[0] - '0';
    } else if (take("--idle")) {
      if (!ParseInteger(value, 1, 60000, &number)) return Fail(error, "bad --idle " + value);
      parsed.simulator.idleMs = static_cast<int>(number);
    } else if (take("--stations")) {
      if (!ParseStationList(value, &parsed.simulator.stations, error)) return false;
    } else if (take("--set")) {
      if (!ParsePreset(value, "", &parsed.simulator.presets, error)) return false;
    } else if (take("--values")) {
      if (!LoadValueFile(value, &parsed.simulator.presets, error)) return false;
    } else if (take("--report")) {
      // "[S:]N=SOURCE" is the assignment "[S:]report:N=SOURCE".
      const size_t eq = value.find('=');
      const std::string target = value.substr(0, eq);
      const std::string source = eq == std::string::npos ? "" : value.substr(eq);
      const size_t colon = target.find(':');
      const std::string text = colon == std::string::npos
                                   ? "report:" + value
                                   : target.substr(0, colon) + ":report:" + target.substr(colon + 1) + source;
      if (!ParsePreset(text, "", &parsed.simulator.presets, error)) return false;
    } else if (take("--faults")) {
      if (!ParseFaultList(value, &parsed.script, error)) return false;
    } else if (take("--random-faults")) {
      if (!ParseRandomFaults(value, &parsed.random, error)) return false;
    } else if (take("--seed")) {
      if (!ParseInteger(value, 0, 4294967295LL, &number)) return Fail(error, "bad --seed " + value);
      parsed.seed = static_cast<uint32_t>(number);
    } else {
      return Fail(error, "unknown option " + std::string(argv[i]) + " (see --help)");
    }
  }
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
