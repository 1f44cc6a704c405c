#include "host/vpihost/options.h"

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "host/vpihost/gates_file.h"

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

const char* const kCommands[] = {"poll", "write", "report", "browse", "info"};

}  // namespace

bool ParseHostOptions(int argc, char** argv, HostOptions* o, std::string* error) {
  bool commandSeen = false;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char** out) {
      if (i + 1 >= argc) {
        *error = arg + " needs a value";
        return false;
      }
      *out = argv[++i];
      return true;
    };
    const char* v = nullptr;
    long n = 0;
    if (arg == "--help" || arg == "-h") {
      o->help = true;
    } else if (arg == "--module") {
      if (!value(&v)) return false;
      o->module = v;
    } else if (arg == "--gates") {
      if (!value(&v)) return false;
      o->gatesFile = v;
    } else if (arg == "--port") {
      if (!value(&v)) return false;
      o->port = v;
      if (o->port.empty() || o->port.size() > 11) {
        *error = "--port takes a name of 1 to 11 characters (use VPI_COM_DIR for longer paths)";
        return false;
      }
    } else if (arg == "--no-port") {
      o->noPort = true;
    } else if (arg == "--baud") {
      if (!value(&v)) return false;
      if (!Number(v, 50, 65535, &n)) {
        *error = "--baud takes a rate from 50 to 65535 (the host's field is 16 bits)";
        return false;
      }
      o->baud = static_cast<uint16_t>(n);
    } else if (arg == "--data-bits") {
      if (!value(&v)) return false;
      if (!Number(v, 5, 8, &n)) {
        *error = "--data-bits takes 5, 6, 7 or 8";
        return false;
      }
      o->dataBits = static_cast<int16_t>(n);
    } else if (arg == "--parity") {
      if (!value(&v)) return false;
      if (!Lookup(kParities, v, &o->parity)) {
        *error = "--parity takes none, odd, even, mark or space";
        return false;
      }
    } else if (arg == "--stop-bits") {
      if (!value(&v)) return false;
      if (!Lookup(kStopBits, v, &o->stopBits)) {
        *error = "--stop-bits takes 1, 1.5 or 2";
        return false;
      }
    } else if (arg == "--timeout") {
      if (!value(&v)) return false;
      if (!Number(v, 1, 6000, &n)) {
        *error = "--timeout takes 1 to 6000 (units of 10 ms)";
        return false;
      }
      o->timeout = static_cast<uint32_t>(n);
    } else if (arg == "--driver-number") {
      if (!value(&v)) return false;
      if (!Number(v, 0, 999, &n)) {
        *error = "--driver-number takes 0 to 999";
        return false;
      }
      o->driverNumber = static_cast<int32_t>(n);
    } else if (arg == "--cycles") {
      if (!value(&v)) return false;
      if (!Number(v, 1, 1000000, &n)) {
        *error = "--cycles takes a count from 1";
        return false;
      }
      o->cycles = static_cast<int>(n);
    } else if (arg == "--interval") {
      if (!value(&v)) return false;
      if (!Number(v, 0, 3600000, &n)) {
        *error = "--interval takes milliseconds";
        return false;
      }
      o->intervalMs = static_cast<int>(n);
    } else if (arg == "--log-level") {
      if (!value(&v)) return false;
      if (!Number(v, 0, 1000, &n)) {
        *error = "--log-level takes a level (0, 8 or 32)";
        return false;
      }
      o->logLevel = static_cast<int>(n);
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
  const size_t wanted = (o->command == "write" || o->command == "report") ? 2 : 0;
  if (!o->help && o->arguments.size() != wanted) {
    *error = "'" + o->command + "' takes " + std::to_string(wanted) + " arguments";
    return false;
  }
  return true;
}

void PrintHostUsage(const HostOptions& d) {
  std::printf(
      "usage: vpihost [OPTIONS] [COMMAND [ARGUMENTS]]\n"
      "\n"
      "Runs the driver module as the host runtime does: ColdStart, the address\n"
      "parsers for every gate of the gates file, then the command, then EndVpi.\n"
      "Without --port it starts the built-in device simulator on a\n"
      "pseudo-terminal and runs against it.\n"
      "\n"
      "Commands:\n"
      "  poll              read every gate and print a table (the default)\n"
      "  write GAS VALUE   write VALUE to the gate whose address string is GAS, then\n"
      "                    read every gate; a block takes comma-separated values\n"
      "                    (1,2,3); writing a report number (1-16) to a trigger gate\n"
      "                    fetches that report\n"
      "  report GAS N      fetch report N through the trigger gate GAS, then read\n"
      "                    every gate (the report lines show the report's text)\n"
      "  browse            compose a gate address string in the address dialog\n"
      "  info              show what the module reports about itself\n"
      "\n"
      "Options:\n"
      "  --gates FILE          the gates file (default %s)\n"
      "  --port NAME           serial port: COM1 ... (see VPI_COM_DIR), /dev/ttyS0, NUL\n"
      "  --no-port             start the instance without a serial port\n"
      "  --baud N              baud rate (%u)\n"
      "  --data-bits N         5 to 8 (%d)\n"
      "  --parity P            none, odd, even, mark or space (none)\n"
      "  --stop-bits S         1, 1.5 or 2 (1)\n"
      "  --timeout N           reply timeout in units of 10 ms (%u)\n"
      "  --driver-number N     this instance's number; selects KOVRINnn.INT (%d)\n"
      "  --cycles N            poll N times (%d); after a cycle whose reads failed in\n"
      "                        transport the port is closed and reopened\n"
      "  --interval MS         pause between polls (%d)\n"
      "  --log-level N         show driver log lines of level N and above: 32 start-up\n"
      "                        and failures, 8 transport details, 0 everything (%d)\n"
      "  --module PATH         the driver module (default %s)\n"
      "  --help                this text\n"
      "\n"
      "Gates file: one gate a line, ADDRESS TYPE [BLOCKSIZE], '#' starts a comment.\n"
      "Types:\n",
      d.gatesFile.c_str(), d.baud, d.dataBits, d.timeout, d.driverNumber, d.cycles, d.intervalMs,
      d.logLevel, d.module.c_str());
  for (int i = 0; i < kGateKindCount; ++i) {
    std::printf("  %-8s (gate type %d) %s\n", kGateKinds[i].name, kGateKinds[i].gateType,
                kGateKinds[i].meaning);
  }
  std::printf(
      "\n"
      "Exit status: 0 when every transfer succeeded, 1 when a gate was refused or a\n"
      "transfer failed, 2 for a usage error, a bad gates file, or a module or port\n"
      "that cannot be opened.\n");
}
