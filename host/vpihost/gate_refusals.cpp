#include "host/vpihost/gate_refusals.h"

#include "host/zelpro/zelpro_host.h"

ParseLines::Guard::Guard(std::atomic_flag& flag) : flag_(flag) {
  while (flag_.test_and_set(std::memory_order_acquire)) {
  }
}

ParseLines::Guard::~Guard() { flag_.clear(std::memory_order_release); }

ParseLines::ParseLines(int minimumLevel) : minimumLevel_(minimumLevel) { ZelHostSetLogSink(&Line, this); }

ParseLines::~ParseLines() { ZelHostSetLogSink(nullptr, nullptr); }

void ParseLines::Line(int level, const char* text, void* context) {
  auto* self = static_cast<ParseLines*>(context);
  const Guard guard(self->busy_);
  self->lines_.push_back({level, text});
}

void ParseLines::Begin() {
  const Guard guard(busy_);
  lines_.clear();
}

std::vector<std::string> ParseLines::Taken() {
  const Guard guard(busy_);
  std::vector<std::string> texts;
  for (const Kept& line : lines_) texts.push_back(line.text);
  return texts;
}

void ParseLines::Show() {
  const Guard guard(busy_);
  for (const Kept& line : lines_) {
    if (line.level >= minimumLevel_) std::fprintf(stderr, "[%2d] %s\n", line.level, line.text.c_str());
  }
}

std::string RefusalText(const GateRefusal& refusal) {
  const GateEntry& entry = refusal.entry;
  std::string text = entry.origin + ": " + entry.address + " " + entry.kind->name;
  if (entry.blockSize > 0) text += " " + std::to_string(entry.blockSize);
  text += ": ";
  if (refusal.lines.empty()) return text + "refused, the driver logged no reason";
  for (size_t i = 0; i < refusal.lines.size(); ++i) text += (i != 0 ? " / " : "") + refusal.lines[i];
  return text;
}

void PrintRefusals(std::FILE* out, const std::vector<GateRefusal>& refusals, size_t gates) {
  std::fprintf(out, "vpihost: the driver refuses %zu of %zu gates; nothing was sent:\n", refusals.size(),
               gates);
  for (const GateRefusal& refusal : refusals) std::fprintf(out, "  %s\n", RefusalText(refusal).c_str());
}
