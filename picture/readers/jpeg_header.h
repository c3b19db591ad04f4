#pragma once

#include "orientation.h"
#include "source.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace mok::picture {

// What a JPEG says about itself before its first scan, read by walking its
// segments without decoding anything.
struct JpegHeader {
    int frameMarker = 0; // 0xC0 ... 0xCF or 0xF7; 0 when no frame header was found
    int precision = 0;
    int width = 0;
    int height = 0; // 0: the height comes later, in a DNL segment
    int components = 0;
    int maxHSampling = 1;
    int maxVSampling = 1;
    Orientation orientation = Orientation::Upright;

    bool arithmetic() const { return frameMarker >= 0xC9 && frameMarker <= 0xCF; }
    // Whether the frame is a kind of JPEG at all, with a precision its
    // process allows.
    bool plausible() const;
    // Whether libjpeg as built here decodes it (8-bit DCT frames).
    bool decodable() const;
    // The fewest entropy-coded units a complete file holds: every one of
    // them costs at least one bit in a Huffman-coded file.
    std::int64_t minimumCodedUnits() const;
};

// Reads the header from the start of `file`; nothing when the file is not
// a JPEG or ends (or breaks) before its frame header.
std::optional<JpegHeader> readJpegHeader(Source &file);

// The orientation tag of an Exif block (the APP1 payload, from "Exif\0\0").
Orientation exifOrientation(const std::vector<std::uint8_t> &exif);

} // namespace mok::picture
