#include <cstring>
#include <dirent.h>
#include <string>
#include <strings.h>

#include "platform/file_names.h"

FILE* OpenFileAnyCase(const char* name) {
  if (FILE* file = std::fopen(name, "rb")) return file;
  // Only the last part of the name may differ in case.
  const char* slash = std::strrchr(name, '/');
  const std::string directory = slash == nullptr ? "." : std::string(name, slash + 1);
  const char* base = slash == nullptr ? name : slash + 1;
  DIR* listing = opendir(directory.c_str());
  if (listing == nullptr) return nullptr;
  std::string found;
  while (const dirent* entry = readdir(listing)) {
    if (strcasecmp(entry->d_name, base) != 0) continue;
    if (found.empty() || std::strcmp(entry->d_name, found.c_str()) < 0) found = entry->d_name;
  }
  closedir(listing);
  if (found.empty()) return nullptr;
  const std::string path = slash == nullptr ? found : directory + found;
  return std::fopen(path.c_str(), "rb");
}
