#pragma once

#include "pixels.h"

#include <cstdint>
#include <vector>

namespace mok::picture {

// Shrinks an RGB32 picture by area averaging while its rows arrive, top to
// bottom, so the picture never has to exist at its own size: a large JPEG is
// decoded shrunk by libjpeg and then brought to the board's size here, row by
// row, straight into the memory the preview is handed over in. The result is
// pixel for pixel what Qt's smooth scaling (QImage::scaled() with
// Qt::SmoothTransformation) makes of the whole picture, so the board looks
// the same whichever way the picture came in. Alpha is ignored; every
// output pixel is opaque.
//
// Each arriving row is reduced across once and added, weighted, into the few
// output rows it covers; an output row is written as soon as its last source
// row is in. Only those few partial rows are kept.
class RowShrinker {
public:
    // `target` must be smaller than `source` in both directions; `output`
    // holds target.width * target.height pixels, rows without padding.
    RowShrinker(PixelSize source, PixelSize target, Rgb *output);

    // False when the memory for the work could not be had.
    bool isValid() const { return m_valid; }

    // The next source row, `source.width` pixels; rows past the last are
    // ignored.
    void addRow(const Rgb *row);

    // Output rows written so far (each one final); all of them once every
    // source row has arrived.
    int finishedRows() const { return m_nextOutputRow; }
    bool isComplete() const { return m_nextOutputRow == m_height; }

private:
    // One source pixel's share in one output pixel, in 1/16384 of the output
    // pixel; the shares of an output pixel add up to 16384.
    struct Tap {
        int source;
        std::uint32_t weight;
    };
    // The taps of every output pixel along one axis, in source order, the
    // same even number for each: those with fewer end in taps of weight 0 on
    // their last source pixel, so that the loops over them run alike and
    // can take them two at a time.
    struct Taps {
        int perPixel = 0;
        std::vector<Tap> taps;
        const Tap *of(int i) const { return taps.data() + std::size_t(i) * std::size_t(perPixel); }
        int firstSource(int i) const { return of(i)->source; }
        int lastSource(int i) const { return of(i)[perPixel - 1].source; }
    };
    static Taps tapsFor(int sourceLength, int targetLength);

    // A pixel's weighted sums, 32 bits per channel in the order an Rgb keeps
    // them in memory (blue, green, red, alpha): four lanes for SSE2, or two
    // to a 64-bit number, where one multiplication weighs two channels. No
    // sum passes 255 << 24, so the lower never carries into the upper.
    struct Sums {
        std::uint64_t blueGreen;
        std::uint64_t redAlpha;
    };

    void reduceAcross(const Rgb *row);
    void addToOpenRows(int sourceRow);
    void countFinishedRows(int sourceRow);
    enum class Step { First, Next, Last };
    template <Step step>
    static void sumDown(const Sums *reduced, Sums *sum, Rgb *out, int width, std::uint32_t weight);
    Sums *partialRow(int outputRow);
    int partialRowsNeeded() const;

    Rgb *m_output;
    bool m_valid = false;
    int m_width;
    int m_height;
    int m_sourceHeight;
    Taps m_across;
    Taps m_down;
    std::vector<Sums> m_reduced; // the current row, reduced across
    std::vector<Sums> m_partial; // a ring of output rows being summed
    int m_partialRows = 0;
    int m_nextSourceRow = 0;
    int m_nextOutputRow = 0;
};

} // namespace mok::picture
