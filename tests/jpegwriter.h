#pragma once

// libjpeg compressing into memory, for the files Qt's JPEG writer cannot
// make: arithmetic coding, hand-written scan scripts, CMYK, RGB kept as RGB.
#include <QByteArray>

#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstdlib>

extern "C" {
#include <jpeglib.h>
}

class JpegWriter {
public:
    // Set up for `width` x `height` pixels of `components` samples in
    // `space`, with libjpeg's defaults; change `cinfo` before write().
    JpegWriter(int width, int height, int components, J_COLOR_SPACE space)
    {
        cinfo.err = jpeg_std_error(&m_err);
        jpeg_create_compress(&cinfo);
        jpeg_mem_dest(&cinfo, &m_out, &m_size);
        cinfo.image_width = JDIMENSION(width);
        cinfo.image_height = JDIMENSION(height);
        cinfo.input_components = components;
        cinfo.in_color_space = space;
        jpeg_set_defaults(&cinfo);
    }
    ~JpegWriter()
    {
        jpeg_destroy_compress(&cinfo);
        std::free(m_out);
    }
    JpegWriter(const JpegWriter &) = delete;
    JpegWriter &operator=(const JpegWriter &) = delete;

    // Compresses the rows `row(y)` gives, top to bottom; returns the file.
    template <typename Row> QByteArray write(Row row)
    {
        jpeg_start_compress(&cinfo, TRUE);
        while (cinfo.next_scanline < cinfo.image_height) {
            JSAMPROW samples = row(int(cinfo.next_scanline));
            jpeg_write_scanlines(&cinfo, &samples, 1);
        }
        jpeg_finish_compress(&cinfo);
        return QByteArray(reinterpret_cast<const char *>(m_out), qsizetype(m_size));
    }

    jpeg_compress_struct cinfo{};

private:
    jpeg_error_mgr m_err{};
    unsigned char *m_out = nullptr;
    unsigned long m_size = 0;
};
