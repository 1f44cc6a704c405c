// What the benchmark's printing functions wrote, as text, and records read
// back from a results file.
#pragma once

#include <cstdio>
#include <functional>
#include <string>

#include "bench/results.h"
#include "tests/support/temp_dir.h"

// What print wrote to the file it was given.
inline std::string Captured(const std::function<void(std::FILE*)>& print) {
  std::FILE* out = std::tmpfile();
  print(out);
  std::rewind(out);
  std::string text;
  for (int c; (c = std::fgetc(out)) != EOF;) text += static_cast<char>(c);
  std::fclose(out);
  return text;
}

inline std::string PrintedTable(const Results& results) {
  return Captured([&](std::FILE* out) { PrintTable(results, out); });
}

// The records write puts into a results file, read back into results;
// false with a reason when the file cannot be written or read.
inline bool ReadBack(const std::function<void(std::FILE*)>& write, Results* results, std::string* error) {
  TempDir dir;
  const std::string path = (dir.path() / "results.tsv").string();
  std::FILE* file = std::fopen(path.c_str(), "w");
  if (file == nullptr) {
    *error = "cannot write " + path;
    return false;
  }
  write(file);
  std::fclose(file);
  return ReadResults(path.c_str(), results, error);
}
