// The gates file: one gate a line, "ADDRESS TYPE [BLOCKSIZE]", '#' comments.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct GateKind {
  const char* name;
  int32_t gateType;
  const char* meaning;
};

// Gate types by the names a user knows.
extern const GateKind kGateKinds[];
extern const int kGateKindCount;
const GateKind* FindGateKind(const std::string& name);

struct GateEntry {
  std::string address;
  const GateKind* kind = nullptr;
  int32_t blockSize = 0;  // 0: a single gate
  int line = 0;
};

// Parses the text of a gates file; on a bad line returns false with
// "FILE:LINE: reason" in error.
bool ParseGates(const std::string& text, const std::string& fileName, std::vector<GateEntry>* gates,
                std::string* error);
bool LoadGatesFile(const std::string& path, std::vector<GateEntry>* gates, std::string* error);
