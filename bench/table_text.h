// The cells and the layout of the benchmark's tables: figures as text, and
// rows of cells as a Markdown table that reads aligned on a terminal too.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

// value through a printf format of one double.
std::string Format(const char* format, double value);
// Transactions per second with three significant figures or so.
std::string Rate(double perSecond);
// Microseconds as us, ms or s, whichever reads best.
std::string Duration(double us);
// The first leftColumns columns are text, aligned left; the rest numbers.
// The first row is the header.
void PrintMarkdown(const std::vector<std::vector<std::string>>& cells, size_t leftColumns, std::FILE* out);
