// The values behind a camera's controls: what GET_CUR, GET_MIN, GET_MAX,
// GET_RES, GET_DEF, GET_INFO and GET_LEN answer, and what SET_CUR changes.
#pragma once

#include "uvc_profile.h"

#include <optional>
#include <vector>

namespace uvc {

class Controls {
public:
    explicit Controls(const Profile &profile);

    // The answer to a GET request, or nothing for a STALL (a control the
    // camera does not have, or one it is reported to stall).
    std::optional<std::vector<uint8_t>> get(int unit, int selector, int request) const;
    // Whether SET_CUR took value (a control it has, of the control's length,
    // within its range).
    bool set(int unit, int selector, const std::vector<uint8_t> &value);
    // Makes request stall from now on (request 0: every request).
    void stall(int unit, int selector, int request);

private:
    struct Value {
        int unit, selector;
        size_t length;
        bool isSigned;
        bool bitmap; // the AE mode: one bit of res
        int64_t min, max, res, def, cur;
    };
    Value *find(int unit, int selector);
    const Value *find(int unit, int selector) const;

    std::vector<Value> values_;
    std::vector<Stall> stalls_;
};

} // namespace uvc
