#pragma once

#include "protocol.h"

// The decoding helper's fences other than its system-call filter (policy.h),
// in the order it puts them up.
namespace mok::picture::fences {

// New user, network, mount and IPC namespaces, the helper's own user and
// group mapped to themselves. Needs a single thread. False where the system
// refuses unprivileged namespaces; the helper then goes on with its other
// fences alone.
bool enterNamespaces();

// Makes an empty, read-only file system the root, inside the mount
// namespace enterNamespaces() entered: nothing on disk can be named any
// more. Only after libraries have been loaded.
bool enterEmptyRoot();

// Address space, CPU time, descriptors, file size (the largest preview the
// request can ask for: the memfd cannot be made larger) and no core files.
bool applyResourceLimits(const protocol::Request &request);

} // namespace mok::picture::fences
