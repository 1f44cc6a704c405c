#include "browse/browse_state.h"

namespace kovrin {

BrowseDialogState g_browseDialog = {'D', false, false, {}, {}, {}, {}, {}, {}};

}  // namespace kovrin
