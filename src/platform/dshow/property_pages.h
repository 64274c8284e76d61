// Property pages that platform objects offer. Without Windows no page can be
// shown, so a page is only a class identifier; the frame that "shows" pages
// records what it was given (ui/user_interface.cpp).
#pragma once

#include <quorin_platform/dshow.h>

namespace platform {

// Fills pages with count identifiers in task memory (none, and a null list,
// for zero). The identifiers differ between owners by ownerTag.
HRESULT fillPages(CAUUID *pages, long count, uint32_t ownerTag);

// An object whose pages set a capture device up, as the property frame finds
// it behind the IUnknown it is given: what kind of object it is, and the way
// the user's choice of size on its pages is applied.
class PageTarget {
public:
    virtual const char *pageKind() const = 0;
    virtual HRESULT applyUserSize(LONG width, LONG height) = 0;

protected:
    ~PageTarget() = default;
};

} // namespace platform
