#pragma once

#include "outcome.h"
#include "row_sink.h"
#include "source.h"

#include <functional>

namespace mok::picture {

// What every reader is asked for: the preview of the picture it finds, at
// the size the board shows a picture of that (upright) size at, in `memory`.
// `previewSize` answers an empty size when the picture would shrink to
// nothing.
struct PreviewTarget {
    std::function<PixelSize(PixelSize fullSize)> previewSize;
    PreviewMemory &memory;
};

// A reader's work: `file` from its first byte to the preview in the target,
// holding memory and time within the limits whatever the file claims.
using Reader = ReadResult (*)(Source &file, PreviewTarget &target);

} // namespace mok::picture
