#pragma once

namespace mok::picture {

// Whether `count` threads can run at once, tried by starting them. Asked
// before a decoder is given threads: libde265 waits for ever on a worker
// it could not start, libheif's AV1 decoder takes the failure for broken
// data and libwebp for a lack of memory, where a tight limit on processes
// is the truth.
bool threadsCanStart(unsigned count);

} // namespace mok::picture
