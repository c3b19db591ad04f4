#pragma once

#include <sys/types.h>

#include <cstddef>

// One message of plain bytes on a Unix socket, with at most one open
// descriptor beside it: how the game hands the helper its picture file and
// the helper hands back its preview.
namespace mok::picture {

// Sends `bytes` with `fd` beside them (none when fd is negative). Returns
// whether the whole message went.
bool sendWithFd(int socket, const void *bytes, std::size_t size, int fd);

// Receives one message into `bytes`. Returns what recvmsg returned (0 when
// the other end has gone); `fd` is the first descriptor that came with it, or
// -1. Any further descriptors are closed, and none leaks into a child.
ssize_t receiveWithFd(int socket, void *bytes, std::size_t size, int &fd, int flags = 0);

} // namespace mok::picture
