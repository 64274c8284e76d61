// Property frames and message boxes in real windows, shown by the dialog
// helper. The device stays here: the helper asks, this side applies, so a
// helper that dies can change nothing that is not undone.
#pragma once

#include "dshow/property_pages.h"

#include <string>

namespace platform {

enum class WindowResult {
    Closed,    // the user closed the window (OK, Cancel or a fault, as Cancel)
    NoDisplay, // no window could be opened: the headless stand-in answers
};

// Shows target's pages in one modal window with caption (empty: the
// device's name and "Properties") and returns when it closes. A control
// change applies at once; Cancel restores what OK or Apply did not keep.
WindowResult showPropertyWindow(const std::string &helper, const std::string &caption, PageTarget &target);

// Says a property window's fault in one line on stderr.
void sayPropertyFault(const std::string &what);

// A modal message box; its icon follows style's MB_ICON bits.
WindowResult showMessageWindow(const std::string &helper, const std::string &caption, const std::string &text,
                               unsigned long style);

} // namespace platform
