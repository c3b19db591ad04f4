#pragma once

#include "pixels.h"

namespace mok::picture {

// How a picture is stored against how it is shown, as Exif numbers it: 1 is
// upright; 2 mirrored; 3 turned half round; 4 flipped; 5 flipped and turned
// a quarter clockwise; 6 turned a quarter clockwise; 7 mirrored and turned a
// quarter clockwise; 8 turned three quarters clockwise.
enum class Orientation {
    Upright = 1,
    Mirror,
    Rotate180,
    Flip,
    FlipRotate90,
    Rotate90,
    MirrorRotate90,
    Rotate270
};

// Whether the stored picture lies on its side: its width is the shown height.
constexpr bool turnsSideways(Orientation o)
{
    return o == Orientation::FlipRotate90 || o == Orientation::Rotate90 ||
           o == Orientation::MirrorRotate90 || o == Orientation::Rotate270;
}

// Writes `stored` upright into `output`, whose size is stored's, transposed
// when the orientation turns it sideways.
void writeUpright(const Image &stored, Orientation orientation, Rgb *output);

} // namespace mok::picture
