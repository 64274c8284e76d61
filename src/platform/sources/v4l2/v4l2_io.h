// The calls that V4L2 capture makes to the system, behind one small
// interface: the real one passes them through; tests put a fake device
// behind it to drive the capture code without a driver, and to make it fail.
#pragma once

#include <quorin_platform/com.h>

#include <cerrno>
#include <poll.h>
#include <string>
#include <sys/types.h>
#include <vector>

namespace platform {

class V4l2Io {
public:
    virtual ~V4l2Io() = default;
    // The device nodes /dev/videoN, in the order of N.
    virtual std::vector<std::string> nodes() = 0;
    // Opens a node for capture: read and write, never blocking (buffers are
    // waited for with poll), closed on exec. -1 with errno on failure.
    virtual int open(const std::string &path) = 0;
    // Another descriptor of fd's open file (its priority among them), closed
    // on exec; -1 with errno on failure.
    virtual int duplicate(int fd) = 0;
    virtual int close(int fd) = 0;
    virtual int ioctl(int fd, unsigned long request, void *argument) = 0;
    // Maps a driver's buffer for reading and writing; MAP_FAILED on failure.
    virtual void *map(size_t length, int fd, off_t offset) = 0;
    virtual int unmap(void *start, size_t length) = 0;
    virtual int poll(pollfd *fds, nfds_t count, int milliseconds) = 0;
    // The name of the group that owns the node (its users may open it), or
    // empty when that cannot be told.
    virtual std::string groupOf(const std::string &path) = 0;
    // The sysfs folder of the device that drives the node at path (for a USB
    // camera, the interface its driver bound); empty where there is none.
    virtual std::string deviceFolder(const std::string &path) = 0;
    // A sysfs file's contents, whole; false where it cannot be read.
    virtual bool readSysfs(const std::string &path, std::string &contents) = 0;
};

// The interface in use: the system's, unless a test put another in place.
V4l2Io &v4l2Io();
// Puts io in place (null: the system's again). Only while no V4L2 device is
// open: the caller keeps io alive until it is replaced.
void useV4l2Io(V4l2Io *io);

inline int openNode(const std::string &path) { return v4l2Io().open(path); }

// An ioctl that is retried when a signal interrupts it.
inline int xioctl(int fd, unsigned long request, void *argument) {
    int result;
    do
        result = v4l2Io().ioctl(fd, request, argument);
    while (result == -1 && errno == EINTR);
    return result;
}

// The HRESULT for a device node's errno: busy elsewhere, gone, or refused.
inline HRESULT resultFromErrno(int error) {
    switch (error) {
    case EBUSY:
        return HRESULT_FROM_WIN32_ERROR_BUSY;
    case ENODEV:
    case ENOENT:
    case ENXIO:
        return HRESULT_FROM_WIN32_ERROR_DEVICE_NOT_CONNECTED;
    case EACCES:
    case EPERM:
        return E_ACCESSDENIED;
    case ENOMEM:
        return E_OUTOFMEMORY;
    default:
        return E_FAIL;
    }
}

} // namespace platform
