#pragma once

namespace mok::picture {

// Whether `count` threads can run at once, tried by starting them. Asked
// before a decoder is given threads: libde265 waits for ever on a worker
// it could not start, libheif's AV1 decoder takes the failure for broken
// data and libwebp for a lack of memory, where a tight limit on processes
// is the truth.
bool threadsCanStart(unsigned count);

// The processors this process may run on, 0 when that cannot be told. The
// C library's own count reads a file, which the helper's fence refuses.
int processorsToRunOn();

} // namespace mok::picture
