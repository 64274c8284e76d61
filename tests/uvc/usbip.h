// The USB/IP wire protocol as the kernel's vhci-hcd speaks it (USB/IP's
// client side): it sends a device's URBs as CMD_SUBMIT and CMD_UNLINK over a
// stream socket and takes RET_SUBMIT and RET_UNLINK back. Every field is big
// endian; every header is 48 bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace usbip {

enum Command : uint32_t { CmdSubmit = 1, CmdUnlink = 2, RetSubmit = 3, RetUnlink = 4 };

struct IsoPacket {
    uint32_t offset = 0;
    uint32_t length = 0;
    uint32_t actual = 0;
};

// One request from the host: a URB to complete, or an unlink of one.
struct Request {
    uint32_t command = 0;
    uint32_t seqnum = 0;
    uint32_t devid = 0;
    bool in = false;
    uint32_t endpoint = 0;
    // CMD_SUBMIT
    int32_t length = 0; // transfer_buffer_length
    int32_t startFrame = 0;
    int32_t packets = 0; // isochronous packets; 0 for other transfers
    uint8_t setup[8] = {};
    std::vector<uint8_t> out; // an OUT transfer's data
    std::vector<IsoPacket> iso;
    // CMD_UNLINK
    uint32_t unlinkSeqnum = 0;
};

class Link {
public:
    // Plugs a device into port of vhci_hcd.0 at speed (2 full, 3 high) over
    // a socket pair; the kernel keeps the other end. Retries while the port
    // is still being freed from an earlier unplug. Throws on failure.
    void attach(int port, uint32_t devid, int speed);
    // Pulls it out: the kernel sees the socket close and disconnects it.
    void detach();
    bool attached() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Reads the next request; false when the host hung up. Submits to the
    // isochronous endpoints (a bit for each number) carry packets.
    bool read(Request &request, uint32_t isochronousEndpoints);
    // Completes a submit: status 0 or a negative errno (-32: a STALL); an IN
    // transfer's data (for isochronous ones each packet's actual bytes, one
    // after another, as the packets say).
    bool reply(const Request &request, int32_t status, const std::vector<uint8_t> &data,
               const std::vector<IsoPacket> &iso = {});
    bool replyUnlink(const Request &unlink, int32_t status);

private:
    bool readExactly(void *buffer, size_t size);
    bool writeAll(const void *buffer, size_t size);
    int fd_ = -1;
};

} // namespace usbip
