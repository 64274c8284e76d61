// libFuzzer: what either end of the dialog channel reads from the other:
// bytes arriving in pieces of any size, cut into lines, each parsed as JSON
// and read with the protocol's readers as the platform reads the helper's
// messages and the helper the platform's windows. Nothing read may crash,
// throw or take a value of the wrong type or range.
#include "ui/dialog_protocol.h"
#include "ui/json_lines.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace {

using nlohmann::json;
using namespace platform::protocol;

// The platform's reading of a helper's message.
void readAsThePlatform(const json &m) {
    (void)read<bool>(m, key::shown);
    (void)read<bool>(m, key::nodisplay);
    (void)read<Closed>(m, key::close);
    if (m.is_object() && m.contains(key::set)) {
        (void)read<uint32_t>(m[key::set], key::id);
        (void)read<int64_t>(m[key::set], key::value);
    }
    if (m.is_object() && m.contains(key::apply) && m[key::apply].is_object() && m[key::apply].contains(key::size))
        (void)asPair<int32_t>(m[key::apply][key::size]);
}

// The helper's reading of a window the platform asks for.
void readAsTheHelper(const json &m) {
    (void)read<Dialog>(m, key::dialog);
    (void)readOr<std::string>(m, key::caption, "");
    (void)readOr<std::string>(m, key::text, "");
    (void)read<Icon>(m, key::icon);
    for (const char *dimension : {key::width, key::height, key::stride})
        (void)read<uint32_t>(m, dimension);
    for (const json &page : arrayAt(m, key::pages)) {
        (void)read<PageKind>(page, key::kind);
        (void)readOr<std::string>(page, key::title, "");
        (void)readOr<std::string>(page, key::note, "");
        (void)asPair<long>(page.is_object() && page.contains(key::current) ? page[key::current] : json());
        (void)read<double>(page, key::fps);
        for (const json &size : arrayAt(page, key::sizes))
            (void)asPair<long>(size);
        for (const json &control : arrayAt(page, key::controls)) {
            (void)read<uint32_t>(control, key::id);
            (void)read<platform::ControlType>(control, key::type);
            (void)readOr<std::string>(control, key::name, "");
            for (const char *number : {key::minimum, key::maximum, key::step, key::defaultValue, key::value})
                (void)read<int64_t>(control, number);
            for (const char *flag : {key::inactive, key::readOnly, key::grabbed})
                (void)readOr<bool>(control, flag, false);
            for (const json &choice : arrayAt(control, key::choices))
                if (choice.is_array() && choice.size() == 2) {
                    (void)as<int64_t>(choice[0]);
                    (void)as<std::string>(choice[1]);
                }
        }
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    if (size == 0)
        return 0;
    // The first byte: how many bytes each read brings, as a socket may.
    const size_t piece = 1 + data[0] % 64;
    std::string pending, line;
    for (size_t at = 1; at < size; at += piece) {
        pending.append(reinterpret_cast<const char *>(data) + at, std::min(piece, size - at));
        while (platform::takeLine(pending, line)) {
            json message = json::parse(line, nullptr, false);
            readAsThePlatform(message);
            readAsTheHelper(message);
        }
    }
    return 0;
}
