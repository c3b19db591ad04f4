#include "orientation.h"

namespace mok::picture {

void writeUpright(const Image &stored, Orientation orientation, Rgb *output)
{
    const int w = stored.width();
    const int h = stored.height();
    const bool sideways = turnsSideways(orientation);
    const int outW = sideways ? h : w;
    const int outH = sideways ? w : h;
    for (int y = 0; y < outH; ++y) {
        Rgb *out = output + std::size_t(y) * std::size_t(outW);
        for (int x = 0; x < outW; ++x) {
            // The stored pixel that shows at (x, y).
            int sx = x;
            int sy = y;
            switch (orientation) {
            case Orientation::Upright:
                break;
            case Orientation::Mirror:
                sx = w - 1 - x;
                break;
            case Orientation::Rotate180:
                sx = w - 1 - x;
                sy = h - 1 - y;
                break;
            case Orientation::Flip:
                sy = h - 1 - y;
                break;
            case Orientation::FlipRotate90: // a transpose
                sx = y;
                sy = x;
                break;
            case Orientation::Rotate90:
                sx = y;
                sy = h - 1 - x;
                break;
            case Orientation::MirrorRotate90:
                sx = w - 1 - y;
                sy = h - 1 - x;
                break;
            case Orientation::Rotate270:
                sx = w - 1 - y;
                sy = x;
                break;
            }
            out[x] = stored.row(sy)[sx] | kOpaque;
        }
    }
}

} // namespace mok::picture
