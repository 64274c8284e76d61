#include "sources/v4l2/v4l2_io.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <sys/mman.h>
#include <unistd.h>

namespace platform {

namespace {

class SystemIo final : public V4l2Io {
public:
    std::vector<std::string> nodes() override {
        std::vector<std::pair<int, std::string>> found;
        if (DIR *dev = opendir("/dev")) {
            while (dirent *entry = readdir(dev)) {
                const char *name = entry->d_name;
                if (std::strncmp(name, "video", 5) != 0 || !name[5] ||
                    std::strspn(name + 5, "0123456789") != std::strlen(name + 5))
                    continue;
                found.emplace_back(std::atoi(name + 5), std::string("/dev/") + name);
            }
            closedir(dev);
        }
        std::sort(found.begin(), found.end());
        std::vector<std::string> paths;
        for (auto &node : found)
            paths.push_back(std::move(node.second));
        return paths;
    }
    int open(const std::string &path) override { return ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC); }
    int duplicate(int fd) override { return ::fcntl(fd, F_DUPFD_CLOEXEC, 0); }
    int close(int fd) override { return ::close(fd); }
    int ioctl(int fd, unsigned long request, void *argument) override { return ::ioctl(fd, request, argument); }
    void *map(size_t length, int fd, off_t offset) override {
        return mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, offset);
    }
    int unmap(void *start, size_t length) override { return munmap(start, length); }
    int poll(pollfd *fds, nfds_t count, int milliseconds) override { return ::poll(fds, count, milliseconds); }
    std::string groupOf(const std::string &path) override {
        struct stat node;
        if (::stat(path.c_str(), &node) != 0)
            return {};
        group entry, *found = nullptr;
        char buffer[4096];
        if (getgrgid_r(node.st_gid, &entry, buffer, sizeof buffer, &found) != 0 || !found)
            return {};
        return found->gr_name;
    }
    std::string deviceFolder(const std::string &path) override {
        std::string link = "/sys/class/video4linux/" + path.substr(path.rfind('/') + 1) + "/device";
        char *resolved = realpath(link.c_str(), nullptr);
        if (!resolved)
            return {};
        std::string folder = resolved;
        std::free(resolved);
        return folder;
    }
    bool readSysfs(const std::string &path, std::string &contents) override {
        int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return false;
        contents.clear();
        char chunk[4096];
        ssize_t got;
        // A descriptor dump is a few kilobytes; far more is no sysfs file of ours.
        while ((got = ::read(fd, chunk, sizeof chunk)) > 0 && contents.size() < (1u << 20))
            contents.append(chunk, static_cast<size_t>(got));
        ::close(fd);
        return got == 0;
    }
};

// Never destroyed: a delivery thread may still poll when the process exits
// (a daemon thread's capture), after static objects have gone.
SystemIo &systemIo() {
    static SystemIo *io = new SystemIo;
    return *io;
}

std::atomic<V4l2Io *> current{nullptr};

} // namespace

V4l2Io &v4l2Io() {
    V4l2Io *io = current.load();
    return io ? *io : systemIo();
}

void useV4l2Io(V4l2Io *io) { current = io; }

} // namespace platform
