// What the platform and its dialog helper say to each other, named once for
// both: every message key, the kinds of dialog and page, the control types,
// the icons and how a window closed. A key renamed here is renamed on both
// sides; a new enumerator stops the build until it is named here, and on
// each side until it is handled (the switches over them have no default). Every value received is read through
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
// The video window's: its pictures' size and row stride, and its slots
// (ui/frame_slots.h) in the helper's descriptor 3, with their notices (the
// read end of a pipe, a byte a frame) in 4.
constexpr char width[] = "width";
constexpr char height[] = "height";
constexpr char stride[] = "stride";
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
// The helper's messages: its window is up, or no display can be opened
// (with the reason, where the platform should say it: no toolkit); a
// control change, Apply (with a size), and how the window closed (a video
// window: that its user closed it).
constexpr char shown[] = "shown";
constexpr char nodisplay[] = "nodisplay";
constexpr char reason[] = "reason";
constexpr char set[] = "set";
constexpr char apply[] = "apply";
constexpr char size[] = "size";
constexpr char close[] = "close";
// The platform's answers.
constexpr char refused[] = "refused";
constexpr char applied[] = "applied";
} // namespace key

enum class Dialog { Properties, Message, Video };
enum class PageKind { Controls, Format };
enum class Icon { None, Error, Question, Warning, Information };
enum class Closed { Ok, Cancel };

// Each enumeration's names on the channel, in the order of its values; the
// size checks fail when an enumerator is added and not named here.
inline constexpr std::pair<Dialog, const char *> dialogNames[] = {
    {Dialog::Properties, "properties"}, {Dialog::Message, "message"}, {Dialog::Video, "video"}};
inline constexpr std::pair<PageKind, const char *> pageKindNames[] = {{PageKind::Controls, "controls"},
                                                                      {PageKind::Format, "format"}};
inline constexpr std::pair<ControlType, const char *> controlTypeNames[] = {{ControlType::Integer, "integer"},
                                                                            {ControlType::Boolean, "boolean"},
                                                                            {ControlType::Menu, "menu"},
                                                                            {ControlType::IntegerMenu, "integer menu"},
                                                                            {ControlType::Button, "button"}};
inline constexpr std::pair<Icon, const char *> iconNames[] = {{Icon::None, "none"},
                                                              {Icon::Error, "error"},
                                                              {Icon::Question, "question"},
                                                              {Icon::Warning, "warning"},
                                                              {Icon::Information, "information"}};
inline constexpr std::pair<Closed, const char *> closingNames[] = {{Closed::Ok, "ok"}, {Closed::Cancel, "cancel"}};
static_assert(std::size(dialogNames) == static_cast<size_t>(Dialog::Video) + 1);
static_assert(std::size(pageKindNames) == static_cast<size_t>(PageKind::Format) + 1);
static_assert(std::size(controlTypeNames) == static_cast<size_t>(ControlType::Button) + 1);
static_assert(std::size(iconNames) == static_cast<size_t>(Icon::Information) + 1);
static_assert(std::size(closingNames) == static_cast<size_t>(Closed::Cancel) + 1);
inline const auto &namesOf(Dialog) { return dialogNames; }
inline const auto &namesOf(PageKind) { return pageKindNames; }
inline const auto &namesOf(ControlType) { return controlTypeNames; }
inline const auto &namesOf(Icon) { return iconNames; }
inline const auto &namesOf(Closed) { return closingNames; }

template <class E>
const char *nameOf(E value) {
    for (const auto &[candidate, name] : namesOf(value))
        if (candidate == value)
            return name;
    return "";
}

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
            for (const auto &[candidate, name] : namesOf(T{}))
                if (value.get_ref<const std::string &>() == name)
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
