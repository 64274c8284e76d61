#include "usbip.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <thread>

namespace usbip {

namespace {

const char *const attachFile = "/sys/devices/platform/vhci_hcd.0/attach";
constexpr size_t headerSize = 48;

uint32_t be32(const uint8_t *p) {
    uint32_t v;
    std::memcpy(&v, p, 4);
    return ntohl(v);
}

void put32(uint8_t *p, uint32_t v) {
    v = htonl(v);
    std::memcpy(p, &v, 4);
}

} // namespace

void Link::attach(int port, uint32_t devid, int speed) {
    int pair[2];
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, pair) != 0)
        throw std::runtime_error(std::string("socketpair: ") + std::strerror(errno));
    char line[64];
    std::snprintf(line, sizeof line, "%d %d %u %d", port, pair[1], devid, speed);
    // A port is free again only once the kernel has torn down what was
    // plugged into it before.
    int error = 0;
    for (int attempt = 0; attempt < 100; ++attempt) {
        FILE *file = std::fopen(attachFile, "w");
        if (!file)
            throw std::runtime_error(std::string(attachFile) + ": " + std::strerror(errno));
        bool written = std::fputs(line, file) >= 0;
        written = std::fclose(file) == 0 && written;
        error = written ? 0 : errno;
        if (written || error != EBUSY)
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    close(pair[1]); // the kernel holds its own reference
    if (error) {
        close(pair[0]);
        throw std::runtime_error(std::string("attach: ") + std::strerror(error));
    }
    fd_ = pair[0];
}

void Link::detach() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool Link::readExactly(void *buffer, size_t size) {
    auto *p = static_cast<uint8_t *>(buffer);
    while (size) {
        ssize_t got = ::read(fd_, p, size);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        p += got;
        size -= static_cast<size_t>(got);
    }
    return true;
}

bool Link::writeAll(const void *buffer, size_t size) {
    const auto *p = static_cast<const uint8_t *>(buffer);
    while (size) {
        ssize_t put = ::send(fd_, p, size, MSG_NOSIGNAL);
        if (put < 0 && errno == EINTR)
            continue;
        if (put <= 0)
            return false;
        p += put;
        size -= static_cast<size_t>(put);
    }
    return true;
}

bool Link::read(Request &r, uint32_t isochronousEndpoints) {
    uint8_t h[headerSize];
    if (!readExactly(h, sizeof h))
        return false;
    r = Request{};
    r.command = be32(h);
    r.seqnum = be32(h + 4);
    r.devid = be32(h + 8);
    r.in = be32(h + 12) == 1;
    r.endpoint = be32(h + 16);
    if (r.command == CmdUnlink) {
        r.unlinkSeqnum = be32(h + 20);
        return true;
    }
    if (r.command != CmdSubmit)
        return false; // nothing else comes from a host
    r.length = static_cast<int32_t>(be32(h + 24));
    r.startFrame = static_cast<int32_t>(be32(h + 28));
    int32_t packets = static_cast<int32_t>(be32(h + 32));
    std::memcpy(r.setup, h + 40, 8);
    if (r.length < 0 || r.length > (64 << 20) || packets < -1 || packets > 1024)
        return false;
    if (!r.in && r.length > 0) {
        r.out.resize(static_cast<size_t>(r.length));
        if (!readExactly(r.out.data(), r.out.size()))
            return false;
    }
    if (r.endpoint < 16 && (isochronousEndpoints >> r.endpoint & 1) && packets > 0) {
        r.packets = packets;
        std::vector<uint8_t> raw(static_cast<size_t>(packets) * 16);
        if (!readExactly(raw.data(), raw.size()))
            return false;
        for (int32_t i = 0; i < packets; ++i)
            r.iso.push_back({be32(&raw[i * 16]), be32(&raw[i * 16 + 4]), 0});
    }
    return true;
}

bool Link::reply(const Request &r, int32_t status, const std::vector<uint8_t> &data,
                 const std::vector<IsoPacket> &iso) {
    uint8_t h[headerSize] = {};
    put32(h, RetSubmit);
    put32(h + 4, r.seqnum);
    put32(h + 8, r.devid);
    put32(h + 12, r.in ? 1 : 0);
    put32(h + 16, r.endpoint);
    put32(h + 20, static_cast<uint32_t>(status));
    uint32_t actual = r.in ? static_cast<uint32_t>(data.size()) : static_cast<uint32_t>(r.out.size());
    put32(h + 24, actual);
    put32(h + 28, static_cast<uint32_t>(r.startFrame));
    put32(h + 32, static_cast<uint32_t>(iso.size()));
    std::vector<uint8_t> descriptors(iso.size() * 16);
    for (size_t i = 0; i < iso.size(); ++i) {
        put32(&descriptors[i * 16], iso[i].offset);
        put32(&descriptors[i * 16 + 4], iso[i].length);
        put32(&descriptors[i * 16 + 8], iso[i].actual);
    }
    iovec parts[3] = {{h, sizeof h},
                      {const_cast<uint8_t *>(data.data()), r.in ? data.size() : 0},
                      {descriptors.data(), descriptors.size()}};
    msghdr message{};
    message.msg_iov = parts;
    message.msg_iovlen = 3;
    size_t total = parts[0].iov_len + parts[1].iov_len + parts[2].iov_len;
    ssize_t put = sendmsg(fd_, &message, MSG_NOSIGNAL);
    if (put < 0)
        return false;
    if (static_cast<size_t>(put) == total)
        return true;
    // The rest of a long reply, where the socket took only part of it.
    std::vector<uint8_t> flat;
    for (const iovec &part : parts)
        flat.insert(flat.end(), static_cast<uint8_t *>(part.iov_base),
                    static_cast<uint8_t *>(part.iov_base) + part.iov_len);
    return writeAll(flat.data() + put, flat.size() - static_cast<size_t>(put));
}

bool Link::replyUnlink(const Request &r, int32_t status) {
    uint8_t h[headerSize] = {};
    put32(h, RetUnlink);
    put32(h + 4, r.seqnum);
    put32(h + 8, r.devid);
    put32(h + 20, static_cast<uint32_t>(status));
    return writeAll(h, sizeof h);
}

} // namespace usbip
