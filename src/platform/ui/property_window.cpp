#include "ui/property_window.h"

#include "dshow/device_controls.h"
#include "ui/helper_process.h"

#include <quorin_platform/user.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <memory>

namespace platform {

namespace {

using nlohmann::json;

// How long the helper may take to open its window: a toolkit's start on a
// slow machine (an emulated one) takes seconds, never this long.
constexpr int openingMs = 60000;
// How long a helper that said it closed may take to exit.
constexpr int exitMs = 5000;

const char *typeName(ControlType type) {
    switch (type) {
    case ControlType::Integer:
        return "integer";
    case ControlType::Boolean:
        return "boolean";
    case ControlType::Menu:
        return "menu";
    case ControlType::IntegerMenu:
        return "integer menu";
    case ControlType::Button:
        return "button";
    }
    return "integer";
}

// What may change while the window is open: value and state.
json stateOf(const Control &c) {
    return {{"id", c.id}, {"value", c.value}, {"inactive", c.inactive}, {"read_only", c.readOnly},
            {"grabbed", c.grabbed}};
}

json describe(const Control &c) {
    json d = stateOf(c);
    d["name"] = c.name;
    d["type"] = typeName(c.type);
    d["minimum"] = c.minimum;
    d["maximum"] = c.maximum;
    d["step"] = c.step;
    d["default"] = c.defaultValue;
    json choices = json::array();
    for (const ControlChoice &choice : c.choices)
        choices.push_back({choice.value, choice.label});
    d["choices"] = choices;
    return d;
}

// One page per group of controls, in the order the device lists them.
json controlPages(const std::vector<Control> &controls) {
    json pages = json::array();
    std::map<std::string, size_t> pageOf;
    for (const Control &c : controls) {
        auto found = pageOf.find(c.group);
        if (found == pageOf.end()) {
            found = pageOf.emplace(c.group, pages.size()).first;
            pages.push_back({{"kind", "controls"}, {"title", c.group}, {"controls", json::array()}});
        }
        pages[found->second]["controls"].push_back(describe(c));
    }
    return pages;
}

json formatPage(PageTarget &target) {
    VideoFormat current = target.pageFormat();
    json sizes = json::array();
    for (const FrameSize &size : target.pageDevice().description().sizes)
        sizes.push_back({size.width, size.height});
    return {{"kind", "format"},
            {"title", "Stream Format"},
            {"sizes", sizes},
            {"current", {current.width, current.height}},
            {"fps", current.fps},
            {"colour", "RGB 24"}};
}

void sayFault(const std::string &what) {
    std::fprintf(stderr, "quorin platform: property dialog: %s; closed as with Cancel\n", what.c_str());
    std::fflush(stderr);
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
            if (pages.empty())
                pages.push_back({{"kind", "controls"},
                                 {"title", "Controls"},
                                 {"controls", json::array()},
                                 {"note", controls_ ? "The device has no settings."
                                                    : "The device's settings cannot be read: " + error}});
        }
        std::string title = caption.empty() ? target_.pageDevice().description().name + " Properties" : caption;
        return {{"dialog", "properties"}, {"caption", title}, {"pages", pages}};
    }

    // A request of the helper's; false when it is no request it can make.
    bool answer(const json &request, json &reply) {
        if (request.contains("set"))
            return set(request["set"], reply);
        if (request.contains("apply"))
            return apply(request["apply"], reply);
        return false;
    }

    // OK keeps every change; Cancel and every fault undo what was not kept,
    // the last change first.
    void keep() { undo_.clear(); }
    void restore() {
        if (!controls_)
            return;
        for (auto change = undo_.rbegin(); change != undo_.rend(); ++change)
            controls_->set(change->first, change->second);
        undo_.clear();
    }

private:
    bool set(const json &what, json &reply) {
        if (!controls_ || !what.is_object() || !what.contains("id") || !what.contains("value") ||
            !what["id"].is_number_unsigned() || !what["value"].is_number_integer())
            return false;
        uint32_t id = what["id"].get<uint32_t>();
        int64_t value = what["value"].get<int64_t>();
        auto known = std::find_if(listed_.begin(), listed_.end(), [id](const Control &c) { return c.id == id; });
        if (known == listed_.end())
            return false;
        bool remembered = std::any_of(undo_.begin(), undo_.end(), [id](const auto &c) { return c.first == id; });
        bool undoable = known->type != ControlType::Button && !remembered;
        int64_t before = known->value;
        std::string name = known->name; // the list is read again below
        std::string refused = controls_->set(id, value);
        if (refused.empty() && undoable)
            undo_.emplace_back(id, before);
        // Values and states as the device now has them: a change may move
        // others (an automatic mode makes its manual control inactive).
        listed_ = controls_->list();
        json states = json::array();
        for (const Control &c : listed_)
            states.push_back(stateOf(c));
        reply = {{"controls", states}};
        if (!refused.empty())
            reply["refused"] = name + ": " + refused;
        return true;
    }

    bool apply(const json &what, json &reply) {
        if (!what.is_object())
            return false;
        keep();
        reply = {{"applied", true}};
        if (!what.contains("size"))
            return true;
        const json &size = what["size"];
        if (!size.is_array() || size.size() != 2 || !size[0].is_number_integer() || !size[1].is_number_integer())
            return false;
        LONG width = size[0].get<LONG>(), height = size[1].get<LONG>();
        VideoFormat current = target_.pageFormat();
        if (width == current.width && height == current.height)
            return true;
        HRESULT hr = target_.applyUserSize(width, height);
        if (FAILED(hr)) {
            reply["refused"] = hresultText("The device refused the size", hr);
            VideoFormat now = target_.pageFormat();
            reply["current"] = {now.width, now.height};
        }
        return true;
    }

    PageTarget &target_;
    std::unique_ptr<DeviceControls> controls_;
    std::vector<Control> listed_;                       // as the device last reported them
    std::vector<std::pair<uint32_t, int64_t>> undo_;    // each changed control's value before, in order
};

// Starts the helper with its opening message and waits until the window is
// up. NoDisplay when the helper cannot open one; a fault is said on stderr.
bool openWindow(HelperProcess &helper, const std::string &program, const json &opening, WindowResult &result,
          std::string &fault) {
    result = WindowResult::Closed;
    std::string error;
    if (!helper.start(program, error)) {
        fault = "cannot start " + error;
        return false;
    }
    json message;
    HelperProcess::Received received = helper.send(opening) ? helper.receive(message, openingMs)
                                                            : HelperProcess::Received::Ended;
    if (received == HelperProcess::Received::Message && message.value("nodisplay", false)) {
        helper.finish(exitMs);
        result = WindowResult::NoDisplay;
        return false;
    }
    if (received == HelperProcess::Received::Message && message.value("shown", false))
        return true;
    if (received == HelperProcess::Received::TimedOut)
        fault = "the helper opened no window within 60 s";
    else if (received == HelperProcess::Received::Message || received == HelperProcess::Received::Malformed)
        fault = "the helper sent a message it cannot have meant";
    else
        fault = "the helper ended before its window opened (" + helper.finish(exitMs) + ")";
    return false;
}

// The helper's next message once its window is up, for as long as it keeps
// its end open; "shown" again (the desktop hid the window a while) is none.
HelperProcess::Received nextMessage(HelperProcess &helper, json &message) {
    HelperProcess::Received received;
    do
        received = helper.receive(message, -1);
    while (received == HelperProcess::Received::Message && message.contains("shown"));
    return received;
}

} // namespace

WindowResult showPropertyWindow(const std::string &program, const std::string &caption, PageTarget &target) {
    PropertySession session(target);
    HelperProcess helper;
    WindowResult result;
    std::string fault;
    if (!openWindow(helper, program, session.opening(caption), result, fault)) {
        if (!fault.empty())
            sayFault(fault);
        return result;
    }
    for (;;) {
        json message, reply;
        HelperProcess::Received received = nextMessage(helper, message);
        if (received == HelperProcess::Received::Message && message.contains("close")) {
            if (message["close"] == "ok")
                session.keep();
            else
                session.restore();
            helper.finish(exitMs);
            return WindowResult::Closed;
        }
        if (received == HelperProcess::Received::Message && session.answer(message, reply)) {
            if (helper.send(reply))
                continue;
            received = HelperProcess::Received::Ended;
        }
        session.restore();
        if (received == HelperProcess::Received::Ended)
            sayFault("the helper ended without closing its window (" + helper.finish(exitMs) + ")");
        else
            sayFault("the helper sent a message it cannot have meant (" + helper.finish(0) + ")");
        return WindowResult::Closed;
    }
}

WindowResult showMessageWindow(const std::string &program, const std::string &caption, const std::string &text,
                               unsigned long style) {
    const char *icon = "none";
    switch (style & MB_ICONMASK) {
    case MB_ICONERROR:
        icon = "error";
        break;
    case MB_ICONQUESTION:
        icon = "question";
        break;
    case MB_ICONWARNING:
        icon = "warning";
        break;
    case MB_ICONINFORMATION:
        icon = "information";
        break;
    }
    HelperProcess helper;
    WindowResult result;
    std::string fault;
    json opening = {{"dialog", "message"}, {"caption", caption}, {"text", text}, {"icon", icon}};
    if (openWindow(helper, program, opening, result, fault)) {
        json message;
        if (nextMessage(helper, message) == HelperProcess::Received::Message && message.contains("close")) {
            helper.finish(exitMs);
            return WindowResult::Closed;
        }
        fault = "the helper ended without closing its window (" + helper.finish(0) + ")";
    }
    if (fault.empty())
        return result;
    std::fprintf(stderr, "quorin platform: message box: %s\n", fault.c_str());
    std::fflush(stderr);
    // The text must not be lost: it is said as the headless stand-in says it.
    return WindowResult::NoDisplay;
}

} // namespace platform
