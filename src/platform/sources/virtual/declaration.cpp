// The virtual cameras' declaration: JSON text checked key by key, every
// fault named in one line.
#include "sources/virtual/declaration.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <set>
#include <vector>

namespace platform {

namespace {

using nlohmann::json;

// What capture hardware offers: 8K video is 7680x4320. A frame at the limit
// takes 192 MB.
constexpr LONG maxDimension = 8192;

// Samples per second: at the slowest one in 1000 s, an interval that the
// clock's nanoseconds hold many times over.
constexpr double minFps = 0.001;
constexpr double maxFps = 1000.0;

// What a diagnostic quotes of the declaration: control characters escaped,
// so that it stays one line, and cut to a readable length.
std::string quote(const std::string &text) {
    const size_t longest = 40;
    std::string out = "\"";
    size_t shown = 0;
    for (unsigned char c : text) {
        if (shown == longest) {
            out += "...";
            break;
        }
        ++shown;
        if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7F) {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02x", c);
            out += escaped;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

bool parseSizes(const json &value, std::vector<FrameSize> &sizes, std::string &error) {
    if (!value.is_array() || value.empty()) {
        error = "\"sizes\" must be a non-empty list of [width, height]";
        return false;
    }
    sizes.clear();
    for (const json &entry : value) {
        if (!entry.is_array() || entry.size() != 2 || !entry[0].is_number_integer() || !entry[1].is_number_integer()) {
            error = "each entry of \"sizes\" must be [width, height] in whole numbers";
            return false;
        }
        long long width = entry[0].get<long long>(), height = entry[1].get<long long>();
        if (width < 1 || height < 1 || width > maxDimension || height > maxDimension) {
            error = "sizes must be between 1 and " + std::to_string(maxDimension) + " pixels a side";
            return false;
        }
        sizes.push_back({static_cast<LONG>(width), static_cast<LONG>(height)});
    }
    return true;
}

bool parseCountKey(const json &value, const char *key, long low, long high, long &out, std::string &error) {
    if (!value.is_number_integer() || value.get<long long>() < low || value.get<long long>() > high) {
        error = std::string("\"") + key + "\" must be a whole number from " + std::to_string(low) + " to " +
                std::to_string(high);
        return false;
    }
    out = static_cast<long>(value.get<long long>());
    return true;
}

// A setting's numbers are a C long on Windows too: 32 bits.
bool settingNumber(const json &value, long &out) {
    if (!value.is_number_integer() || value.get<long long>() < INT32_MIN || value.get<long long>() > INT32_MAX)
        return false;
    out = static_cast<long>(value.get<long long>());
    return true;
}

// "controls": {"brightness": {"minimum": .., "maximum": .., "default": ..,
// "step": 1, "auto": false}, ...}
bool parseSettings(const json &value, std::vector<DeclaredSetting> &settings, std::string &error) {
    if (!value.is_object()) {
        error = "\"controls\" must be an object from a control's name to its range";
        return false;
    }
    for (auto it = value.begin(); it != value.end(); ++it) {
        const quorin::SettingName *known = quorin::findSetting(it.key().c_str());
        if (!known || it.key().size() != std::strlen(known->name)) {
            error = "unknown control " + quote(it.key());
            return false;
        }
        const std::string where = "the control " + quote(it.key());
        const json &range = it.value();
        if (!range.is_object()) {
            error = where + " must be an object with \"minimum\", \"maximum\" and \"default\"";
            return false;
        }
        DeclaredSetting setting{known->family, known->property, 0, 0, 1, 0, false};
        bool minimum = false, maximum = false, preset = false;
        for (auto field = range.begin(); field != range.end(); ++field) {
            const std::string &key = field.key();
            bool ok = true;
            if (key == "minimum")
                ok = minimum = settingNumber(field.value(), setting.minimum);
            else if (key == "maximum")
                ok = maximum = settingNumber(field.value(), setting.maximum);
            else if (key == "default")
                ok = preset = settingNumber(field.value(), setting.defaultValue);
            else if (key == "step")
                ok = settingNumber(field.value(), setting.step) && setting.step >= 1;
            else if (key == "auto")
                ok = field.value().is_boolean() && (setting.hasAuto = field.value().get<bool>(), true);
            else {
                error = where + ": unknown key " + quote(key);
                return false;
            }
            if (!ok) {
                error = where + ": \"" + key + "\" must be " +
                        (key == "auto"   ? "true or false"
                         : key == "step" ? "a whole number from 1 to 2147483647"
                                         : "a whole number from -2147483648 to 2147483647");
                return false;
            }
        }
        if (!minimum || !maximum || !preset) {
            error = where + " must have \"minimum\", \"maximum\" and \"default\"";
            return false;
        }
        if (setting.minimum > setting.maximum || setting.defaultValue < setting.minimum ||
            setting.defaultValue > setting.maximum) {
            error = where + " must have minimum <= default <= maximum";
            return false;
        }
        settings.push_back(setting);
    }
    return true;
}

bool parseObject(const json &object, CameraDescription &camera, std::string &error) {
    if (!object.is_object()) {
        error = "a camera must be a JSON object";
        return false;
    }
    camera = CameraDescription{};
    bool named = false;
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::string &key = it.key();
        const json &value = it.value();
        if (key == "name") {
            // A NUL would end the name early wherever it is read as C text.
            if (!value.is_string() || value.get<std::string>().empty() ||
                value.get<std::string>().find('\0') != std::string::npos) {
                error = "\"name\" must be a non-empty text without NUL characters";
                return false;
            }
            camera.name = value.get<std::string>();
            named = true;
        } else if (key == "sizes") {
            if (!parseSizes(value, camera.sizes, error))
                return false;
        } else if (key == "pin") {
            if (value != "video" && value != "interleaved") {
                error = "\"pin\" must be \"video\" or \"interleaved\"";
                return false;
            }
            camera.interleaved = value == "interleaved";
        } else if (key == "fps") {
            if (!value.is_number() || !(value.get<double>() >= minFps) || value.get<double>() > maxFps) {
                char limits[64];
                std::snprintf(limits, sizeof limits, "from %g to %g", minFps, maxFps);
                error = std::string("\"fps\" must be a number ") + limits;
                return false;
            }
            camera.fps = value.get<double>();
        } else if (key == "first_frame_ms") {
            if (!parseCountKey(value, "first_frame_ms", 0, 3600000, camera.firstFrameMs, error))
                return false;
        } else if (key == "unplugged_after") {
            if (!parseCountKey(value, "unplugged_after", 0, 1000000000, camera.unpluggedAfter, error))
                return false;
        } else if (key == "delivers") {
            if (!value.is_boolean()) {
                error = "\"delivers\" must be true or false";
                return false;
            }
            camera.delivers = value.get<bool>();
        } else if (key == "format_block") {
            if (value != "videoinfo" && value != "videoinfo2") {
                error = "\"format_block\" must be \"videoinfo\" or \"videoinfo2\"";
                return false;
            }
            camera.formatBlock = value == "videoinfo2" ? FormatBlock::VideoInfo2 : FormatBlock::VideoInfo;
        } else if (key == "filter_pages") {
            if (!parseCountKey(value, "filter_pages", 0, 16, camera.filterPages, error))
                return false;
        } else if (key == "pin_pages") {
            if (!parseCountKey(value, "pin_pages", 0, 16, camera.pinPages, error))
                return false;
        } else if (key == "controls") {
            if (!parseSettings(value, camera.settings, error))
                return false;
        } else {
            error = "unknown key " + quote(key);
            return false;
        }
    }
    if (!named) {
        error = "\"name\" is required";
        return false;
    }
    return true;
}

// Line and column (from 1) of a byte of text, for a diagnostic.
std::string whereIn(const std::string &text, size_t byte) {
    size_t line = 1, column = 1;
    for (size_t i = 0; i < byte && i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

// Builds the document as the library's own parser does, and refuses what
// that parser lets pass or says without a place: a key given twice in one
// object (the library keeps the last silently), and a number beyond a
// double's range, which is no syntax error however the library files it.
class CheckedBuilder : public nlohmann::json_sax<json> {
public:
    CheckedBuilder(const std::string &text, json &out) : text_(text), dom_(out, false) {}

    bool null() override { return dom_.null(); }
    bool boolean(bool value) override { return dom_.boolean(value); }
    bool number_integer(number_integer_t value) override { return dom_.number_integer(value); }
    bool number_unsigned(number_unsigned_t value) override { return dom_.number_unsigned(value); }
    bool number_float(number_float_t value, const string_t &text) override { return dom_.number_float(value, text); }
    bool string(string_t &value) override { return dom_.string(value); }
    bool binary(binary_t &value) override { return dom_.binary(value); }
    bool start_object(std::size_t elements) override {
        keys_.emplace_back();
        return dom_.start_object(elements);
    }
    bool key(string_t &name) override {
        if (!keys_.back().insert(name).second) {
            error_ = "the key " + quote(name) + " is given twice in one object";
            return false;
        }
        return dom_.key(name);
    }
    bool end_object() override {
        keys_.pop_back();
        return dom_.end_object();
    }
    bool start_array(std::size_t elements) override { return dom_.start_array(elements); }
    bool end_array() override { return dom_.end_array(); }
    bool parse_error(std::size_t byte, const std::string &token, const nlohmann::detail::exception &ex) override {
        if (ex.id == 406) { // a number out of range; byte is just past it
            size_t start = byte >= token.size() ? byte - token.size() : 0;
            error_ = "the number " + quote(token) + " at " + whereIn(text_, start) + " is out of range";
            return false;
        }
        // The library says where and what: "parse error at line 1, column
        // 11: syntax error while parsing value - unexpected end of input".
        const std::string what = ex.what();
        const std::string lead = "parse error ";
        size_t at = what.find(lead);
        error_ = "not valid JSON" + (at == std::string::npos ? std::string() : " " + what.substr(at + lead.size()));
        return false;
    }

    const std::string &error() const { return error_; }

private:
    const std::string &text_;
    nlohmann::detail::json_sax_dom_parser<json> dom_;
    std::vector<std::set<std::string>> keys_; // those seen in each open object
    std::string error_;
};

bool parseText(const std::string &text, json &out, std::string &error) {
    CheckedBuilder builder(text, out);
    if (!json::sax_parse(text, &builder)) {
        error = builder.error().empty() ? "not valid JSON" : builder.error();
        return false;
    }
    return true;
}

} // namespace

bool parseCamera(const std::string &text, CameraDescription &camera, std::string &error) {
    json object;
    return parseText(text, object, error) && parseObject(object, camera, error);
}

bool parseCameraList(const std::string &text, std::vector<CameraDescription> &cameras, std::string &error) {
    cameras.clear();
    json list;
    if (!parseText(text, list, error))
        return false;
    if (!list.is_array()) {
        error = "must be a JSON array of cameras";
        return false;
    }
    for (size_t i = 0; i < list.size(); ++i) {
        CameraDescription camera;
        if (!parseObject(list[i], camera, error)) {
            error = "camera " + std::to_string(i) + ": " + error;
            return false;
        }
        cameras.push_back(std::move(camera));
    }
    return true;
}

} // namespace platform
