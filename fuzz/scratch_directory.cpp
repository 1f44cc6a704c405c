#include "fuzz/scratch_directory.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>

namespace {

std::filesystem::path g_scratch;

void RemoveScratch() {
  std::error_code ignored;
  std::filesystem::current_path(std::filesystem::temp_directory_path(), ignored);
  std::filesystem::remove_all(g_scratch, ignored);
}

}  // namespace

void EnterScratchDirectory() {
  const auto base = std::filesystem::temp_directory_path();
  auto stamp = static_cast<unsigned long long>(std::chrono::steady_clock::now().time_since_epoch().count());
  for (;; ++stamp) {
    g_scratch = base / ("kovrin-fuzz-" + std::to_string(stamp));
    if (std::filesystem::create_directory(g_scratch)) break;
  }
  std::filesystem::current_path(g_scratch);
  std::atexit(RemoveScratch);
}
