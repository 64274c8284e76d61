#include "ui/property_window.h"
#include "com/diagnostics.h"

#include "dshow/device_controls.h"
#include "ui/dialog_protocol.h"
#include "ui/helper_process.h"

#include <quorin_platform/user.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>
#include <optional>

namespace platform {

namespace {

using nlohmann::json;
namespace key = protocol::key;
using protocol::nameOf;
using protocol::read;

// What may change while the window is open: value and state.
json stateOf(const Control &c) {
    return {{key::id, c.id},
            {key::value, c.value},
            {key::inactive, c.inactive},
            {key::readOnly, c.readOnly},
            {key::grabbed, c.grabbed}};
}

json describe(const Control &c) {
    json d = stateOf(c);
    d[key::name] = c.name;
    d[key::type] = nameOf(c.type);
    d[key::minimum] = c.minimum;
    d[key::maximum] = c.maximum;
    d[key::step] = c.step;
    d[key::defaultValue] = c.defaultValue;
    json choices = json::array();
    for (const ControlChoice &choice : c.choices)
        choices.push_back({choice.value, choice.label});
    d[key::choices] = choices;
    return d;
}

json page(protocol::PageKind kind, const std::string &title) {
    return {{key::kind, nameOf(kind)}, {key::title, title}};
}

// One page per group of controls, in the order the device lists them.
json controlPages(const std::vector<Control> &controls) {
    json pages = json::array();
    std::map<std::string, size_t> pageOf;
    for (const Control &c : controls) {
        auto found = pageOf.find(c.group);
        if (found == pageOf.end()) {
            found = pageOf.emplace(c.group, pages.size()).first;
            pages.push_back(page(protocol::PageKind::Controls, c.group));
            pages.back()[key::controls] = json::array();
        }
        pages[found->second][key::controls].push_back(describe(c));
    }
    return pages;
}

json formatPage(PageTarget &target) {
    VideoFormat current = target.pageFormat();
    json sizes = json::array();
    for (const FrameSize &size : target.pageDevice().description().sizes)
        sizes.push_back({size.width, size.height});
    json format = page(protocol::PageKind::Format, "Stream Format");
    format[key::sizes] = sizes;
    format[key::current] = {current.width, current.height};
    format[key::fps] = current.fps;
    format[key::colour] = "RGB 24";
    return format;
}

std::string hresultText(const char *what, HRESULT hr) {
    char text[96];
    std::snprintf(text, sizeof text, "%s (0x%08X)", what, static_cast<unsigned>(hr));
    return text;
}

// One open property window: the device's controls as the window changes
// them, and what Cancel restores.
class PropertySession {
public:
    explicit PropertySession(PageTarget &target) : target_(target) {}
    PropertySession(const PropertySession &) = delete;
    PropertySession &operator=(const PropertySession &) = delete;
    // Whatever ends the window (an exception among them) undoes what was
    // not kept; restoring is best effort, as it is after any fault.
    ~PropertySession() {
        try {
            restore();
        } catch (...) {
        }
    }

    json opening(const std::string &caption) {
        json pages = json::array();
        if (target_.pages() == PageTarget::Pages::Format) {
            pages.push_back(formatPage(target_));
        } else {
            std::string error;
            controls_ = target_.pageDevice().openControls(error);
            if (controls_) {
                listed_ = controls_->list();
                pages = controlPages(listed_);
            }
            if (pages.empty()) {
                json empty = page(protocol::PageKind::Controls, "Controls");
                empty[key::controls] = json::array();
                empty[key::note] =
                    controls_ ? "The device has no settings." : "The device's settings cannot be read: " + error;
                pages.push_back(empty);
            }
        }
        std::string title = caption.empty() ? target_.pageDevice().description().name + " Properties" : caption;
        return {{key::dialog, nameOf(protocol::Dialog::Properties)}, {key::caption, title}, {key::pages, pages}};
    }

    // A request of the helper's; false when it is no request it can make.
    bool answer(const json &request, json &reply) {
        if (request.contains(key::set))
            return set(request[key::set], reply);
        if (request.contains(key::apply))
            return apply(request[key::apply], reply);
        return false;
    }

    // OK keeps every change; Cancel and every fault undo what was not kept,
    // the last change first.
    void keep() { undo_.clear(); }
    void restore() {
        if (!controls_)
            return;
        while (!undo_.empty()) {
            std::pair<uint32_t, int64_t> change = undo_.back();
            undo_.pop_back();
            controls_->set(change.first, change.second);
        }
    }

private:
    bool set(const json &what, json &reply) {
        // A control id is 32 bits and a value 64: anything wider is no
        // control of this window's, not one to cut down to size.
        std::optional<uint32_t> id = read<uint32_t>(what, key::id);
        std::optional<int64_t> value = read<int64_t>(what, key::value);
        if (!controls_ || !id || !value)
            return false;
        auto known = std::find_if(listed_.begin(), listed_.end(), [&](const Control &c) { return c.id == *id; });
        if (known == listed_.end())
            return false;
        bool remembered = std::any_of(undo_.begin(), undo_.end(), [&](const auto &c) { return c.first == *id; });
        bool undoable = known->type != ControlType::Button && !remembered;
        int64_t before = known->value;
        std::string name = known->name; // the list is read again below
        std::string refused = controls_->set(*id, *value);
        if (refused.empty() && undoable)
            undo_.emplace_back(*id, before);
        // Values and states as the device now has them: a change may move
        // others (an automatic mode makes its manual control inactive).
        listed_ = controls_->list();
        json states = json::array();
        for (const Control &c : listed_)
            states.push_back(stateOf(c));
        reply = {{key::controls, states}};
        if (!refused.empty())
            reply[key::refused] = name + ": " + refused;
        return true;
    }

    bool apply(const json &what, json &reply) {
        if (!what.is_object())
            return false;
        std::optional<std::pair<LONG, LONG>> size;
        if (what.contains(key::size) && !(size = protocol::asPair<LONG>(what[key::size])))
            return false;
        keep();
        reply = {{key::applied, true}};
        VideoFormat current = target_.pageFormat();
        if (!size || (size->first == current.width && size->second == current.height))
            return true;
        HRESULT hr = target_.applyUserSize(size->first, size->second);
        if (FAILED(hr)) {
            reply[key::refused] = hresultText("The device refused the size", hr);
            VideoFormat now = target_.pageFormat();
            reply[key::current] = {now.width, now.height};
        }
        return true;
    }

    PageTarget &target_;
    std::unique_ptr<DeviceControls> controls_;
    std::vector<Control> listed_;                    // as the device last reported them
    std::vector<std::pair<uint32_t, int64_t>> undo_; // each changed control's value before, in order
};

// The helper's next message once its window is up, for as long as it keeps
// its end open; "shown" again (the desktop hid the window a while) is none.
// Hung: it said "shown" again and again.
enum class Next { Message, Ended, Malformed, Hung };
Next nextMessage(HelperProcess &helper, json &message) {
    for (;;) {
        HelperProcess::Received received = helper.receive(message, -1);
        if (received == HelperProcess::Received::Malformed)
            return Next::Malformed;
        if (received != HelperProcess::Received::Message)
            return Next::Ended;
        if (read<bool>(message, key::shown) != true)
            return Next::Message;
        if (!helper.shownAgain())
            return Next::Hung;
    }
}

// How the helper said its window closed, if that is what message says.
std::optional<protocol::Closed> closing(Next next, const json &message) {
    if (next != Next::Message)
        return std::nullopt;
    return read<protocol::Closed>(message, key::close);
}

} // namespace

void sayPropertyFault(const std::string &what) { say("property dialog: " + what + "; closed as with Cancel"); }

WindowResult showPropertyWindow(const std::string &program, const std::string &caption, PageTarget &target) {
    PropertySession session(target);
    HelperProcess helper;
    std::string fault;
    HelperProcess::Opening opened = helper.open(program, session.opening(caption), fault);
    if (opened != HelperProcess::Opening::Shown) {
        if (!fault.empty())
            sayPropertyFault(fault);
        return opened == HelperProcess::Opening::NoDisplay ? WindowResult::NoDisplay : WindowResult::Closed;
    }
    for (;;) {
        json message, reply;
        Next received = nextMessage(helper, message);
        if (std::optional<protocol::Closed> how = closing(received, message)) {
            if (*how == protocol::Closed::Ok)
                session.keep();
            else
                session.restore();
            helper.finish(helperExitMs);
            return WindowResult::Closed;
        }
        if (received == Next::Message && session.answer(message, reply)) {
            if (helper.send(reply))
                continue;
            received = helper.stoppedReading() ? Next::Hung : Next::Ended;
        }
        session.restore();
        if (received == Next::Ended)
            sayPropertyFault("the helper ended without closing its window (" + helper.finish(helperExitMs) + ")");
        else if (received == Next::Hung)
            sayPropertyFault(helper.refuseHung());
        else
            sayPropertyFault(helper.refuse());
        return WindowResult::Closed;
    }
}

WindowResult showMessageWindow(const std::string &program, const std::string &caption, const std::string &text,
                               unsigned long style) {
    protocol::Icon icon = protocol::Icon::None;
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR:
        icon = protocol::Icon::Error;
        break;
    case MB_ICONQUESTION:
        icon = protocol::Icon::Question;
        break;
    case MB_ICONWARNING:
        icon = protocol::Icon::Warning;
        break;
    case MB_ICONINFORMATION:
        icon = protocol::Icon::Information;
        break;
    }
    HelperProcess helper;
    std::string fault;
    json opening = {{key::dialog, nameOf(protocol::Dialog::Message)},
                    {key::caption, caption},
                    {key::text, text},
                    {key::icon, nameOf(icon)}};
    HelperProcess::Opening opened = helper.open(program, opening, fault);
    if (opened == HelperProcess::Opening::Shown) {
        json message;
        Next next = nextMessage(helper, message);
        if (closing(next, message)) {
            helper.finish(helperExitMs);
            return WindowResult::Closed;
        }
        fault = next == Next::Hung ? helper.refuseHung()
                                   : "the helper ended without closing its window (" + helper.finish(0) + ")";
    }
    if (fault.empty())
        return opened == HelperProcess::Opening::NoDisplay ? WindowResult::NoDisplay : WindowResult::Closed;
    say("message box: " + fault);
    // The text must not be lost: it is said as the headless stand-in says it.
    return WindowResult::NoDisplay;
}

} // namespace platform
