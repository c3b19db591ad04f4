#include "fences.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>

namespace mok::picture::fences {

namespace {

using protocol::kSanitized;

// Address space, and so memory: the game promises that no picture costs
// more than 600 MiB. The largest decode the limits allow (libjpeg's working
// memory, or one picture decoded whole) fits with the preview beside it and
// the helper's few libraries mapped. AddressSanitizer reserves terabytes of
// shadow memory, so its builds go without this fence.
constexpr rlim_t kAddressSpaceBytes = rlim_t(600) << 20;

// The descriptors the helper ever holds: the standard three, its socket,
// the picture and the preview's memfd, with room for one more.
constexpr rlim_t kDescriptors = 7;

bool writeFile(const char *path, const char *text)
{
    const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const auto length = ssize_t(std::strlen(text));
    const bool written = ::write(fd, text, std::size_t(length)) == length;
    ::close(fd);
    return written;
}

bool limit(int resource, rlim_t soft, rlim_t hard)
{
    const rlimit value{soft, hard};
    return ::setrlimit(resource, &value) == 0;
}

// The most bytes a preview for this request can take: the board's room (80 %
// of the screen, at 15 twips a pixel) in device pixels, a pixel over for
// rounding each way.
rlim_t largestPreviewBytes(const protocol::Request &r)
{
    const double ratio = std::clamp(r.devicePixelRatio, 1.0, 16.0);
    const double width = std::floor(double(r.widthTwips) * 0.8 / 15 * ratio) + 2;
    const double height = std::floor(double(r.heightTwips) * 0.8 / 15 * ratio) + 2;
    const double bytes = std::clamp(width, 1.0, 1e6) * std::clamp(height, 1.0, 1e6) * 4;
    return rlim_t(std::min(bytes, double(rlim_t(1) << 40)));
}

} // namespace

bool enterNamespaces()
{
    const uid_t uid = ::getuid();
    const gid_t gid = ::getgid();
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNS | CLONE_NEWNET | CLONE_NEWIPC) != 0)
        return false;
    char map[64];
    std::snprintf(map, sizeof map, "%u %u 1", unsigned(uid), unsigned(uid));
    if (!writeFile("/proc/self/uid_map", map))
        return false;
    std::snprintf(map, sizeof map, "%u %u 1", unsigned(gid), unsigned(gid));
    return writeFile("/proc/self/setgroups", "deny") && writeFile("/proc/self/gid_map", map);
}

bool enterEmptyRoot()
{
    // Nothing done here may reach the mounts outside the namespace.
    if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0)
        return false;
    // An empty file system of its own over a folder every system has, which
    // then becomes the root; the old root is let go of altogether.
    if (::mount("mok-decode", "/tmp", "tmpfs", MS_NOSUID | MS_NODEV | MS_NOEXEC | MS_RDONLY,
                "size=4k,nr_inodes=2,mode=0555") != 0)
        return false;
    if (::chdir("/tmp") != 0 || ::syscall(SYS_pivot_root, ".", ".") != 0 ||
        ::umount2(".", MNT_DETACH) != 0)
        return false;
    return ::chdir("/") == 0;
}

bool applyResourceLimits(const protocol::Request &request)
{
    const rlim_t cpu = std::clamp<rlim_t>(request.cpuSeconds, 1, protocol::kCpuSeconds);
    const rlim_t fileSize = largestPreviewBytes(request);
    // At the soft CPU limit the kernel sends SIGXCPU, which ends the
    // process; the hard limit is the backstop.
    return (kSanitized || limit(RLIMIT_AS, kAddressSpaceBytes, kAddressSpaceBytes)) &&
           limit(RLIMIT_CPU, cpu, cpu + 2) && limit(RLIMIT_CORE, 0, 0) &&
           limit(RLIMIT_FSIZE, fileSize, fileSize) &&
           (kSanitized || limit(RLIMIT_NOFILE, kDescriptors, kDescriptors));
}

} // namespace mok::picture::fences
