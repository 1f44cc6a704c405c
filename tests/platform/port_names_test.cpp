// How Windows port names reach devices.

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>

#include "platform/file_names.h"
#include "platform/port_names.h"
#include "tests/support/pty_device.h"
#include "tests/support/temp_dir.h"

namespace {

struct NameCase {
  const char* name;
  std::optional<std::string> comDir;  // VPI_COM_DIR, unset when empty
  const char* path;                   // null: the name names no device
};

const NameCase kNameCases[] = {
    {"/dev/ttyUSB0", std::nullopt, "/dev/ttyUSB0"},
    {"/dev/ttyUSB0", "/ports", "/dev/ttyUSB0"},
    {"NUL", std::nullopt, "/dev/null"},
    {"nul", "/ports", "/dev/null"},
    {"Nul", std::nullopt, "/dev/null"},
    {"COM1", "/ports", "/ports/com1"},
    {"com1", "/ports", "/ports/com1"},
    {"cOm12", "/ports", "/ports/com12"},
    {"COM1", std::nullopt, "/dev/ttyS0"},
    {"com2", std::nullopt, "/dev/ttyS1"},
    {"COM10", std::nullopt, "/dev/ttyS9"},
    {"COM255", std::nullopt, "/dev/ttyS254"},
    {"COM1", "", "/dev/ttyS0"},  // an empty directory name counts as unset
    {"COM0", "/ports", nullptr},
    {"COM01", "/ports", nullptr},
    {"COM", "/ports", nullptr},
    {"COMA", "/ports", nullptr},
    {"COM1A", "/ports", nullptr},
    {"COM-1", "/ports", nullptr},
    {"LPT1", "/ports", nullptr},
    {"ttyS0", std::nullopt, nullptr},
    {"", std::nullopt, nullptr},
    {"COM99999999999", std::nullopt, nullptr},
    // The device form hosts use for COM10 and above, and the old colon form.
    {"\\\\.\\COM10", "/ports", "/ports/com10"},
    {"\\\\.\\com3", std::nullopt, "/dev/ttyS2"},
    {"COM4:", "/ports", "/ports/com4"},
    {"com12:", std::nullopt, "/dev/ttyS11"},
    {"\\\\.\\COM4:", "/ports", nullptr},
    {"\\\\.\\LPT1", "/ports", nullptr},
    {"\\\\.\\", "/ports", nullptr},
    {"\\\\?\\COM1", "/ports", nullptr},
    {"COM:", "/ports", nullptr},
    {"COM1::", "/ports", nullptr},
    {"COM1 :", "/ports", nullptr},
    // Trailing blanks go, as Win32 drops them (a host's padded field);
    // the device form keeps them, and blanks elsewhere stay.
    {"COM1 ", "/ports", "/ports/com1"},
    {"COM12   ", std::nullopt, "/dev/ttyS11"},
    {"COM4: ", "/ports", "/ports/com4"},
    {"NUL ", "/ports", "/dev/null"},
    {" COM1", "/ports", nullptr},
    {"COM 1", "/ports", nullptr},
    {"   ", "/ports", nullptr},
    {"\\\\.\\COM1 ", "/ports", nullptr},
};

void PrintTo(const NameCase& c, std::ostream* out) {
  *out << '"' << c.name << "\" with VPI_COM_DIR " << (c.comDir ? '"' + *c.comDir + '"' : "unset");
}

class PortNameTest : public ::testing::TestWithParam<NameCase> {};

TEST_P(PortNameTest, MapsToDevicePath) {
  const NameCase& c = GetParam();
  ScopedComDir comDir(c.comDir);
  char path[128] = "untouched";
  const bool mapped = MapPortName(c.name, path, sizeof path);
  if (c.path == nullptr) {
    EXPECT_FALSE(mapped) << "mapped to " << path;
  } else {
    ASSERT_TRUE(mapped);
    EXPECT_STREQ(path, c.path);
  }
}

INSTANTIATE_TEST_SUITE_P(Names, PortNameTest, ::testing::ValuesIn(kNameCases));

TEST(PortNameLimits, PathThatDoesNotFitIsRefused) {
  ScopedComDir comDir(std::string("/a/rather/long/directory"));
  char small[12];
  EXPECT_FALSE(MapPortName("COM1", small, sizeof small));
  EXPECT_FALSE(MapPortName("/dev/ttyUSB0", small, sizeof small));
  EXPECT_FALSE(MapPortName(nullptr, small, sizeof small));
}

// File names as Windows matches them: letter case aside.
TEST(FileNameCase, OpensTheFileWhateverTheCaseOfItsName) {
  TempDir dir;
  std::filesystem::create_directory(dir.path() / "sub");
  dir.Write("sub/Kovrin.Int", "sub");
  dir.Write("KOVRIN7.int", "seven");
  dir.Write("kovrin7.INT", "other seven");
  const struct {
    const char* name;
    const char* content;  // null: nothing opens
  } cases[] = {
      {"sub/KOVRIN.INT", "sub"},   {"sub/kovrin.int", "sub"},
      {"KOVRIN7.int", "seven"},     // the exact name first
      {"Kovrin7.Int", "seven"},     // else the first in name order
      {"SUB/KOVRIN.INT", nullptr},  // only the last part may differ
      {"KOVRIN.IN", nullptr},      {"missing/KOVRIN.INT", nullptr},
  };
  for (const auto& c : cases) {
    FILE* file = OpenFileAnyCase(c.name);
    if (c.content == nullptr) {
      EXPECT_EQ(file, nullptr) << c.name;
      if (file != nullptr) std::fclose(file);
      continue;
    }
    ASSERT_NE(file, nullptr) << c.name;
    char text[32] = {};
    const size_t n = std::fread(text, 1, sizeof text - 1, file);
    std::fclose(file);
    EXPECT_EQ(std::string(text, n), c.content) << c.name;
  }
}

}  // namespace
