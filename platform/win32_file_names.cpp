#include "platform/file_names.h"

// Windows finds a file whatever the case of its name.
FILE* OpenFileAnyCase(const char* name) { return std::fopen(name, "rb"); }
