#pragma once

#include <string>
#include <vector>

// The picture formats the game opens, written once: the decoding helper
// recognises a file by them, and the game builds its file dialog's filters,
// its drop check and its "not a picture" message from them; the desktop
// entry's MimeType= is filled in from them at build time, and a test holds
// the descriptions in the package files to them. Plain C++ with nothing
// else linked, so that both sides can use it.
namespace mok::picture {

// The reader that decodes a format.
enum class Format { Unknown, Jpeg, Gif, Bmp, Png, Webp, Heif };

struct PictureFormat {
    // As the player reads it ("JPEG").
    std::string name;
    Format reader;
    // Recognised by content, whatever the file is called: the file starts
    // with one of `signatures` ('?' stands for any byte), or it is an ISO
    // media file whose file type box claims one of `brands`.
    std::vector<std::string> signatures;
    std::vector<std::string> brands;
    // Without the dot, the usual one first.
    std::vector<std::string> extensions;
    std::vector<std::string> mimeTypes;
    // The format's own filter in the file dialog ("JPEG 形式", in UTF-8),
    // or empty when it is only one of the others.
    std::string filter;
};

// In the order the player reads them, in messages and in the dialog. A file
// is the first format it matches.
const std::vector<PictureFormat> &pictureFormats();

} // namespace mok::picture
