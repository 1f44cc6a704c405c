/* What a resource script of the module needs from the system: the window
   and control style names. Included by the resource compiler only. */
#pragma once

#if defined(RC_INVOKED) && defined(_WIN32)
#include <winresrc.h>
#endif
