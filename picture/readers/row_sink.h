#pragma once

#include "orientation.h"
#include "pixels.h"
#include "row_shrinker.h"

#include <optional>
#include <vector>

namespace mok::picture {

// Where the preview goes: memory handed over as it is once filled (the
// decoding helper's answer), so that no reader writes its pixels twice.
class PreviewMemory {
public:
    virtual ~PreviewMemory() = default;
    // Room for size.width * size.height pixels, rows without padding; null
    // when it cannot be had. Asked for once per picture.
    virtual Rgb *allocate(PixelSize size) = 0;
};

// Brings a whole decoded picture to the preview: shrunk, grown or as it is,
// then turned upright. False when memory ran out.
bool writePreview(const Image &decoded, PixelSize preview, Orientation orientation,
                  PreviewMemory &memory);

// Where a reader puts the rows it decodes, top to bottom, opaque (alpha
// already laid over black): straight into the
// preview when it is shown at the size decoded, through a RowShrinker when
// it is smaller both ways, so that the picture never exists at the decoded
// size, and otherwise into a whole picture scaled at the end. Either way the
// result is what Qt's smooth scaling makes of the same pixels.
class RowSink {
public:
    // `decoded` is the size the rows come in, as stored; `preview` the size
    // shown, upright.
    RowSink(PixelSize decoded, PixelSize preview, Orientation orientation, PreviewMemory &memory);

    // False when the memory for the preview or the work could not be had.
    bool isValid() const { return m_valid; }

    // The row to fill next, decoded.width pixels; then rowDone().
    Rgb *nextRow();
    void rowDone();

    // For a decoder that writes the whole picture at once: contiguous room
    // for every decoded row (the preview itself when it is shown at the
    // decoded size), or null when the rows must come one by one. Then
    // wholeDone().
    Rgb *wholeDestination();
    void wholeDone() { m_rows = m_decoded.height; }

    // Writes the preview; false unless every row came and memory lasted.
    bool finish();

private:
    PixelSize m_decoded;
    PixelSize m_preview;
    Orientation m_orientation;
    PreviewMemory &m_memory;
    Rgb *m_output = nullptr;
    Image m_stored; // the shrunk picture as stored, when it must be turned
    Image m_whole;  // the rows as decoded, when they are scaled at the end
    std::optional<RowShrinker> m_shrinker;
    std::vector<Rgb> m_row;
    int m_rows = 0;
    bool m_valid = false;
};

} // namespace mok::picture
