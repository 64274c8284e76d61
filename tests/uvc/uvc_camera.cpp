// An emulated USB webcam for the kernel's own UVC driver: it answers as the
// camera of a profile (tests/uvc/profiles/) over USB/IP, plugged into the
// kernel's vhci-hcd, so that uvcvideo binds it as it binds a real camera.
// Needs root and the vhci-hcd module; tests run it in the VM.
//
// usage: uvc_camera PROFILE.json [--port N] [--no-huffman] [--log-frames]
//
// It reads commands on standard input, one a line:
//   unplug | plug                  pull the camera out, plug it back in
//   fault error                    the next frame's payloads carry the ERR bit
//   fault short                    the next frame is cut short: no EOF, then the next begins
//   fault jpeg                     the next MJPEG frame is cut in half (EOF set)
//   pause MS                       no frame begins for MS milliseconds
//   stall UNIT SELECTOR [REQUEST]  that control's REQUEST (a code; all if left out) stalls
//   quit
// and says what happened on standard output, one JSON object a line:
//   {"event": "attached"} / {"event": "detached"}
//   {"event": "commit", "format": .., "frame": .., "fourcc": "..", "width": .., "height": .., "interval": ..}
//   {"event": "stream", "on": true|false}
//   {"event": "set_cur", "unit": .., "selector": .., "value": ..}
//   {"event": "frame", "counter": .., "ns": ..}   (with --log-frames: when its last byte left)
//   {"event": "fault", "kind": "error"|"short"|"jpeg", "counter": ..}   (a frame sent damaged)
//
// Kinder than a real camera: the bus has no bandwidth limit of its own
// (vhci-hcd passes whatever the camera answers), so a frame goes out as fast
// as the packets the host submits carry it, and the camera never runs out
// of sensor time; controls take effect at once and change no picture. A
// profile's second function shares the first's sensor and settings, which
// a real camera's infrared function does not; tests stream one at a time.
#include "usbip.h"
#include "uvc_controls.h"
#include "uvc_pictures.h"
#include "uvc_profile.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <deque>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <time.h>

namespace {

using usbip::IsoPacket;
using usbip::Request;
using uvc::FormatKind;

constexpr int32_t stallStatus = -32;     // -EPIPE
constexpr int32_t unlinkedStatus = -104; // -ECONNRESET
constexpr size_t payloadHeader = 12;     // with PTS and SCR

int64_t nowNs() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

void say(const std::string &line) {
    std::fputs(line.c_str(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

uint32_t le32(const uint8_t *p) { return p[0] | p[1] << 8 | p[2] << 16 | static_cast<uint32_t>(p[3]) << 24; }
void putLe32(uint8_t *p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class Camera {
public:
    Camera(uvc::Profile profile, int port, bool huffman, bool logFrames)
        : profile_(std::move(profile)), controls_(profile_), port_(port), huffman_(huffman), logFrames_(logFrames),
          slotNs_(profile_.fullSpeed ? 1000000 : 125000) {
        probe_ = defaultProbe();
        commit_ = probe_;
    }

    void plug() {
        link_.attach(port_, 0x10000u | static_cast<uint32_t>(port_ + 2), profile_.fullSpeed ? 2 : 3);
        say(R"({"event": "attached"})");
    }

    void unplug() {
        if (!link_.attached())
            return;
        link_.detach();
        stopStream();
        interrupts_.clear();
        earlyUnlinks_.clear();
        alternate_ = 0;
        say(R"({"event": "detached"})");
    }

    int run();

private:
    // --- requests -------------------------------------------------------
    // An interface's number within its function: a second function's
    // requests go to the same sensor as the first's.
    int local(int interface) const { return interface % profile_.interfacesPerFunction; }

    uint32_t isochronousEndpoints() const {
        if (profile_.bulk)
            return 0;
        return 1u << (profile_.endpoint & 0x0F) |
               (profile_.secondEndpoint ? 1u << (profile_.secondEndpoint & 0x0F) : 0);
    }

    bool streamingEndpoint(uint32_t number) const {
        return number == static_cast<uint32_t>(profile_.endpoint & 0x0F) ||
               (profile_.secondEndpoint && number == static_cast<uint32_t>(profile_.secondEndpoint & 0x0F));
    }

    void handle(Request &r) {
        if (r.command == usbip::CmdUnlink) {
            unlink(r);
            return;
        }
        // vhci can send an URB's unlink before its submit: that URB is
        // never to be answered.
        if (earlyUnlinks_.erase(r.seqnum))
            return;
        if (r.endpoint == 0) {
            control(r);
        } else if (streamingEndpoint(r.endpoint)) {
            if (profile_.bulk)
                bulk_.push_back(std::move(r));
            else
                scheduleIso(std::move(r));
        } else {
            interrupts_.push_back(std::move(r)); // status interrupts: the camera has none to give
        }
    }

    void unlink(const Request &r) {
        for (std::deque<Request> *queue : {&iso_, &bulk_, &interrupts_})
            for (auto it = queue->begin(); it != queue->end(); ++it)
                if (it->seqnum == r.unlinkSeqnum) {
                    queue->erase(it);
                    link_.replyUnlink(r, unlinkedStatus);
                    return;
                }
        if (r.unlinkSeqnum > lastSeqnum_)
            earlyUnlinks_.insert(r.unlinkSeqnum);
        link_.replyUnlink(r, r.unlinkSeqnum > lastSeqnum_ ? unlinkedStatus : 0);
    }

    void control(const Request &r) {
        const uint8_t *s = r.setup;
        int type = s[0], request = s[1], value = s[2] | s[3] << 8, index = s[4] | s[5] << 8, length = s[6] | s[7] << 8;
        std::vector<uint8_t> answer;
        bool ok = true;
        if ((type & 0x60) == 0x00)
            ok = standard(type, request, value, index, answer);
        else if ((type & 0x60) == 0x20 && (type & 0x1F) == 0x01)
            ok = classRequest(request, value, index, r.out, answer);
        else
            ok = false;
        if (answer.size() > static_cast<size_t>(length))
            answer.resize(static_cast<size_t>(length));
        link_.reply(r, ok ? 0 : stallStatus, ok ? answer : std::vector<uint8_t>{});
    }

    bool standard(int type, int request, int value, int index, std::vector<uint8_t> &answer) {
        switch (request) {
        case 0x06: { // GET_DESCRIPTOR
            int kind = value >> 8, which = value & 0xFF;
            if (kind == 1) {
                answer = profile_.deviceDescriptor;
            } else if (kind == 2) {
                answer = profile_.configDescriptor;
            } else if (kind == 3) {
                answer = stringDescriptor(which);
                return !answer.empty();
            } else if (kind == 6 && !profile_.fullSpeed) {
                const std::vector<uint8_t> &d = profile_.deviceDescriptor;
                answer = {10, 0x06, d[2], d[3], d[4], d[5], d[6], d[7], 1, 0}; // device qualifier
            } else {
                return false;
            }
            return true;
        }
        case 0x08: // GET_CONFIGURATION
            answer = {1};
            return true;
        case 0x00: // GET_STATUS
            answer = {0, 0};
            return true;
        case 0x0A: // GET_INTERFACE
            answer = {static_cast<uint8_t>(local(index) == profile_.streamingInterface ? alternate_ : 0)};
            return true;
        case 0x0B: // SET_INTERFACE
            if (local(index) == profile_.streamingInterface)
                setAlternate(value);
            return true;
        case 0x01: // CLEAR_FEATURE: on the bulk endpoint, how uvcvideo stops a bulk stream
            if ((type & 0x1F) == 0x02 && profile_.bulk && (index & 0x0F) == (profile_.endpoint & 0x0F))
                stopStream();
            return true;
        case 0x03: // SET_FEATURE
        case 0x05: // SET_ADDRESS
        case 0x09: // SET_CONFIGURATION
            return true;
        default:
            return false;
        }
    }

    std::vector<uint8_t> stringDescriptor(int index) const {
        if (index == 0)
            return {4, 0x03, 0x09, 0x04}; // English (US)
        auto found = profile_.strings.find(index);
        if (found == profile_.strings.end())
            return {};
        std::vector<uint8_t> d = {0, 0x03};
        for (char c : found->second) {
            d.push_back(static_cast<uint8_t>(c));
            d.push_back(0);
        }
        d[0] = static_cast<uint8_t>(d.size());
        return d;
    }

    bool classRequest(int request, int value, int index, const std::vector<uint8_t> &data,
                      std::vector<uint8_t> &answer) {
        int interface = local(index & 0xFF), entity = index >> 8, selector = value >> 8;
        if (interface == profile_.streamingInterface)
            return streamingRequest(request, selector, data, answer);
        if (interface != 0)
            return false;
        if (entity == 0) {
            // The request error code: why the last request stalled.
            if (selector != 0x02 || request != 0x81)
                return false;
            answer = {errorCode_};
            return true;
        }
        if (request == 0x01) {
            if (!controls_.set(entity, selector, data)) {
                errorCode_ = 0x04; // out of range (or no such control)
                return false;
            }
            std::ostringstream line;
            line << R"({"event": "set_cur", "unit": )" << entity << R"(, "selector": )" << selector
                 << R"(, "value": [)";
            for (size_t i = 0; i < data.size(); ++i)
                line << (i ? ", " : "") << static_cast<int>(data[i]);
            line << "]}";
            say(line.str());
            return true;
        }
        std::optional<std::vector<uint8_t>> got = controls_.get(entity, selector, request);
        if (!got) {
            errorCode_ = 0x06; // invalid control
            return false;
        }
        answer = *got;
        return true;
    }

    // --- probe and commit -----------------------------------------------
    std::vector<uint8_t> defaultProbe() const {
        const uvc::Format &format = profile_.formats.front();
        const uvc::Frame *frame = format.frame(format.defaultFrame);
        if (!frame)
            frame = &format.frames.front();
        std::vector<uint8_t> probe(profile_.probeLength());
        probe[2] = static_cast<uint8_t>(format.index);
        probe[3] = static_cast<uint8_t>(frame->index);
        putLe32(&probe[4], frame->defaultInterval);
        return negotiated(probe);
    }

    // The probe as the camera settles it: a format and frame it has, the
    // listed interval nearest the one asked, and the sizes that go with them.
    std::vector<uint8_t> negotiated(std::vector<uint8_t> probe) const {
        probe.resize(profile_.probeLength());
        const uvc::Format *format = profile_.format(probe[2]);
        if (!format)
            format = &profile_.formats.front();
        const uvc::Frame *frame = format->frame(probe[3]);
        if (!frame)
            frame = &format->frames.front();
        uint32_t asked = le32(&probe[4]), interval = frame->defaultInterval;
        if (asked) {
            for (uint32_t listed : frame->intervals)
                if (std::llabs(static_cast<long long>(listed) - asked) <
                    std::llabs(static_cast<long long>(interval) - asked))
                    interval = listed;
        }
        probe[2] = static_cast<uint8_t>(format->index);
        probe[3] = static_cast<uint8_t>(frame->index);
        putLe32(&probe[4], interval);
        std::fill(probe.begin() + 8, probe.begin() + 18, 0); // key and P frame rates, quality, window, delay
        putLe32(&probe[18], frame->maxFrameBytes);
        // On a bulk endpoint a frame is one payload; isochronous payloads
        // ask for the largest alternate setting, as many webcams do.
        uint32_t payload = frame->maxFrameBytes + payloadHeader;
        if (!profile_.bulk) {
            payload = 0;
            for (const uvc::AltSetting &alt : profile_.alternates)
                payload = std::max(payload, alt.payloadBytes);
        }
        putLe32(&probe[22], payload);
        if (probe.size() >= 34) {
            putLe32(&probe[26], profile_.clockHz);
            probe[30] = 0x03; // FID and EOF
            probe[31] = probe[32] = probe[33] = 0;
        }
        return probe;
    }

    bool streamingRequest(int request, int selector, const std::vector<uint8_t> &data, std::vector<uint8_t> &answer) {
        if (selector != 0x01 && selector != 0x02)
            return false; // still image and error controls: not offered
        std::vector<uint8_t> &control = selector == 0x01 ? probe_ : commit_;
        switch (request) {
        case 0x01: // SET_CUR
            if (data.size() != profile_.probeLength())
                return false;
            control = negotiated(data);
            if (selector == 0x02)
                committed();
            return true;
        case 0x81: // GET_CUR
            answer = control;
            return true;
        case 0x82: // GET_MIN
        case 0x83: // GET_MAX
        case 0x87: // GET_DEF
            answer = request == 0x87 ? defaultProbe() : probe_;
            return true;
        case 0x85: // GET_LEN
            answer = {static_cast<uint8_t>(profile_.probeLength()), 0};
            return true;
        case 0x86: // GET_INFO
            answer = {0x03};
            return true;
        default:
            return false;
        }
    }

    void committed() {
        const uvc::Format *format = profile_.format(commit_[2]);
        const uvc::Frame *frame = format->frame(commit_[3]);
        std::ostringstream line;
        line << R"({"event": "commit", "format": )" << format->index << R"(, "frame": )" << frame->index
             << R"(, "fourcc": ")" << format->fourcc << R"(", "width": )" << frame->width << R"(, "height": )"
             << frame->height << R"(, "interval": )" << le32(&commit_[4]) << "}";
        say(line.str());
        if (profile_.bulk)
            startStream(); // a bulk camera streams once committed
    }

    void setAlternate(int alternate) {
        alternate_ = alternate;
        if (alternate == 0)
            stopStream();
        else
            startStream();
    }

    // --- streaming ------------------------------------------------------
    void startStream() {
        const uvc::Format *format = profile_.format(commit_[2]);
        const uvc::Frame *frame = format->frame(commit_[3]);
        if (!pictures_ || pictureFormat_ != format->index || pictureFrame_ != frame->index) {
            pictures_ = std::make_unique<uvc::Pictures>(format->kind, frame->width, frame->height, huffman_);
            pictureFormat_ = format->index;
            pictureFrame_ = frame->index;
        }
        intervalNs_ = static_cast<int64_t>(le32(&commit_[4])) * 100;
        payloadBytes_ = le32(&commit_[22]);
        nextFrameNs_ = nowNs();
        busNs_ = 0;
        sending_ = false;
        if (!streaming_)
            say(R"({"event": "stream", "on": true})");
        streaming_ = true;
    }

    void stopStream() {
        if (streaming_)
            say(R"({"event": "stream", "on": false})");
        streaming_ = false;
        sending_ = false;
        bulkPayload_.clear();
        bulkSent_ = 0;
        zeroLengthDue_ = false;
    }

    // Gives an isochronous URB its service intervals on the bus clock.
    void scheduleIso(Request r) {
        int64_t now = nowNs();
        // A host that fell behind, or a stream just started: the bus clock
        // goes on from now.
        if (busNs_ < now - 20000000)
            busNs_ = now;
        r.startFrame = static_cast<int32_t>((busNs_ / 1000000) & 0x7FF);
        isoStart_.push_back(busNs_);
        busNs_ += static_cast<int64_t>(r.packets) * slotNs_;
        iso_.push_back(std::move(r));
    }

    // Starts the next frame if one is due at time t; true while one is
    // being sent.
    bool frameAt(int64_t t) {
        if (sending_)
            return true;
        if (!streaming_ || t < nextFrameNs_ || t < pausedUntilNs_)
            return false;
        counter_++;
        fid_ ^= 1;
        frame_ = &pictures_->render(counter_);
        frameBytes_ = frame_->size();
        frameError_ = faultError_;
        faultError_ = false;
        frameFault_ = frameError_ ? "error" : "";
        if (faultShort_) {
            frameBytes_ /= 2;
            shortFrame_ = true;
            faultShort_ = false;
            frameFault_ = "short";
        } else if (faultJpeg_ && pictureFormat_ && profile_.format(pictureFormat_)->kind == FormatKind::Mjpeg) {
            frameBytes_ /= 2;
            faultJpeg_ = false;
            frameFault_ = "jpeg";
        }
        sent_ = 0;
        frameTimeNs_ = t;
        sending_ = true;
        nextFrameNs_ += intervalNs_;
        if (nextFrameNs_ < t) // fell behind: the next frame when its time comes
            nextFrameNs_ = t + intervalNs_;
        return true;
    }

    // A payload header for time t, of the frame being sent.
    void putHeader(uint8_t *out, bool last, int64_t t) const {
        out[0] = payloadHeader;
        out[1] = static_cast<uint8_t>(0x80 | 0x08 | 0x04 | fid_ | (last && !shortFrame_ ? 0x02 : 0) |
                                      (frameError_ ? 0x40 : 0));
        uint64_t clock = static_cast<uint64_t>(frameTimeNs_) * profile_.clockHz / 1000000000u;
        putLe32(&out[2], static_cast<uint32_t>(clock));
        putLe32(&out[6], static_cast<uint32_t>(static_cast<uint64_t>(t) * profile_.clockHz / 1000000000u));
        uint32_t sof = static_cast<uint32_t>(t / 1000000) & 0x7FF;
        out[10] = static_cast<uint8_t>(sof);
        out[11] = static_cast<uint8_t>(sof >> 8);
    }

    // One isochronous payload of at most room bytes at time t: a header and
    // what of the frame fits; empty between frames.
    std::vector<uint8_t> payload(size_t room, int64_t t) {
        std::vector<uint8_t> out;
        if (room <= payloadHeader || !frameAt(t))
            return out;
        size_t data = std::min(room - payloadHeader, frameBytes_ - sent_);
        bool last = sent_ + data == frameBytes_;
        out.resize(payloadHeader + data);
        putHeader(out.data(), last, t);
        std::memcpy(out.data() + payloadHeader, frame_->data() + sent_, data);
        sent_ += data;
        if (last)
            frameSent(t);
        return out;
    }

    void frameSent(int64_t t) {
        sending_ = false;
        shortFrame_ = false;
        if (!frameFault_.empty())
            say(R"({"event": "fault", "kind": ")" + frameFault_ + R"(", "counter": )" + std::to_string(counter_) + "}");
        if (logFrames_)
            say(R"({"event": "frame", "counter": )" + std::to_string(counter_) + R"(, "ns": )" + std::to_string(t) +
                "}");
    }

    // Completes the URBs whose time has come; returns the time of the next.
    int64_t completeDue() {
        int64_t now = nowNs();
        while (!iso_.empty() && isoStart_.front() + iso_.front().packets * slotNs_ <= now) {
            Request r = std::move(iso_.front());
            int64_t start = isoStart_.front();
            iso_.pop_front();
            isoStart_.pop_front();
            std::vector<uint8_t> data;
            std::vector<IsoPacket> packets = r.iso;
            for (size_t i = 0; i < packets.size(); ++i) {
                std::vector<uint8_t> p = payload(std::min<size_t>(packets[i].length, payloadBytes_),
                                                 start + static_cast<int64_t>(i) * slotNs_);
                packets[i].actual = static_cast<uint32_t>(p.size());
                data.insert(data.end(), p.begin(), p.end());
            }
            link_.reply(r, 0, data, packets);
        }
        // On a bulk endpoint a frame goes as one payload over as many URBs
        // as it takes, as soon as it is due. The host sees a payload end at
        // an URB shorter than it asked for: after a full last one, an empty
        // one follows.
        while (!bulk_.empty()) {
            if (!zeroLengthDue_ && bulkSent_ == bulkPayload_.size()) {
                if (!frameAt(now))
                    break;
                bulkPayload_.resize(payloadHeader + frameBytes_);
                putHeader(bulkPayload_.data(), true, now);
                std::memcpy(bulkPayload_.data() + payloadHeader, frame_->data(), frameBytes_);
                bulkSent_ = 0;
            }
            Request r = std::move(bulk_.front());
            bulk_.pop_front();
            if (zeroLengthDue_) {
                zeroLengthDue_ = false;
                link_.reply(r, 0, {});
                continue;
            }
            size_t chunk = std::min(static_cast<size_t>(r.length), bulkPayload_.size() - bulkSent_);
            link_.reply(r, 0,
                        std::vector<uint8_t>(bulkPayload_.begin() + static_cast<long>(bulkSent_),
                                             bulkPayload_.begin() + static_cast<long>(bulkSent_ + chunk)));
            bulkSent_ += chunk;
            if (bulkSent_ == bulkPayload_.size()) {
                zeroLengthDue_ = chunk == static_cast<size_t>(r.length);
                frameSent(nowNs());
            }
        }
        int64_t next = now + 100000000;
        if (!iso_.empty())
            next = std::min(next, isoStart_.front() + iso_.front().packets * slotNs_);
        if (!bulk_.empty() && (streaming_ || zeroLengthDue_))
            next = std::min(next, std::max(nextFrameNs_, pausedUntilNs_));
        return next;
    }

    bool command(const std::string &line);

    uvc::Profile profile_;
    uvc::Controls controls_;
    usbip::Link link_;
    const int port_;
    const bool huffman_, logFrames_;
    const int64_t slotNs_; // a service interval: 125 us at high speed, 1 ms at full

    std::vector<uint8_t> probe_, commit_;
    uint8_t errorCode_ = 0;
    int alternate_ = 0;
    uint32_t lastSeqnum_ = 0;
    std::set<uint32_t> earlyUnlinks_;
    std::deque<Request> iso_, bulk_, interrupts_;
    std::deque<int64_t> isoStart_; // the bus time of each iso URB's first packet

    std::unique_ptr<uvc::Pictures> pictures_;
    int pictureFormat_ = 0, pictureFrame_ = 0;
    bool streaming_ = false, sending_ = false;
    int64_t intervalNs_ = 33333300, nextFrameNs_ = 0, busNs_ = 0, frameTimeNs_ = 0, pausedUntilNs_ = 0;
    size_t payloadBytes_ = 3072;
    uint32_t counter_ = 0;
    uint8_t fid_ = 0;
    const std::vector<uint8_t> *frame_ = nullptr;
    size_t frameBytes_ = 0, sent_ = 0;
    std::vector<uint8_t> bulkPayload_; // the frame being sent on a bulk endpoint, with its header
    size_t bulkSent_ = 0;
    bool zeroLengthDue_ = false;
    bool frameError_ = false, shortFrame_ = false;
    std::string frameFault_; // what was done to the frame being sent, if anything
    bool faultError_ = false, faultShort_ = false, faultJpeg_ = false;
};

bool Camera::command(const std::string &line) {
    std::istringstream words(line);
    std::string verb, what;
    words >> verb;
    if (verb == "quit")
        return false;
    if (verb == "unplug") {
        unplug();
    } else if (verb == "plug") {
        if (!link_.attached())
            plug();
    } else if (verb == "fault") {
        words >> what;
        faultError_ |= what == "error";
        faultShort_ |= what == "short";
        faultJpeg_ |= what == "jpeg";
    } else if (verb == "pause") {
        long ms = 0;
        words >> ms;
        pausedUntilNs_ = nowNs() + ms * 1000000;
        nextFrameNs_ = std::max(nextFrameNs_, pausedUntilNs_);
    } else if (verb == "stall") {
        int unit = 0, selector = 0, request = 0;
        words >> unit >> selector >> request;
        controls_.stall(unit, selector, request);
    } else if (!verb.empty()) {
        std::fprintf(stderr, "uvc_camera: unknown command: %s\n", line.c_str());
    }
    return true;
}

int Camera::run() {
    plug();
    std::string input;
    for (;;) {
        int64_t next = completeDue();
        int64_t wait = std::max<int64_t>(0, (next - nowNs() + 999999) / 1000000);
        pollfd fds[2] = {{0, POLLIN, 0}, {link_.fd(), POLLIN, 0}};
        int count = link_.attached() ? 2 : 1;
        if (poll(fds, static_cast<nfds_t>(count), static_cast<int>(std::min<int64_t>(wait, 100))) < 0 && errno != EINTR)
            return 1;
        if (fds[0].revents) {
            char chunk[256];
            ssize_t got = read(0, chunk, sizeof chunk);
            if (got <= 0)
                return 0; // the test went away
            input.append(chunk, static_cast<size_t>(got));
            size_t end;
            while ((end = input.find('\n')) != std::string::npos) {
                std::string line = input.substr(0, end);
                input.erase(0, end + 1);
                if (!command(line))
                    return 0;
            }
        }
        if (count == 2 && fds[1].revents) {
            Request r;
            if (!link_.read(r, isochronousEndpoints())) {
                unplug(); // the host let go of the device
                continue;
            }
            if (r.command == usbip::CmdSubmit)
                lastSeqnum_ = std::max(lastSeqnum_, r.seqnum);
            handle(r);
        }
    }
}

} // namespace

int main(int argc, char **argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s PROFILE.json [--port N] [--no-huffman] [--log-frames]\n", argv[0]);
        return 2;
    }
    int port = 0;
    bool huffman = true, logFrames = false;
    for (int i = 2; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--port" && i + 1 < argc)
            port = std::atoi(argv[++i]);
        else if (arg == "--no-huffman")
            huffman = false;
        else if (arg == "--log-frames")
            logFrames = true;
    }
    try {
        Camera camera(uvc::loadProfile(argv[1]), port, huffman, logFrames);
        return camera.run();
    } catch (const std::exception &e) {
        std::fprintf(stderr, "uvc_camera: %s\n", e.what());
        return 1;
    }
}
