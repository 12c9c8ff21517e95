// The editor's entry: the window, and an optional image to open ("Open with").
#include "main_window.h"
#include "tolvane_version.h"

#include <QApplication>
#include <QCommandLineParser>

namespace {

// The image named on the command line. On Linux its bytes as given: Qt's text of
// an argument loses the bytes of a name that is not UTF-8.
std::filesystem::path imageArgument(int argc, char* argv[], const QString& parsed) {
#ifndef _WIN32
    for (int i = 1; i < argc; ++i)
        if (argv[i][0] != '-') return std::filesystem::path(argv[i]);
#endif
    return tolvane::toPath(parsed);
}

}  // namespace

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    // No display name: Qt would append it to every window's caption, and the
    // window's title is the whole caption. --version prints the name and version.
    QApplication::setApplicationName(QStringLiteral("tolvane-editor"));
    QApplication::setApplicationVersion(QStringLiteral(TOLVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows and replaces the boot logo of a PS2 disc image."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption consoleView(QStringLiteral("console-view"),
                                         QStringLiteral("Show the logo as the console shows it (Console view)."));
    parser.addOption(consoleView);
    parser.addPositionalArgument(QStringLiteral("image"), QStringLiteral("Disc image to open (optional)."),
                                 QStringLiteral("[image]"));
    parser.process(app);

    tolvane::MainWindow window;
    window.show();
    if (parser.isSet(consoleView)) window.editor().setConsoleView(true);
    const QStringList images = parser.positionalArguments();
    if (!images.isEmpty()) window.openOnceShown(imageArgument(argc, argv, images.constFirst()));
    return app.exec();
}
