#pragma once

// The benchmark's parts. The main program runs no window itself: it makes
// the pictures, starts the children below (this same program with a mode
// argument, on the offscreen platform with a screen of the size it asks
// for), spawns the game and a minimal window, and prints the table.
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

namespace bench {

// Milliseconds one call of `work` takes.
double timeMs(const std::function<void()> &work);

// Runs one warm-up round, then `rounds` rounds in which every case runs once
// in turn, so a case and its reference see the same machine. Returns each
// case's samples, the warm-up left out.
std::vector<std::vector<double>> roundRobin(int rounds,
                                            const std::vector<std::function<double()>> &cases);

double minimum(std::vector<double> samples);
double median(std::vector<double> samples);

// The process ids of a process's children (the game's decoding helper).
QStringList childProcesses(const QString &of = QStringLiteral("self"));

// The time from exec to ready of the decoding helper program (its fences
// that need no file yet up, waiting for its request), and of an empty
// program linking the same libraries, in ms.
double helperReadyMs(const QString &program);

// A child reports one sample per line: "<key>\t<value>".
void report(const QString &key, double value);
void reportAll(const QString &key, const std::vector<double> &values);

// Camera-like pictures: smooth light, texture and sensor noise, about
// 3 bits per pixel as JPEG at quality 90.
bool writeCameraPicture(const QString &path, int width, int height, bool progressive);
// The same picture as a HEIC (HEVC at quality 90, libheif's x265 encoder)
// and as a lossy WebP at quality 90.
bool writeCameraHeic(const QString &path, int width, int height);
bool writeCameraWebp(const QString &path, int width, int height);
// The same picture as an 8-bit RGB PNG, as Qt writes one.
bool writeCameraPng(const QString &path, int width, int height);

// Children. Each takes the arguments after its mode and returns the exit code.
// --window W H ROUNDS BASELINE PROGRESSIVE LARGE HEIC WEBP PNG [PLAY]: the
//   real game window on a W x H screen: opening against djpeg, heif-convert,
//   dwebp and pngtopnm (pictures may be "-"), Start at
//   level 9 against 100 full-window repaints, grab and drag steps against one
//   full-window repaint, played on PLAY or the first picture given.
int runWindowCases(const QStringList &args);
// --open-memory PICTURE [picture-only]: the game at rest, then a picture
//   opened as the player opens it, through a fresh window and the file
//   dialog (or straight into the window at rest); reports memory.
int runOpenMemory(const QStringList &args);

} // namespace bench
