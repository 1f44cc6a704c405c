// A tiny check harness for the Windows test programs (no test framework is
// available for the cross build). Checks count and report failures with
// their place; CheckSummary prints "N passed, N failed" as the last line.
#pragma once

#include <cstdint>
#include <string>

// Names the case that the following checks belong to, for failure messages.
void CheckSetCase(const std::string& name);

bool CheckTrue(bool ok, const char* expression, const char* file, int line);
bool CheckInt(int64_t actual, int64_t expected, const char* expression, const char* file, int line);
bool CheckText(const std::string& actual, const std::string& expected, const char* expression,
               const char* file, int line);

// Prints the totals as the last line; the program's exit status.
int CheckSummary();

#define CHECK(condition) CheckTrue((condition), #condition, __FILE__, __LINE__)
#define CHECK_EQ(actual, expected) \
  CheckInt(static_cast<int64_t>(actual), static_cast<int64_t>(expected), #actual, __FILE__, __LINE__)
#define CHECK_TEXT(actual, expected) CheckText((actual), (expected), #actual, __FILE__, __LINE__)
