// The headless description of template 101 says what the resource script
// compiled into the Windows module says.

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "browse/tag_format_resource.h"
#include "dialog/dialog_template.h"

using namespace kovrin;

namespace {

const std::map<std::string, DWORD> kStyleNames = {
    {"DS_MODALFRAME", DS_MODALFRAME},
    {"DS_SETFONT", DS_SETFONT},
    {"WS_POPUP", WS_POPUP},
    {"WS_CAPTION", WS_CAPTION},
    {"WS_SYSMENU", WS_SYSMENU},
    {"WS_TABSTOP", WS_TABSTOP},
    {"WS_BORDER", WS_BORDER},
    {"WS_VSCROLL", WS_VSCROLL},
    {"WS_DISABLED", WS_DISABLED},
    {"WS_GROUP", WS_GROUP},
    {"ES_UPPERCASE", ES_UPPERCASE},
    {"ES_AUTOHSCROLL", ES_AUTOHSCROLL},
    {"CBS_DROPDOWNLIST", CBS_DROPDOWNLIST},
    {"CBS_SORT", CBS_SORT},
    {"LBS_NOTIFY", LBS_NOTIFY},
    {"LBS_SORT", LBS_SORT},
    {"LBS_NOINTEGRALHEIGHT", LBS_NOINTEGRALHEIGHT},
    {"LBS_WANTKEYBOARDINPUT", LBS_WANTKEYBOARDINPUT},
    {"BS_PUSHBUTTON", BS_PUSHBUTTON},
    {"BS_DEFPUSHBUTTON", BS_DEFPUSHBUTTON},
    {"BS_AUTOCHECKBOX", BS_AUTOCHECKBOX},
    {"BS_GROUPBOX", BS_GROUPBOX},
    {"SBS_VERT", SBS_VERT},
    {"SS_LEFT", SS_LEFT},
    {"SS_CENTER", SS_CENTER},
};

std::string Trim(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t\r");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// Comma-separated fields, commas inside quotes kept; quotes removed.
std::vector<std::string> Fields(const std::string& text) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (char c : text) {
    if (c == '"') {
      quoted = !quoted;
    } else if (c == ',' && !quoted) {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  for (std::string& field : fields) field = Trim(field);
  return fields;
}

DWORD Style(const std::string& expression) {
  DWORD style = 0;
  std::istringstream names(expression);
  std::string name;
  while (names >> name) {
    if (name == "|") continue;
    const auto known = kStyleNames.find(name);
    EXPECT_NE(known, kStyleNames.end()) << "style name " << name;
    if (known != kStyleNames.end()) style |= known->second;
  }
  return style;
}

TEST(TagFormatTemplateTest, MatchesTheResourceScript) {
  const DialogTemplate* description = FindDialogTemplate(kTagFormatDialogId);
  ASSERT_NE(description, nullptr);
  std::ifstream script(KOVRIN_SOURCE_DIR "/browse/kovrinsx.rc");
  ASSERT_TRUE(script.is_open());

  size_t controls = 0;
  bool sawDialog = false;
  std::string line;
  while (std::getline(script, line)) {
    line = Trim(line);
    const std::string keyword = line.substr(0, line.find(' '));
    const std::string rest = Trim(line.substr(keyword.size()));
    if (line.rfind("101 DIALOGEX", 0) == 0) {
      sawDialog = true;
      const std::vector<std::string> box = Fields(line.substr(std::string("101 DIALOGEX").size()));
      ASSERT_EQ(box.size(), 4u);
      EXPECT_EQ(std::stoi(box[2]), description->cx);
      EXPECT_EQ(std::stoi(box[3]), description->cy);
    } else if (keyword == "STYLE") {
      EXPECT_EQ(Style(rest), description->style);
    } else if (keyword == "CAPTION") {
      EXPECT_EQ(Fields(rest).at(0), description->caption);
    } else if (keyword == "FONT") {
      const std::vector<std::string> font = Fields(rest);
      EXPECT_EQ(std::stoi(font.at(0)), description->pointSize);
      EXPECT_EQ(font.at(1), description->fontName);
    } else if (keyword == "CONTROL") {
      ASSERT_LT(controls, description->items.size()) << line;
      const DialogItemTemplate& item = description->items[controls++];
      const std::vector<std::string> f = Fields(rest);
      ASSERT_EQ(f.size(), 8u) << line;
      SCOPED_TRACE(line);
      EXPECT_EQ(f[0], item.text);
      EXPECT_EQ(std::stoi(f[1]), item.id);
      EXPECT_EQ(f[2], item.windowClass);
      EXPECT_EQ(Style(f[3]), item.style);
      EXPECT_EQ(std::stoi(f[4]), item.x);
      EXPECT_EQ(std::stoi(f[5]), item.y);
      EXPECT_EQ(std::stoi(f[6]), item.cx);
      EXPECT_EQ(std::stoi(f[7]), item.cy);
    }
  }
  EXPECT_TRUE(sawDialog);
  EXPECT_EQ(controls, description->items.size());
}

TEST(TagFormatTemplateTest, ControlsInTabOrder) {
  const DialogTemplate* description = FindDialogTemplate(kTagFormatDialogId);
  ASSERT_NE(description, nullptr);
  std::vector<int> ids;
  for (const DialogItemTemplate& item : description->items) ids.push_back(item.id);
  EXPECT_EQ(ids, (std::vector<int>{1037, 1006, 1007, 1022, 1, 2, 1036, 1057, 1054, 1058, 1055, -1, 1044, 1045,
                                   1048, 1049, 1051, -1, 1052}));
  EXPECT_EQ(description->style & WS_SYSMENU, 0u);
}

}  // namespace
