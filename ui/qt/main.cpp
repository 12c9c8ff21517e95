// The editor's entry: the window, and an optional image to open ("Open with").
#include "ui/qt/main_window.h"
#include "tolvane_version.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QGuiApplication>

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
    // No display name: Qt would append it to every window's caption, and the
    // window's title is the whole caption. --version prints the name and version.
    QCoreApplication::setApplicationName(QStringLiteral("tolvane-editor"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TOLVANE_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows and replaces the boot logo of a PS2 disc image."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption consoleView(QStringLiteral("console-view"),
                                         QStringLiteral("Show the logo as the console shows it (Console view)."));
    parser.addOption(consoleView);
    parser.addPositionalArgument(QStringLiteral("image"), QStringLiteral("Disc image to open (optional)."),
                                 QStringLiteral("[image]"));

    // --help and --version answer before the window system starts, so that they
    // work without a display (over ssh, in a script). Anything else, wrong options
    // among it, waits for QApplication, which takes Qt's own (-platform, -style).
    QStringList words;
    for (int i = 0; i < argc; ++i) words.append(QString::fromLocal8Bit(argv[i]));
    if (parser.parse(words) && (parser.isSet(help) || parser.isSet(version))) {
        QCoreApplication noWindows(argc, argv);
        parser.process(noWindows);  // prints and exits
    }

    QApplication app(argc, argv);
    // On Wayland, the window is matched to its desktop entry (and icon) by this name.
    QGuiApplication::setDesktopFileName(QStringLiteral(TOLVANE_APP_ID));
    parser.process(app);

    tolvane::MainWindow window;
    window.show();
    if (parser.isSet(consoleView)) window.editor().setConsoleView(true);
    const QStringList images = parser.positionalArguments();
    if (!images.isEmpty()) window.openOnceShown(imageArgument(argc, argv, images.constFirst()));
    return app.exec();
}
