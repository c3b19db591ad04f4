#include "row_shrinker.h"

#include <algorithm>
#include <new>

// SSE2, which every x86-64 processor has, weighs a pixel's four channels at
// once; elsewhere (or with MOK_PORTABLE_SHRINK, which the tests use to check
// it) plain integers give the same sums, two channels at a time.
#if defined(__SSE2__) && !defined(MOK_PORTABLE_SHRINK)
#define MOK_SHRINK_SSE2 1
#include <emmintrin.h>
#endif

namespace mok::picture {

namespace {

constexpr std::uint32_t kWholeOutputPixel = 1u << 14;

#ifndef MOK_SHRINK_SSE2
// Two 8-bit channels, the lower from bit 0 and the upper from bit 32.
std::uint64_t spread(std::uint32_t twoChannels)
{
    return (twoChannels & 0xff) | (std::uint64_t(twoChannels & 0xff00) << 24);
}

// Both halves of two sums shifted right by 4, the upper's lowest bits kept
// out of the lower half.
std::uint64_t bothShiftedBy4(std::uint64_t sums)
{
    return (sums >> 4) & ~(std::uint64_t(0xf) << 28);
}

int channelOf(std::uint32_t sum)
{
    return int(std::min(sum >> 24, 255u));
}
#endif

} // namespace

// Fixed point throughout, the way Qt's smooth scale does it, so the two agree
// to the bit: an output pixel starts at i * s / d (16 fractional bits); a
// whole source pixel weighs d / s of it, rounded up, in 14 bits; the first
// source pixel weighs the part of it the output pixel covers, and the last
// whatever is left of 1 << 14.
RowShrinker::Taps RowShrinker::tapsFor(int sourceLength, int targetLength)
{
    std::vector<std::vector<Tap>> perPixel(static_cast<std::size_t>(targetLength));
    const std::int64_t step = (std::int64_t(sourceLength) << 16) / targetLength;
    const auto whole =
        std::uint32_t(((std::int64_t(targetLength) << 14) + sourceLength - 1) / sourceLength);
    for (int i = 0; i < targetLength; ++i) {
        std::vector<Tap> &taps = perPixel[std::size_t(i)];
        // A step past the end of the source lands on its last pixel and adds
        // to that pixel's share.
        const auto addTap = [&taps, sourceLength](int source, std::uint32_t weight) {
            source = std::min(source, sourceLength - 1);
            if (!taps.empty() && taps.back().source == source)
                taps.back().weight += weight;
            else
                taps.push_back({source, weight});
        };
        const std::int64_t start = i * step;
        int source = int(start >> 16);
        const auto firstWeight = std::uint32_t(((0x10000 - (start & 0xffff)) * whole) >> 16);
        addTap(source, firstWeight);
        std::uint32_t left = kWholeOutputPixel - firstWeight;
        while (left > whole) {
            addTap(++source, whole);
            left -= whole;
        }
        addTap(++source, left);
    }
    Taps t;
    for (const std::vector<Tap> &taps : perPixel)
        t.perPixel = std::max(t.perPixel, int(taps.size()));
    t.perPixel += t.perPixel % 2;
    t.taps.reserve(std::size_t(targetLength) * std::size_t(t.perPixel));
    for (const std::vector<Tap> &taps : perPixel) {
        t.taps.insert(t.taps.end(), taps.begin(), taps.end());
        t.taps.insert(t.taps.end(), std::size_t(t.perPixel) - taps.size(), {taps.back().source, 0});
    }
    return t;
}

RowShrinker::RowShrinker(PixelSize source, PixelSize target, Rgb *output)
    : m_output(output), m_width(target.width), m_height(target.height),
      m_sourceHeight(source.height)
{
    if (!output || target.isEmpty() || target.width >= source.width ||
        target.height >= source.height)
        return;
    try {
        m_across = tapsFor(source.width, target.width);
        m_down = tapsFor(source.height, target.height);
        m_partialRows = partialRowsNeeded();
        m_reduced.assign(std::size_t(target.width), Sums{0, 0});
        m_partial.assign(std::size_t(target.width) * std::size_t(m_partialRows), Sums{0, 0});
    } catch (const std::bad_alloc &) {
        return;
    }
    m_valid = true;
}

void RowShrinker::addRow(const Rgb *row)
{
    if (!m_valid || m_nextSourceRow >= m_sourceHeight)
        return;
    reduceAcross(row);
    addToOpenRows(m_nextSourceRow);
    countFinishedRows(m_nextSourceRow);
    ++m_nextSourceRow;
}

void RowShrinker::reduceAcross(const Rgb *row)
{
    const Tap *tap = m_across.taps.data();
#ifdef MOK_SHRINK_SSE2
    const __m128i zero = _mm_setzero_si128();
    const int pairs = m_across.perPixel / 2;
    for (int x = 0; x < m_width; ++x) {
        __m128i sum = zero;
        for (int k = 0; k < pairs; ++k, tap += 2) {
            // Two pixels' channels interleaved in 16 bits, each next to its
            // weight: one multiply-add weighs all eight and adds the pairs.
            const __m128i bytes = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(row[tap[0].source])),
                                                    _mm_cvtsi32_si128(int(row[tap[1].source])));
            const __m128i weights = _mm_set1_epi32(int(tap[0].weight | tap[1].weight << 16));
            sum = _mm_add_epi32(sum, _mm_madd_epi16(_mm_unpacklo_epi8(bytes, zero), weights));
        }
        _mm_storeu_si128(reinterpret_cast<__m128i *>(&m_reduced[std::size_t(x)]), sum);
    }
#else
    for (int x = 0; x < m_width; ++x) {
        Sums sum{0, 0};
        for (int k = 0; k < m_across.perPixel; ++k, ++tap) {
            const Rgb p = row[tap->source];
            sum.blueGreen += spread(p) * tap->weight;
            sum.redAlpha += spread(p >> 16) * tap->weight;
        }
        m_reduced[std::size_t(x)] = sum;
    }
#endif
}

// One step down an output row: the row reduced across, its 4 lowest bits
// dropped, times its weight, starts the sums, is added to them, or is added
// and the row written out.
template <RowShrinker::Step step>
void RowShrinker::sumDown(const Sums *reduced, Sums *sum, Rgb *out, int width, std::uint32_t weight)
{
#ifdef MOK_SHRINK_SSE2
    const __m128i w = _mm_set1_epi32(int(weight));
    const __m128i opaque = _mm_set1_epi32(int(0xff000000));
    for (int x = 0; x < width; ++x) {
        const __m128i h =
            _mm_srli_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i *>(reduced + x)), 4);
        // SSE2 multiplies lanes 0 and 2 only, into 64 bits; every product
        // fits in 32, so the low halves are put back together.
        const __m128i even = _mm_mul_epu32(h, w);
        const __m128i odd = _mm_mul_epu32(_mm_srli_epi64(h, 32), w);
        __m128i total = _mm_unpacklo_epi32(_mm_shuffle_epi32(even, _MM_SHUFFLE(3, 1, 2, 0)),
                                           _mm_shuffle_epi32(odd, _MM_SHUFFLE(3, 1, 2, 0)));
        auto *s = reinterpret_cast<__m128i *>(sum + x);
        if constexpr (step != Step::First)
            total = _mm_add_epi32(_mm_loadu_si128(s), total);
        if constexpr (step != Step::Last) {
            _mm_storeu_si128(s, total);
        } else {
            // Each channel's sum >> 24 narrowed to a byte; the narrowing
            // saturates, which is the clamp to 255.
            const __m128i words = _mm_packs_epi32(_mm_srli_epi32(total, 24), _mm_setzero_si128());
            const __m128i bytes = _mm_or_si128(_mm_packus_epi16(words, words), opaque);
            out[x] = Rgb(_mm_cvtsi128_si32(bytes));
        }
    }
#else
    for (int x = 0; x < width; ++x) {
        Sums total{bothShiftedBy4(reduced[x].blueGreen) * weight,
                   bothShiftedBy4(reduced[x].redAlpha) * weight};
        if constexpr (step != Step::First) {
            total.blueGreen += sum[x].blueGreen;
            total.redAlpha += sum[x].redAlpha;
        }
        if constexpr (step != Step::Last)
            sum[x] = total;
        else
            out[x] = rgb(unsigned(channelOf(std::uint32_t(total.redAlpha))),
                         unsigned(channelOf(std::uint32_t(total.blueGreen >> 32))),
                         unsigned(channelOf(std::uint32_t(total.blueGreen))));
    }
#endif
}

// Adds the reduced row into every output row it is a tap of, which follow
// one another from the first one not yet written, and writes those it ends.
void RowShrinker::addToOpenRows(int sourceRow)
{
    for (int y = m_nextOutputRow; y < m_height; ++y) {
        const int k = sourceRow - m_down.firstSource(y);
        if (k < 0)
            break; // this and every later row start further down
        if (k >= m_down.perPixel || m_down.of(y)[k].source != sourceRow)
            continue;
        const std::uint32_t weight = m_down.of(y)[k].weight;
        Sums *sum = partialRow(y);
        Rgb *out = m_output + std::size_t(y) * std::size_t(m_width);
        const bool last = sourceRow == m_down.lastSource(y);
        if (k == 0 && last) { // one tap only, where a step past the end was merged
            sumDown<Step::First>(m_reduced.data(), sum, out, m_width, weight);
            sumDown<Step::Last>(m_reduced.data(), sum, out, m_width, 0);
        } else if (k == 0) {
            sumDown<Step::First>(m_reduced.data(), sum, out, m_width, weight);
        } else if (last) {
            sumDown<Step::Last>(m_reduced.data(), sum, out, m_width, weight);
        } else {
            sumDown<Step::Next>(m_reduced.data(), sum, out, m_width, weight);
        }
    }
}

void RowShrinker::countFinishedRows(int sourceRow)
{
    while (m_nextOutputRow < m_height && m_down.lastSource(m_nextOutputRow) <= sourceRow)
        ++m_nextOutputRow;
}

RowShrinker::Sums *RowShrinker::partialRow(int outputRow)
{
    return m_partial.data() + std::size_t(outputRow % m_partialRows) * std::size_t(m_width);
}

// The most output rows any one source row is a tap of; as many rows are
// summed at once.
int RowShrinker::partialRowsNeeded() const
{
    int most = 1;
    int firstOpen = 0;
    int pastOpen = 0;
    for (int r = 0; r < m_sourceHeight; ++r) {
        while (pastOpen < m_height && m_down.firstSource(pastOpen) <= r)
            ++pastOpen;
        while (firstOpen < pastOpen && m_down.lastSource(firstOpen) < r)
            ++firstOpen;
        most = std::max(most, pastOpen - firstOpen);
    }
    return most;
}

} // namespace mok::picture
