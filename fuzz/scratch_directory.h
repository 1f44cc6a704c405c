// Makes a fresh empty directory the current one for the rest of the
// process, and removes it at exit.
#pragma once

void EnterScratchDirectory();
