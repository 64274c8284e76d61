// What the platform and its dialog helper say to each other, named once for
// both: every message key, the kinds of dialog and page, the control types,
// the icons and how a window closed. A key renamed here is renamed on both
// sides; a new enumerator that one side does not handle stops its build (the
// switches over them have no default). Every value received is read through
// the checked readers below, which take it only when it has the type and
// range wanted: a message is data from another process, never trusted.
#pragma once

#include "dshow/device_controls.h"

#include <nlohmann/json.hpp>

#include <cmath>
#include <cstdint>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <type_traits>
#include <utility>

namespace platform::protocol {

using nlohmann::json;

namespace key {
// The platform's opening message.
constexpr char dialog[] = "dialog";
constexpr char caption[] = "caption";
constexpr char text[] = "text"; // a message box's
constexpr char icon[] = "icon";
constexpr char pages[] = "pages";
// A page.
constexpr char kind[] = "kind";
constexpr char title[] = "title";
constexpr char note[] = "note";
constexpr char controls[] = "controls";
constexpr char sizes[] = "sizes"; // the format page's: [width, height] each
constexpr char current[] = "current";
constexpr char fps[] = "fps";
constexpr char colour[] = "colour";
// A control: its description, then what may change while the window is open.
constexpr char name[] = "name";
constexpr char type[] = "type";
constexpr char minimum[] = "minimum";
constexpr char maximum[] = "maximum";
constexpr char step[] = "step";
constexpr char defaultValue[] = "default";
constexpr char choices[] = "choices"; // [value, label] each
constexpr char id[] = "id";
constexpr char value[] = "value";
constexpr char inactive[] = "inactive";
constexpr char readOnly[] = "read_only";
constexpr char grabbed[] = "grabbed";
// The helper's messages: its window is up, or no display can be opened; a
// control change, Apply (with a size), and how the window closed.
constexpr char shown[] = "shown";
constexpr char nodisplay[] = "nodisplay";
constexpr char set[] = "set";
constexpr char apply[] = "apply";
constexpr char size[] = "size";
constexpr char close[] = "close";
// The platform's answers.
constexpr char refused[] = "refused";
constexpr char applied[] = "applied";
} // namespace key

enum class Dialog { Properties, Message };
enum class PageKind { Controls, Format };
enum class Icon { None, Error, Question, Warning, Information };
enum class Closed { Ok, Cancel };

inline const char *nameOf(Dialog dialog) {
    switch (dialog) {
    case Dialog::Properties:
        return "properties";
    case Dialog::Message:
        return "message";
    }
    return "";
}

inline const char *nameOf(PageKind kind) {
    switch (kind) {
    case PageKind::Controls:
        return "controls";
    case PageKind::Format:
        return "format";
    }
    return "";
}

inline const char *nameOf(ControlType type) {
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
    return "";
}

inline const char *nameOf(Icon icon) {
    switch (icon) {
    case Icon::None:
        return "none";
    case Icon::Error:
        return "error";
    case Icon::Question:
        return "question";
    case Icon::Warning:
        return "warning";
    case Icon::Information:
        return "information";
    }
    return "";
}

inline const char *nameOf(Closed how) {
    switch (how) {
    case Closed::Ok:
        return "ok";
    case Closed::Cancel:
        return "cancel";
    }
    return "";
}

// Every value of each enumeration, for reading one by its name; the size
// checks fail when an enumerator is added at the end and not here.
constexpr Dialog allDialogs[] = {Dialog::Properties, Dialog::Message};
constexpr PageKind allPageKinds[] = {PageKind::Controls, PageKind::Format};
constexpr ControlType allControlTypes[] = {ControlType::Integer, ControlType::Boolean, ControlType::Menu,
                                           ControlType::IntegerMenu, ControlType::Button};
constexpr Icon allIcons[] = {Icon::None, Icon::Error, Icon::Question, Icon::Warning, Icon::Information};
constexpr Closed allClosings[] = {Closed::Ok, Closed::Cancel};
static_assert(std::size(allDialogs) == static_cast<size_t>(Dialog::Message) + 1);
static_assert(std::size(allPageKinds) == static_cast<size_t>(PageKind::Format) + 1);
static_assert(std::size(allControlTypes) == static_cast<size_t>(ControlType::Button) + 1);
static_assert(std::size(allIcons) == static_cast<size_t>(Icon::Information) + 1);
static_assert(std::size(allClosings) == static_cast<size_t>(Closed::Cancel) + 1);
inline const auto &allOf(Dialog) { return allDialogs; }
inline const auto &allOf(PageKind) { return allPageKinds; }
inline const auto &allOf(ControlType) { return allControlTypes; }
inline const auto &allOf(Icon) { return allIcons; }
inline const auto &allOf(Closed) { return allClosings; }

// value as T when it has T's type and fits T's range; nothing otherwise.
// Integers must be integers (1.0 is not), a bool a bool (1 is not).
template <class T>
std::optional<T> as(const json &value) {
    if constexpr (std::is_same_v<T, bool>) {
        if (value.is_boolean())
            return value.get<bool>();
    } else if constexpr (std::is_integral_v<T>) {
        if (value.is_number_unsigned()) {
            uint64_t v = value.get<uint64_t>();
            if (v <= static_cast<uint64_t>(std::numeric_limits<T>::max()))
                return static_cast<T>(v);
        } else if (value.is_number_integer()) {
            int64_t v = value.get<int64_t>();
            bool fits = std::is_signed_v<T> ? v >= static_cast<int64_t>(std::numeric_limits<T>::min()) &&
                                                  v <= static_cast<int64_t>(std::numeric_limits<T>::max())
                                            : v >= 0 && static_cast<uint64_t>(v) <=
                                                            static_cast<uint64_t>(std::numeric_limits<T>::max());
            if (fits)
                return static_cast<T>(v);
        }
    } else if constexpr (std::is_floating_point_v<T>) {
        if (value.is_number() && std::isfinite(value.get<double>()))
            return static_cast<T>(value.get<double>());
    } else if constexpr (std::is_same_v<T, std::string>) {
        if (value.is_string())
            return value.get<std::string>();
    } else {
        // An enumeration, by its name.
        if (value.is_string()) {
            for (auto candidate : allOf(T{}))
                if (value.get_ref<const std::string &>() == nameOf(candidate))
                    return candidate;
        }
    }
    return std::nullopt;
}

// The member key of object as T (see as()); nothing when it is missing, of
// another type or out of range, or object is no object.
template <class T>
std::optional<T> read(const json &object, const char *name) {
    if (!object.is_object())
        return std::nullopt;
    auto found = object.find(name);
    return found == object.end() ? std::nullopt : as<T>(*found);
}

// The same with a fallback, for what only changes how a window looks.
template <class T>
T readOr(const json &object, const char *name, T fallback) {
    return read<T>(object, name).value_or(std::move(fallback));
}

// The member key of object when it is an array (of anything); else empty.
inline const json &arrayAt(const json &object, const char *name) {
    static const json empty = json::array();
    if (!object.is_object())
        return empty;
    auto found = object.find(name);
    return found != object.end() && found->is_array() ? *found : empty;
}

// A pair such as a size, [first, second], each as T.
template <class T>
std::optional<std::pair<T, T>> asPair(const json &value) {
    if (!value.is_array() || value.size() != 2)
        return std::nullopt;
    std::optional<T> first = as<T>(value[0]), second = as<T>(value[1]);
    if (!first || !second)
        return std::nullopt;
    return std::make_pair(*first, *second);
}

} // namespace platform::protocol
