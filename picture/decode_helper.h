#pragma once

#include "picture_loader.h"

class QFile;

// The decoding helper: a short-lived child process that reads one picture
// the game has opened for it and sends back the preview. The program that
// starts it runs it from main() when it finds the helper's option, before
// anything else; the helper never touches the window system.
namespace mok::picture {

// One decode as the helper runs it, once its fences are up.
using HelperDecode = PictureLoadResult (*)(QFile &file, const Screen &screen,
                                           double devicePixelRatio);

// Whether this command line starts a decoding helper.
bool isDecodeHelperCall(int argc, char **argv);

// Puts up the helper's fences (resource limits and the system-call filter),
// waits for the game's one request on its socket, decodes with `decode` and
// answers. Returns the process's exit code; never returns unfenced work.
int runDecodeHelper(HelperDecode decode = decodePicture);

} // namespace mok::picture
