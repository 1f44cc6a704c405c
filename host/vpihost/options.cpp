#include "host/vpihost/options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/vpihost/gates_file.h"
#include "host/vpihost/port_link.h"

namespace {

bool Number(const char* text, long min, long max, long* out) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (*text == '\0' || *end != '\0' || errno != 0 || v < min || v > max) return false;
  *out = v;
  return true;
}

struct Code {
  const char* name;
  int16_t code;
};
const Code kParities[] = {{"none", 0}, {"odd", 1}, {"even", 2}, {"mark", 3}, {"space", 4},
                          {"N", 0},    {"O", 1},   {"E", 2},    {"M", 3},    {"S", 4}};
const Code kStopBits[] = {{"1", 0}, {"1.5", 1}, {"2", 2}};

template <size_t N>
bool Lookup(const Code (&table)[N], const char* name, int16_t* out) {
  for (const Code& entry : table) {
    if (std::strcmp(entry.name, name) == 0) {
      *out = entry.code;
      return true;
    }
  }
  return false;
}

const char* const kCommands[] = {"poll", "write", "report", "scan", "browse", "info"};

// One option: its spellings, the name of its value (null: it takes none),
// its help ("{}" stands for the default that shown gives) and what it does.
struct HostOption {
  const char* name;
  const char* alias;
  const char* valueName;
  const char* help;
  std::string (*shown)(const HostOptions& defaults);
  bool (*apply)(HostOptions& options, const char* value, std::string* error);
  // When set, the help as this build has it, in place of help.
  std::string (*helpFor)(const UsageFacts& facts) = nullptr;
};

bool Refuse(std::string* error, const char* message) {
  *error = message;
  return false;
}

// In the order --help lists them.
const HostOption kHostOptions[] = {
    {"--gates", nullptr, "FILE", "the gates file (default {})",
     [](const HostOptions& d) { return d.gatesFile; },
     [](HostOptions& o, const char* v, std::string*) {
       o.gatesFile = v;
       return true;
     }},
    {"--gate", nullptr, "GATE",
     "a gate, ADDR[:type[:blocksize]], read instead of the\n"
     "gates file (may be repeated; after poll's GATEs)",
     nullptr,
     [](HostOptions& o, const char* v, std::string*) {
       o.gateArguments.push_back(v);
       return true;
     }},
    {"--port", nullptr, "NAME", "serial port: COM1 ... (see VPI_COM_DIR), NUL or a device path", nullptr,
     [](HostOptions& o, const char* v, std::string* error) {
       o.port = v;
       if (PortLinksAvailable()) {
         return o.port.empty() ? Refuse(error, "--port takes a port name or a device path") : true;
       }
       if (o.port.empty() || o.port.size() > kPortNameLimit) {
         return Refuse(error, "--port takes a name of 1 to 11 characters (COM10 and above as \\\\.\\COM10)");
       }
       return true;
     },
     [](const UsageFacts& facts) {
       std::string help = facts.portLinks ? "serial port: COM1 ... (see VPI_COM_DIR), NUL or a\ndevice path"
                                          : "serial port: COM1 ... COM9, \\\\.\\COM10 and above, or NUL\n"
                                            "(11 characters at most)";
       help += facts.simulatorBuiltIn ? "; without it the built-in simulator" : "; required";
       return help;
     }},
    {"--no-port", nullptr, nullptr, "start the instance without a serial port", nullptr,
     [](HostOptions& o, const char*, std::string*) {
       o.noPort = true;
       return true;
     }},
    {"--baud", nullptr, "N", "baud rate ({})", [](const HostOptions& d) { return std::to_string(d.baud); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 50, 65535, &n)) {
         return Refuse(error, "--baud takes a rate from 50 to 65535 (the host's field is 16 bits)");
       }
       o.baud = static_cast<uint16_t>(n);
       return true;
     }},
    {"--data-bits", nullptr, "N", "5 to 8 ({})",
     [](const HostOptions& d) { return std::to_string(d.dataBits); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 5, 8, &n)) return Refuse(error, "--data-bits takes 5, 6, 7 or 8");
       o.dataBits = static_cast<int16_t>(n);
       return true;
     }},
    {"--parity", nullptr, "P", "none, odd, even, mark or space (none)", nullptr,
     [](HostOptions& o, const char* v, std::string* error) {
       return Lookup(kParities, v, &o.parity) ||
              Refuse(error, "--parity takes none, odd, even, mark or space");
     }},
    {"--stop-bits", nullptr, "S", "1, 1.5 or 2 (1)", nullptr,
     [](HostOptions& o, const char* v, std::string* error) {
       return Lookup(kStopBits, v, &o.stopBits) || Refuse(error, "--stop-bits takes 1, 1.5 or 2");
     }},
    {"--timeout", nullptr, "N", "reply timeout in units of 10 ms ({})",
     [](const HostOptions& d) { return std::to_string(d.timeout); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 1, 6000, &n)) return Refuse(error, "--timeout takes 1 to 6000 (units of 10 ms)");
       o.timeout = static_cast<uint32_t>(n);
       o.timeoutGiven = true;
       return true;
     }},
    {"--driver-number", nullptr, "N", "this instance's number; selects KOVRINnn.INT ({})",
     [](const HostOptions& d) { return std::to_string(d.driverNumber); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 0, 999, &n)) return Refuse(error, "--driver-number takes 0 to 999");
       o.driverNumber = static_cast<int32_t>(n);
       return true;
     }},
    {"--cycles", nullptr, "N",
     "poll N times ({}; no limit with --duration alone); after\n"
     "a cycle in which a request could not be sent (the device\n"
     "may have gone) the port is closed and reopened; a station\n"
     "that does not answer leaves the port open",
     [](const HostOptions& d) { return std::to_string(d.cycles); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 1, 1000000, &n)) return Refuse(error, "--cycles takes a count from 1");
       o.cycles = static_cast<int>(n);
       o.cyclesGiven = true;
       return true;
     }},
    {"--duration", nullptr, "SECONDS",
     "poll until SECONDS have passed (with --cycles, whichever\n"
     "ends first); the transfer under way is finished",
     nullptr,
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 1, 31536000, &n)) return Refuse(error, "--duration takes whole seconds from 1");
       o.durationSeconds = static_cast<int>(n);
       return true;
     }},
    {"--interval", nullptr, "MS", "pause between polls ({})",
     [](const HostOptions& d) { return std::to_string(d.intervalMs); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 0, 3600000, &n)) return Refuse(error, "--interval takes milliseconds");
       o.intervalMs = static_cast<int>(n);
       return true;
     }},
    {"--log-level", nullptr, "N",
     "show driver log lines of level N and above: 32 start-up\n"
     "and failures, 8 transport details, 0 everything ({})",
     [](const HostOptions& d) { return std::to_string(d.logLevel); },
     [](HostOptions& o, const char* v, std::string* error) {
       long n = 0;
       if (!Number(v, 0, 1000, &n)) return Refuse(error, "--log-level takes a level (0, 8 or 32)");
       o.logLevel = static_cast<int>(n);
       return true;
     }},
    {"--format", nullptr, "F",
     "table, csv or json: how the readings are printed (table);\n"
     "see Output below",
     nullptr,
     [](HostOptions& o, const char* v, std::string* error) {
       const std::string name = v;
       if (name == "table") {
         o.format = OutputFormat::kTable;
       } else if (name == "csv") {
         o.format = OutputFormat::kCsv;
       } else if (name == "json") {
         o.format = OutputFormat::kJson;
       } else {
         return Refuse(error, "--format takes table, csv or json");
       }
       return true;
     }},
    {"--hex", nullptr, nullptr,
     "integers (int16, int32, their blocks) in hexadecimal in\n"
     "the table and CSV, 0x002A, 0x0001E240; JSON keeps numbers",
     nullptr,
     [](HostOptions& o, const char*, std::string*) {
       o.hex = true;
       return true;
     }},
    {"--module", nullptr, "PATH", "the driver module (default {})",
     [](const HostOptions& d) { return d.module; },
     [](HostOptions& o, const char* v, std::string*) {
       o.module = v;
       return true;
     }},
    {"--help", "-h", nullptr, "this text", nullptr,
     [](HostOptions& o, const char*, std::string*) {
       o.help = true;
       return true;
     }},
    {"--version", nullptr, nullptr, "print the version of vpihost and of the module", nullptr,
     [](HostOptions& o, const char*, std::string*) {
       o.version = true;
       return true;
     }},
};

const HostOption* FindHostOption(const std::string& arg) {
  for (const HostOption& option : kHostOptions) {
    if (arg == option.name || (option.alias != nullptr && arg == option.alias)) return &option;
  }
  return nullptr;
}

// "  --name VALUE", the help from column 24, its further lines indented as far.
std::string OptionUsage(const HostOption& option, const HostOptions& defaults, const UsageFacts& facts) {
  std::string usage = option.name;
  if (option.valueName != nullptr) usage += std::string(" ") + option.valueName;
  std::string help = option.helpFor != nullptr ? option.helpFor(facts) : option.help;
  const size_t mark = help.find("{}");
  if (mark != std::string::npos && option.shown != nullptr) help.replace(mark, 2, option.shown(defaults));
  std::string text = "  " + usage;
  text.resize(24 > text.size() + 1 ? 24 : text.size() + 1, ' ');
  for (const char c : help) {
    text += c;
    if (c == '\n') text += std::string(24, ' ');
  }
  return text + "\n";
}

}  // namespace

bool ParseHostOptions(int argc, char** argv, HostOptions* o, std::string* error) {
  bool commandSeen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (const HostOption* option = FindHostOption(arg)) {
      const char* value = nullptr;
      if (option->valueName != nullptr) {
        if (i + 1 >= argc) {
          *error = arg + " needs a value";
          return false;
        }
        value = argv[++i];
      }
      if (!option->apply(*o, value, error)) return false;
    } else if (arg.size() > 1 && arg[0] == '-' && !std::isdigit(static_cast<unsigned char>(arg[1])) &&
               arg[1] != '.') {
      *error = "unknown option " + arg;
      return false;
    } else if (!commandSeen) {
      bool known = false;
      for (const char* command : kCommands) known = known || arg == command;
      if (!known) {
        *error = "unknown command '" + arg + "'";
        return false;
      }
      o->command = arg;
      commandSeen = true;
    } else {
      o->arguments.push_back(arg);
    }
  }
  if (o->help || o->version) return true;
  if (o->command == "poll") {
    // poll's arguments are its gates, in front of any --gate.
    o->gateArguments.insert(o->gateArguments.begin(), o->arguments.begin(), o->arguments.end());
    o->arguments.clear();
    return true;
  }
  if (o->command == "scan") {
    if (o->arguments.size() != 1) {
      *error = "'scan' takes the stations to ask, FIRST-LAST or one station";
      return false;
    }
    if (!ParseStationRange(o->arguments[0], &o->scanFirst, &o->scanLast)) {
      *error =
          "'scan' takes stations from 1 to 247, FIRST-LAST with FIRST <= LAST, not '" + o->arguments[0] + "'";
      return false;
    }
    if (!o->gateArguments.empty()) {
      *error = "'scan' reads no gates (--gate)";
      return false;
    }
    return true;
  }
  const size_t wanted = (o->command == "write" || o->command == "report") ? 2 : 0;
  if (o->arguments.size() != wanted) {
    *error = "'" + o->command + "' takes " + std::to_string(wanted) + " arguments";
    return false;
  }
  return true;
}

bool ParseStationRange(const std::string& text, int* first, int* last) {
  const size_t dash = text.find('-');
  long a = 0;
  long b = 0;
  if (dash == std::string::npos) {
    if (!Number(text.c_str(), 1, 247, &a)) return false;
    b = a;
  } else if (!Number(text.substr(0, dash).c_str(), 1, 247, &a) ||
             !Number(text.substr(dash + 1).c_str(), 1, 247, &b) || a > b) {
    return false;
  }
  *first = static_cast<int>(a);
  *last = static_cast<int>(b);
  return true;
}

std::string LineSettingsText(const HostOptions& o) {
  static const char kParityLetters[] = "NOEMS";
  const char parity = o.parity >= 0 && o.parity <= 4 ? kParityLetters[o.parity] : '?';
  const char* const stop = o.stopBits == 0 ? "1" : o.stopBits == 1 ? "1.5" : "2";
  return std::to_string(o.baud) + " baud " + std::to_string(o.dataBits) + parity + stop + ", reply timeout " +
         std::to_string(o.timeout * 10) + " ms";
}

std::string HostUsageText(const HostOptions& d, const UsageFacts& facts) {
  std::string text =
      "Usage: vpihost [OPTIONS] [COMMAND [ARGUMENTS]]\n"
      "\n"
      "Runs the driver module as the host runtime does: ColdStart, the address\n"
      "parsers for every gate of the gates file, then the command, then EndVpi.\n";
  text += facts.simulatorBuiltIn ? "Without --port it starts the built-in device simulator on a\n"
                                   "pseudo-terminal and runs against it.\n"
                                 : "This build has no built-in device simulator: --port names the\n"
                                   "port of the device (COM1 ... COM9, \\\\.\\COM10 and above).\n";
  text +=
      "\n"
      "Commands:\n"
      "  poll [GATE...]    read every gate and print a table (the default); GATEs,\n"
      "                    ADDR[:type[:blocksize]], are read instead of the gates file\n"
      "  write GAS VALUE   write VALUE to the gate whose address string is GAS, then\n"
      "                    read every gate; a block takes one comma-separated value\n"
      "                    for each of its values (1,2,3); writing a report number\n"
      "                    (1-16) to a trigger gate fetches that report\n"
      "  report GAS N      fetch report N through the trigger gate GAS, then read\n"
      "                    every gate (the report lines show the report's text)\n"
      "  scan FIRST-LAST   read holding register 0 (gate 0140001 for station 1) of\n"
      "                    stations FIRST to LAST (1-247, or one) once each and list\n"
      "                    who answers: a value, an exception (the station is there)\n"
      "                    or nothing; reply timeout 10 (100 ms) unless --timeout; it\n"
      "                    says first how long it takes at most and keeps to it\n"
      "  browse            compose a gate address string in the address dialog\n"
      "  info              show what the module reports about itself\n"
      "\n"
      "Options:\n";
  for (const HostOption& option : kHostOptions) text += OptionUsage(option, d, facts);
  text +=
      "\n"
      "Gates file: one gate a line, ADDRESS TYPE [BLOCKSIZE], '#' starts a comment;\n"
      "--gates - reads it from standard input.\n"
      "A gate on the command line is ADDRESS[:TYPE[:BLOCKSIZE]]; without a type it\n"
      "is the first of int16, digital, float, int32, text and trigger that the\n"
      "driver's parser takes (0140001 int16, 0100001 and 01400105 digital, 0170101\n"
      "float). A block holds at most 2000 digital, 125 int16 or 62 float or int32\n"
      "values (one frame). Gates the driver refuses are listed with its reasons\n"
      "before anything is sent, and nothing is.\n"
      "Types:\n";
  for (int i = 0; i < kGateKindCount; ++i) {
    char line[160];
    std::snprintf(line, sizeof line, "  %-8s (gate type %d) %s\n", kGateKinds[i].name, kGateKinds[i].gateType,
                  kGateKinds[i].meaning);
    text += line;
  }
  text +=
      "\n"
      "Output: the table shows one row per gate; texts are quoted with control\n"
      "characters escaped (\\r, \\n, \\x1A) and long ones cut, \"...(N chars)\"\n"
      "giving the full length. Polling more than once (--cycles, --duration)\n"
      "redraws the table in place on a terminal (prints each cycle's table\n"
      "otherwise) and ends with a summary, also after Ctrl-C: per gate the\n"
      "transfers, successes, retries, failures by result code and cause and\n"
      "min/mean/max transfer time; per station what the driver's log said of\n"
      "its transfers (retries, silent, wrong frames, CRC errors, exceptions by\n"
      "code, echo collisions, demotions), its reply times (min/mean/99th\n"
      "percentile) and its state as the driver gives it; for the run the\n"
      "transfers a second, the share that failed and the retries.\n"
      "A failed transfer names its cause, from the driver's log of it: no reply,\n"
      "bad CRC, wrong station, wrong frame, exception N (its name), echo\n"
      "collision, no echo, send failure, station demoted, port closed, port\n"
      "failure, refused by the driver.\n"
      "--format csv: a header row, then one RFC 4180 record per gate per cycle:\n"
      "time,cycle,gate,address,type,value,result,result_text,cause,retries; a\n"
      "block's values are comma-separated in one field; the summary goes to\n"
      "stderr.\n"
      "--format json: JSON Lines, one object per gate per cycle with the same\n"
      "fields (value: a number, an array for a block, a string for a text, null\n"
      "when there is none); the summary is the last line, {\"summary\": {...}}.\n"
      "In both, floats have the digits that give back the same float, and the\n"
      "other lines (driver, device, notes) go to stderr.\n"
      "\n"
      "Exit status: 0 when every transfer succeeded (scan: a station answered),\n"
      "1 when the driver refused a gate, a transfer failed, no station answered\n"
      "or the run was interrupted, 2 for a usage error, a bad gates file, or a\n"
      "module or port that cannot be opened (the device and the system's reason\n"
      "are named).\n";
  return text;
}

void PrintHostUsage(const HostOptions& d, const UsageFacts& facts) {
  const std::string text = HostUsageText(d, facts);
  std::fwrite(text.data(), 1, text.size(), stdout);
}
