#include "bench/table_text.h"

#include <algorithm>

std::string Format(const char* format, double value) {
  char text[64];
  std::snprintf(text, sizeof text, format, value);
  return text;
}

std::string Rate(double perSecond) {
  if (perSecond >= 100) return Format("%.0f", perSecond);
  if (perSecond >= 10) return Format("%.1f", perSecond);
  return Format("%.2f", perSecond);
}

std::string Duration(double us) {
  if (us < 10000) return Format("%.0f us", us);
  if (us < 1e6) return Format("%.1f ms", us / 1000);
  return Format("%.2f s", us / 1e6);
}

namespace {

// Characters on the screen: UTF-8 continuation bytes take no room.
size_t DisplayWidth(const std::string& text) {
  size_t width = 0;
  for (unsigned char c : text) {
    if ((c & 0xC0) != 0x80) ++width;
  }
  return width;
}

}  // namespace

void PrintMarkdown(const std::vector<std::vector<std::string>>& cells, size_t leftColumns, std::FILE* out) {
  std::vector<size_t> widths;
  for (const auto& row : cells) {
    widths.resize(std::max(widths.size(), row.size()), 0);
    for (size_t i = 0; i < row.size(); ++i) widths[i] = std::max(widths[i], DisplayWidth(row[i]));
  }
  for (size_t r = 0; r < cells.size(); ++r) {
    std::string line = "|";
    for (size_t i = 0; i < widths.size(); ++i) {
      const std::string& cell = i < cells[r].size() ? cells[r][i] : std::string();
      const bool left = i < leftColumns;
      const std::string pad(widths[i] - DisplayWidth(cell), ' ');
      line += " " + (left ? cell + pad : pad + cell) + " |";
    }
    std::fprintf(out, "%s\n", line.c_str());
    if (r == 0) {
      std::string rule = "|";
      for (size_t i = 0; i < widths.size(); ++i) {
        const bool left = i < leftColumns;
        rule += (left ? ":" : "-") + std::string(widths[i], '-') + (left ? "-|" : ":|");
      }
      std::fprintf(out, "%s\n", rule.c_str());
    }
  }
}
