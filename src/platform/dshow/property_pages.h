// Property pages that platform objects offer. A page is a class identifier;
// what the pages show is found by the property frame (ui/) behind the object
// it is given: a capture filter's pages set its device's controls, a capture
// pin's page its capture format.
#pragma once

#include "dshow/capture_device.h"
#include "dshow/media_type.h"

#include <quorin_platform/dshow.h>

namespace platform {

// Fills pages with count identifiers in task memory (none, and a null list,
// for zero). The identifiers differ between owners by ownerTag.
HRESULT fillPages(CAUUID *pages, long count, uint32_t ownerTag);

// An object whose pages set a capture device up, as the property frame finds
// it behind the IUnknown it is given: what kind of object it is, its device,
// the format it captures at, and the way the user's choice of size on its
// pages is applied.
class PageTarget {
public:
    enum class Pages { Controls, Format };

    virtual const char *pageKind() const = 0;
    virtual Pages pages() const = 0;
    virtual Device &pageDevice() = 0;
    virtual VideoFormat pageFormat() const = 0;
    virtual HRESULT applyUserSize(LONG width, LONG height) = 0;

protected:
    ~PageTarget() = default;
};

} // namespace platform
