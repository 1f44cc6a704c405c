#include "host/vpihost/gate_refusals.h"

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
