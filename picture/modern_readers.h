#pragma once

namespace mok::picture {

// Everything the HEIF, AVIF and WebP readers need from disk (libheif's
// start-up, which looks for codec plug-ins in its plug-in folder) is done
// here, once; the readers themselves then open no file and load nothing.
// Safe to call any number of times, from any thread. A process that fences
// off opening files calls this before the fence.
void prepareModernReaders();

} // namespace mok::picture
