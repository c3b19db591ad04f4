#pragma once

#include <QString>
#include <QStringList>

namespace mok {

// What the player asked for on the command line: `mok [PICTURE]`, or a
// question (--help, --version) answered on the terminal without a window.
struct CommandLine {
    enum class Action { Play, PrintAndExit, Fail };
    Action action = Action::Play;
    QString picture; // absolute path of the picture to open, or empty
    QString output;  // what to print for PrintAndExit (stdout) or Fail (stderr)
};

// Reads the arguments (program name first).
CommandLine parseCommandLine(const QStringList &arguments);

} // namespace mok
