#pragma once

#include <libheif/heif.h>

struct heif_decoder_plugin;

namespace mok::picture {

// The functions of libheif the HEVC decoder hands its pictures over with
// (libheif itself is opened at run time, see heif_reader.cpp).
struct HeifImageFunctions {
    decltype(&::heif_image_create) create = nullptr;
    decltype(&::heif_image_add_plane) addPlane = nullptr;
    decltype(&::heif_image_get_plane) plane = nullptr;
    decltype(&::heif_image_release) release = nullptr;
};

// An HEVC decoder for libheif on libde265, as libheif's own, but whose
// worker threads decode a picture's rows of blocks side by side where the
// file allows (as encoders write them by default): on two processors an
// open takes little more than half as long. libheif's own keeps to one
// worker, which only waits on the thread that feeds it. With no workers it
// decodes on the caller's thread.
//
// Opens libde265 (before the decoding helper's fences); null when it is
// not installed, and then libheif's own decoder, if any, is used.
const heif_decoder_plugin *openThreadedHevcDecoder(const HeifImageFunctions &heif);

// The worker threads worth starting here: one for each processor this
// process may run on, up to four; none on one processor.
int hevcWorkerThreads();
// The worker threads the decoder starts from now on: libde265 does not tell
// when one fails to start, and then waits on it for ever, so the caller
// says how many can.
void useHevcWorkerThreads(int count);

} // namespace mok::picture
