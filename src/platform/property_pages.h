// Property pages that platform objects offer. Without Windows no page can be
// shown, so a page is only a class identifier; the frame that "shows" pages
// records what it was given (see user_interface.cpp).
#pragma once

#include <quorin_platform/dshow.h>

namespace platform {

// Fills pages with count identifiers in task memory (none, and a null list,
// for zero). The identifiers differ between owners by ownerTag.
HRESULT fillPages(CAUUID *pages, long count, uint32_t ownerTag);

} // namespace platform
