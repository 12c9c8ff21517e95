// The editor's entry: the window, and an optional image to open ("Open with").
#include "main_window.h"
#include "tolvane_version.h"

#include <QApplication>
#include <QCommandLineParser>

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
    parser.addPositionalArgument(QStringLiteral("image"), QStringLiteral("Disc image to open (optional)."),
                                 QStringLiteral("[image]"));
    parser.process(app);

    tolvane::MainWindow window;
    window.show();
    const QStringList images = parser.positionalArguments();
    if (!images.isEmpty()) window.editor().openImage(std::filesystem::path(images.constFirst().toStdU16String()));
    return app.exec();
}
