// A second slave for the benchmark, built on libmodbus: station 1 on a
// pseudo-terminal it creates and links at --link. libmodbus answers the
// standard functions (modbus_reply); the report packets of function 65, which
// libmodbus does not know, are answered here. With --emulate-timing every
// answer is delayed by the time request and answer take on a real line at
// --baud plus the silent interval, as the device simulator does.
//
//   kovrin_bench_slave --link DIR/com1 [--baud RATE --emulate-timing]

#include <modbus/modbus.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>

#include "bench/report_texts.h"
#include "bench/wire_time.h"
#include "programs/far_end.h"
#include "serial/crc16.h"
#include "tests/support/frame_crc.h"

using namespace kovrin;

namespace {

constexpr uint8_t kStation = 1;
constexpr int kAreaSize = 2000;
constexpr int kFirstByteMs = 100;
constexpr int kIdleMs = 50;
constexpr uint8_t kEndOfReport = 0x1A;

volatile std::sig_atomic_t g_stop = 0;
void OnSignal(int) { g_stop = 1; }

struct Options {
  std::string link;
  int baud = 9600;
  bool emulate = false;
};

bool ParseOptions(int argc, char** argv, Options* options) {
  for (int i = 1; i < argc; ++i) {
    const std::string name = argv[i];
    if (name == "--emulate-timing") {
      options->emulate = true;
    } else if (name == "--link" && i + 1 < argc) {
      options->link = argv[++i];
    } else if (name == "--baud" && i + 1 < argc) {
      options->baud = std::atoi(argv[++i]);
    } else {
      std::fprintf(stderr, "kovrin_bench_slave: unknown argument %s\n", argv[i]);
      return false;
    }
  }
  if (options->link.empty() || options->baud <= 0) {
    std::fprintf(stderr, "usage: kovrin_bench_slave --link PATH [--baud RATE --emulate-timing]\n");
    return false;
  }
  return true;
}

uint16_t Word(const uint8_t* bytes) { return static_cast<uint16_t>(bytes[0] << 8 | bytes[1]); }

// Bytes of the request known to be needed once `have` bytes are in frame;
// -1 for a function this slave does not take.
int BytesNeeded(const uint8_t* frame, size_t have) {
  if (have < 2) return 2;
  switch (frame[1]) {
    case 1:
    case 2:
    case 3:
    case 4:
    case 5:
    case 6:
    case 65:
      return 8;
    case 15:
    case 16:
      return have < 7 ? 7 : 9 + frame[6];
    default:
      return -1;
  }
}

// Length of the answer to a well-formed request.
int AnswerLength(const uint8_t* request) {
  const int quantity = Word(request + 4);
  switch (request[1]) {
    case 1:
    case 2:
      return 5 + (quantity + 7) / 8;
    case 3:
    case 4:
      return 5 + 2 * quantity;
    case 65:
      return 136;
    default:
      return 8;
  }
}

// Reads one request into frame; its length, or 0 when none came whole.
int ReadRequest(int line, uint8_t* frame, size_t size) {
  size_t have = 0;
  for (;;) {
    const int need = BytesNeeded(frame, have);
    if (need < 0) {
      FarEndReadUntilIdle(line, frame, size, 0, kIdleMs);
      return 0;
    }
    if (have >= static_cast<size_t>(need)) return need;
    if (static_cast<size_t>(need) > size) return 0;
    const long n =
        FarEndRead(line, frame + have, static_cast<size_t>(need) - have, have == 0 ? kFirstByteMs : kIdleMs);
    if (n <= 0) return 0;
    have += static_cast<size_t>(n);
  }
}

int ReportNumberOfCode(uint16_t code) {
  if (code >= 9101 && code <= 9108) return code - 9100;
  if (code >= 9201 && code <= 9208) return code - 9200 + 8;
  return 0;
}

void AnswerReport(int line, const uint8_t* request, const std::string* texts) {
  const int number = ReportNumberOfCode(Word(request + 2));
  const int packet = Word(request + 4);
  uint8_t answer[136] = {};
  std::memcpy(answer, request, 6);
  const std::string& text = texts[number >= 1 && number <= kReportCount ? number - 1 : 0];
  // The text, then the end-of-report character, then NUL filler.
  for (int i = 0; i < kReportPacketText; ++i) {
    const size_t at = static_cast<size_t>(packet) * kReportPacketText + i;
    answer[6 + i] =
        at < text.size() ? static_cast<uint8_t>(text[at]) : (at == text.size() ? kEndOfReport : 0);
  }
  WriteCrc(answer, 134, answer + 134);
  FarEndWrite(line, answer, sizeof answer);
}

modbus_mapping_t* MakeMapping() {
  modbus_mapping_t* map = modbus_mapping_new(kAreaSize, kAreaSize, kAreaSize, kAreaSize);
  if (map == nullptr) return nullptr;
  // The simulator's preset pattern, so both slaves hold the same data.
  for (int n = 0; n < kAreaSize; ++n) {
    map->tab_bits[n] = n % 3 == 0 ? 1 : 0;
    map->tab_input_bits[n] = n % 2;
    map->tab_input_registers[n] = static_cast<uint16_t>(n ^ 0x5555);
    map->tab_registers[n] = static_cast<uint16_t>(n);
  }
  return map;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  if (!ParseOptions(argc, argv, &options)) return 2;
  std::signal(SIGTERM, OnSignal);
  std::signal(SIGINT, OnSignal);

  char device[128];
  const int line = FarEndOpenPty(device, sizeof device);
  if (line < 0) {
    std::fprintf(stderr, "kovrin_bench_slave: no pseudo-terminal\n");
    return 1;
  }
  // Holding the far end open lets masters close and reopen the line.
  const int hold = FarEndOpenDevice(device);
  modbus_t* ctx = modbus_new_rtu(device, options.baud, 'N', 8, 1);
  modbus_mapping_t* map = MakeMapping();
  if (hold < 0 || ctx == nullptr || map == nullptr) {
    std::fprintf(stderr, "kovrin_bench_slave: cannot set up the line\n");
    return 1;
  }
  modbus_set_slave(ctx, kStation);
  modbus_set_socket(ctx, line);  // libmodbus answers on the line this program owns
  std::string texts[kReportCount];
  for (int i = 0; i < kReportCount; ++i) texts[i] = ReportText(i + 1);
  if (!MakeSymlink(device, options.link.c_str())) {
    std::fprintf(stderr, "kovrin_bench_slave: cannot link %s\n", options.link.c_str());
    return 1;
  }
  std::printf("kovrin_bench_slave: serving station 1 on %s\n", device);
  std::fflush(stdout);

  uint8_t frame[MODBUS_RTU_MAX_ADU_LENGTH + 8];
  while (g_stop == 0) {
    const int length = ReadRequest(line, frame, sizeof frame);
    if (length == 0 || frame[0] != kStation || Crc16(frame, static_cast<size_t>(length)) != 0) continue;
    if (options.emulate) {
      const WireLoad load{length + AnswerLength(frame), 1};
      std::this_thread::sleep_for(
          std::chrono::microseconds(static_cast<long long>(WireMicroseconds(load, options.baud))));
    }
    if (frame[1] == 65) {
      AnswerReport(line, frame, texts);
    } else {
      modbus_reply(ctx, frame, length, map);
    }
  }

  RemoveFile(options.link.c_str());
  modbus_mapping_free(map);
  modbus_free(ctx);  // not modbus_close: the line is this program's, not libmodbus's
  FarEndClose(hold);
  FarEndClose(line);
  return 0;
}
