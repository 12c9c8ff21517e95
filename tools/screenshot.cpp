// Makes the README's screenshot: the sample disc opened in the console's view by
// the real window on the offscreen platform, and the window grabbed.
#include "ui/qt/main_window.h"

#include <QApplication>

#include <iostream>

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc != 3) {
        std::cerr << "usage: tolvane-screenshot OUTPUT.png SAMPLE.bin\n";
        return 2;
    }
    tolvane::MainWindow window;
    window.show();
    window.editor().setConsoleView(true);
    if (!window.editor().openImage(argv[2])) return 1;
    QApplication::processEvents();
    if (!window.grab().save(QString::fromLocal8Bit(argv[1]))) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    return 0;
}
