// Small helpers for V4L2 device nodes.
#pragma once

#include <quorin_platform/com.h>

#include <cerrno>
#include <fcntl.h>
#include <string>
#include <sys/ioctl.h>

namespace platform {

// Opens a device node for capture: read and write, never blocking (buffers
// are waited for with poll), closed on exec.
inline int openNode(const std::string &path) { return open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }

// An ioctl that is retried when a signal interrupts it.
inline int xioctl(int fd, unsigned long request, void *argument) {
    int result;
    do
        result = ioctl(fd, request, argument);
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
        return static_cast<HRESULT>(0x8007048Fu); // the device is not connected
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
