// Why the driver refuses a gate: its parser says so in its log, at level 32
// or only at 8. While vpihost parses the gates it takes the host library's
// log, keeps each parse's lines, and shows those of accepted gates as the
// library would; a refused gate's lines become its refusal.
#pragma once

#include <atomic>
#include <cstdio>
#include <string>
#include <vector>

#include "host/vpihost/gates_file.h"

class ParseLines {
 public:
  // Takes the host library's log (the flag below keeps it from being copied).
  explicit ParseLines(int minimumLevel);
  ~ParseLines();  // the host library's own log again

  // The lines written from now on, until the next Begin.
  void Begin();
  std::vector<std::string> Taken();
  // Shows the lines taken since Begin at or above the minimum level, as
  // "[level] text" on stderr.
  void Show();

 private:
  static void Line(int level, const char* text, void* context);
  // A line may come from any thread; std::mutex is not there in every
  // build of the Windows toolchain.
  class Guard {
   public:
    explicit Guard(std::atomic_flag& flag);
    ~Guard();

   private:
    std::atomic_flag& flag_;
  };

  struct Kept {
    int level;
    std::string text;
  };
  int minimumLevel_;
  std::atomic_flag busy_ = ATOMIC_FLAG_INIT;
  std::vector<Kept> lines_;
};

struct GateRefusal {
  GateEntry entry;
  std::vector<std::string> lines;  // the driver's log lines of the parse
};

// One line a refused gate: "FILE:LINE: ADDRESS TYPE [BLOCK]: the driver's
// line" (several joined with " / ").
std::string RefusalText(const GateRefusal& refusal);
// The refusals, headed by how many of how many gates, on out.
void PrintRefusals(std::FILE* out, const std::vector<GateRefusal>& refusals, size_t gates);
