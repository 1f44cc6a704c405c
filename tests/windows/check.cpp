#include "tests/windows/check.h"

#include <cstdio>

namespace {

int g_passed = 0;
int g_failed = 0;
std::string g_case;

bool Record(bool ok, const char* file, int line, const std::string& detail) {
  if (ok) {
    ++g_passed;
    return true;
  }
  ++g_failed;
  std::printf("FAILED %s:%d [%s] %s\n", file, line, g_case.c_str(), detail.c_str());
  std::fflush(stdout);
  return false;
}

}  // namespace

void CheckSetCase(const std::string& name) {
  g_case = name;
  std::printf("-- %s\n", name.c_str());
  std::fflush(stdout);
}

bool CheckTrue(bool ok, const char* expression, const char* file, int line) {
  return Record(ok, file, line, expression);
}

bool CheckInt(int64_t actual, int64_t expected, const char* expression, const char* file, int line) {
  char detail[160];
  std::snprintf(detail, sizeof detail, " is %lld (0x%llx), expected %lld (0x%llx)",
                static_cast<long long>(actual), static_cast<unsigned long long>(actual),
                static_cast<long long>(expected), static_cast<unsigned long long>(expected));
  return Record(actual == expected, file, line, std::string(expression) + detail);
}

bool CheckText(const std::string& actual, const std::string& expected, const char* expression,
               const char* file, int line) {
  return Record(actual == expected, file, line,
                std::string(expression) + " is \"" + actual + "\", expected \"" + expected + "\"");
}

int CheckSummary() {
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  std::fflush(stdout);
  return g_failed == 0 && g_passed > 0 ? 0 : 1;
}
