#include "commandline.h"

#include <QCommandLineParser>
#include <QFileInfo>

namespace mok {

CommandLine parseCommandLine(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        u"いろんなピクチャでジグソーパズル！\n"
        u"Mok: a jigsaw puzzle of a picture of your own (BMP, GIF, JPEG, PNG, WebP, HEIC, AVIF)."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("picture"),
                                 QStringLiteral(u"開くピクチャファイル (picture to open)"),
                                 QStringLiteral("[picture]"));

    CommandLine result;
    if (!parser.parse(arguments)) {
        result.action = CommandLine::Action::Fail;
        result.output = parser.errorText() + QLatin1Char('\n');
        return result;
    }
    if (parser.isSet(help)) {
        result.action = CommandLine::Action::PrintAndExit;
        result.output = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.action = CommandLine::Action::PrintAndExit;
        result.output = QStringLiteral("mok " MOK_VERSION "\n");
        return result;
    }
    const QStringList pictures = parser.positionalArguments();
    if (pictures.size() > 1) {
        result.action = CommandLine::Action::Fail;
        result.output = QStringLiteral(u"開けるピクチャは一つだけです (one picture at a time)\n");
        return result;
    }
    // The game may change its working folder; the path must not depend on it.
    if (!pictures.isEmpty())
        result.picture = QFileInfo(pictures.first()).absoluteFilePath();
    return result;
}

} // namespace mok
