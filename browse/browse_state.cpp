#include "browse/browse_state.h"

BrowseDialogState g_browseDialog = {'D', false, false, {}, {}, {}, {}, {}, {}};
