#include "fd_messages.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

namespace mok::picture {

namespace {

// Room for one descriptor, aligned as the kernel wants it.
struct Control {
    alignas(cmsghdr) char bytes[CMSG_SPACE(sizeof(int))] = {};
};

msghdr messageOf(iovec &part, Control &control)
{
    msghdr message{};
    message.msg_iov = &part;
    message.msg_iovlen = 1;
    message.msg_control = control.bytes;
    message.msg_controllen = sizeof control.bytes;
    return message;
}

} // namespace

bool sendWithFd(int socket, const void *bytes, std::size_t size, int fd)
{
    iovec part{const_cast<void *>(bytes), size};
    Control control;
    msghdr message = messageOf(part, control);
    if (fd >= 0) {
        cmsghdr *header = CMSG_FIRSTHDR(&message);
        header->cmsg_level = SOL_SOCKET;
        header->cmsg_type = SCM_RIGHTS;
        header->cmsg_len = CMSG_LEN(sizeof(int));
        std::memcpy(CMSG_DATA(header), &fd, sizeof fd);
    } else {
        message.msg_control = nullptr;
        message.msg_controllen = 0;
    }
    ssize_t sent;
    do
        sent = ::sendmsg(socket, &message, MSG_NOSIGNAL);
    while (sent < 0 && errno == EINTR);
    return sent == ssize_t(size);
}

ssize_t receiveWithFd(int socket, void *bytes, std::size_t size, int &fd, int flags)
{
    fd = -1;
    iovec part{bytes, size};
    Control control;
    msghdr message = messageOf(part, control);
    ssize_t got;
    do
        got = ::recvmsg(socket, &message, flags | MSG_CMSG_CLOEXEC);
    while (got < 0 && errno == EINTR && !(flags & MSG_DONTWAIT));
    if (got < 0)
        return got;
    for (cmsghdr *h = CMSG_FIRSTHDR(&message); h; h = CMSG_NXTHDR(&message, h)) {
        if (h->cmsg_level != SOL_SOCKET || h->cmsg_type != SCM_RIGHTS)
            continue;
        const std::size_t count = (h->cmsg_len - CMSG_LEN(0)) / sizeof(int);
        for (std::size_t i = 0; i < count; ++i) {
            int received;
            std::memcpy(&received, CMSG_DATA(h) + i * sizeof(int), sizeof received);
            if (fd < 0)
                fd = received;
            else
                ::close(received);
        }
    }
    // A message cut short is no message: what it carried is not used.
    if (message.msg_flags & (MSG_CTRUNC | MSG_TRUNC)) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
        errno = EMSGSIZE;
        return -1;
    }
    return got;
}

} // namespace mok::picture
