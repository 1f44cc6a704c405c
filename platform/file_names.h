// Opening a file by a name whose letter case may differ from the name on
// disk, as Windows file names do not differ by case.
#pragma once

#include <cstdio>

// Opens the file for reading in binary mode: the name as given, else (where
// names differ by case) the first entry of its directory, in name order,
// that differs from it only in the case of ASCII letters. Null when none
// opens.
FILE* OpenFileAnyCase(const char* name);
