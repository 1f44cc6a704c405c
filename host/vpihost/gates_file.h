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
  // Where the gate was given: "FILE:LINE", or "argument N" on the command line.
  std::string origin;
  // No type given: kind is the first guess, the driver's parser picks the
  // kind (see kOmittedTypeOrder).
  bool typeOmitted = false;
};

// The most values one block of the kind carries: what one read request may
// ask for and its reply can hold (2000 bits, 125 registers, 62 values of two
// registers). The driver's parser and transfers refuse larger ones, some only
// at the first transfer; 0 for a kind that is no block.
int32_t MostBlockValues(const GateKind& kind);
// Whether a block of size values fits the kind; false with the reason.
bool CheckBlockSize(const GateKind& kind, long size, std::string* reason);

// The name the gates file "-" goes by: standard input.
extern const char kStdinName[];

// Parses the text of a gates file; on a bad line returns false with
// "FILE:LINE: reason" in error.
bool ParseGates(const std::string& text, const std::string& fileName, std::vector<GateEntry>* gates,
                std::string* error);
// "-" reads standard input.
bool LoadGatesFile(const std::string& path, std::vector<GateEntry>* gates, std::string* error);
