#include "formats.h"

namespace mok::picture {

const std::vector<PictureFormat> &pictureFormats()
{
    // The three a picture was always opened from have filters of their own
    // in the dialog; the newer ones share one. HEIF and AVIF are the same
    // container, read by the same reader and told apart by brand, each with
    // the brands of its still pictures and of its sequences (moving
    // pictures); the generic "mif1" and "msf1", which an AVIF may claim too,
    // count as HEIF.
    static const std::vector<PictureFormat> formats = {
        {"BMP", Format::Bmp, {"BM"}, {}, {"bmp"}, {"image/bmp"}, "ビットマップ"},
        {"GIF", Format::Gif, {"GIF87a", "GIF89a"}, {}, {"gif"}, {"image/gif"}, "GIF 形式"},
        {"JPEG", Format::Jpeg, {"\xFF\xD8"}, {}, {"jpg", "jpeg"}, {"image/jpeg"}, "JPEG 形式"},
        {"PNG", Format::Png, {"\x89PNG\r\n\x1A\n"}, {}, {"png"}, {"image/png"}, {}},
        {"WebP", Format::Webp, {"RIFF????WEBP"}, {}, {"webp"}, {"image/webp"}, {}},
        {"HEIF",
         Format::Heif,
         {},
         {"heic", "heix", "heim", "heis", "mif1", "hevc", "hevx", "hevm", "hevs", "msf1"},
         {"heic", "heif"},
         {"image/heif", "image/heic"},
         {}},
        {"AVIF", Format::Heif, {}, {"avif", "avis"}, {"avif"}, {"image/avif"}, {}},
    };
    return formats;
}

} // namespace mok::picture
