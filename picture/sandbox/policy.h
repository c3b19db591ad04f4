#pragma once

// The decoding helper's system-call filter: every call a decoder makes once
// the file is open, each held to the arguments real decodes use, and
// nothing that reaches outside the process. Anything else ends the process
// at once.
namespace mok::picture::policy {

// Sets no-new-privileges and loads the filter on every thread of the
// process. `picture` is the descriptor of the file being decoded, the only
// one that may be read. False when the filter could not be loaded.
bool applySyscallFilter(int picture);

} // namespace mok::picture::policy
