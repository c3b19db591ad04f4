// Prints the table of formats for the build and the tests, one format a
// line: `names`, `extensions` (a format's separated by blanks) or
// `mime-types` (one a line). The build fills the desktop entry's MimeType=
// from it, and tests/formats_check.sh holds the package's descriptions to it.
#include "formats.h"

#include <cstring>
#include <iostream>

namespace {

void printJoined(const std::vector<std::string> &words, const char *separator)
{
    for (std::size_t i = 0; i < words.size(); ++i)
        std::cout << (i ? separator : "") << words[i];
    std::cout << '\n';
}

} // namespace

int main(int argc, char **argv)
{
    const char *what = argc == 2 ? argv[1] : "";
    for (const mok::picture::PictureFormat &format : mok::picture::pictureFormats()) {
        if (std::strcmp(what, "names") == 0) {
            std::cout << format.name << '\n';
        } else if (std::strcmp(what, "extensions") == 0) {
            printJoined(format.extensions, " ");
        } else if (std::strcmp(what, "mime-types") == 0) {
            printJoined(format.mimeTypes, "\n");
        } else {
            std::cerr << "usage: " << argv[0] << " names|extensions|mime-types\n";
            return 2;
        }
    }
    return 0;
}
