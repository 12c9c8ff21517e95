// The editor's one window, fmprinc: a title, the logo, five buttons in a row and
// a status line. Each button calls one editor command; the editor decides which
// buttons are enabled and calls back through WindowOperations.
#pragma once

#include "editor/editor.h"
#include "modal_dialogs.h"

#include <QWidget>

#include <memory>

class QAction;
class QCheckBox;
class QUrl;
class QLabel;
class QPushButton;

namespace tolvane {

class LogoView;

class MainWindow : public QWidget, public WindowOperations {
    Q_OBJECT
public:
    static constexpr int kClientWidth = 770;
    static constexpr int kClientHeight = 210;  // the fixed layout; the status line is below it
    static constexpr int kStatusHeight = 22;

    // dialogs: how files are chosen and failures shown; Qt's own when null.
    explicit MainWindow(std::unique_ptr<ModalDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    Editor& editor() { return editor_; }
    void openDroppedFile(const std::filesystem::path& path);

    // WindowOperations
    using QWidget::setEnabled;
    std::filesystem::path chooseFile(Dialog dialog) override;
    void setEnabled(Button button, bool on) override;
    void presentLogo(const LogoImage& logo) override;
    void presentPicture(const GreyPicture& picture) override;
    void showViewOptions(bool consoleView, bool pal) override;
    void reportFailure(const std::string& failure) override;
    bool confirm(const std::string& question) override;
    void endProgram() override;
    void showStatus(const std::string& status) override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QPushButton* makeButton(const char* name, const QString& text, QRect geometry, void (Editor::*handler)());

    std::unique_ptr<ModalDialogs> dialogs_;
    QLabel* lbtitre_ = nullptr;
    LogoView* piboot_ = nullptr;
    QPushButton* bnouvimg_ = nullptr;
    QPushButton* bnsauvbmp_ = nullptr;
    QPushButton* bnouvbmp_ = nullptr;
    QPushButton* bnpatch_ = nullptr;
    QPushButton* bnquitter_ = nullptr;
    QLabel* lbetat_ = nullptr;  // the status line; its tooltip holds the whole text
    QCheckBox* cbconsole_ = nullptr;
    QCheckBox* cbpal_ = nullptr;
    QAction* takeBack_ = nullptr;  // Ctrl+Z and the logo's context menu
    Editor editor_;
    // The file last chosen or dropped: the one the running command reads or writes.
    std::filesystem::path commandFile_;
    bool ending_ = false;
};

// A file name as the file system holds it: on Linux the bytes Qt's text stands
// for, which need not be UTF-8; from a dropped URL, its percent-encoded bytes.
std::filesystem::path toPath(const QString& text);
std::filesystem::path toPath(const QUrl& url);

// Font A (buttons) and font B (title): "MS Sans Serif" where it exists, the
// platform's sans-serif otherwise.
QFont buttonFont();
QFont titleFont();

}  // namespace tolvane
