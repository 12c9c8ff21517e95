// The editor's one window, fmprinc: a title, the logo, five buttons in a row,
// the view's check boxes and the status area, built from the controls' table both
// windows share. Each button calls one editor command; the editor decides which
// buttons are enabled and calls back through WindowOperations.
#pragma once

#include "editor/editor.h"
#include "ui/qt/modal_dialogs.h"
#include "ui/common/window_controls.h"

#include <QWidget>

#include <array>
#include <memory>
#include <optional>
#include <vector>

class QAction;
class QCheckBox;
class QMimeData;
class QUrl;

namespace tolvane {

class LogoView;
class StatusArea;

class MainWindow : public QWidget, public WindowOperations {
    Q_OBJECT
public:
    // dialogs: how files are chosen and failures shown; Qt's own when null.
    explicit MainWindow(std::unique_ptr<ModalDialogs> dialogs = nullptr, QWidget* parent = nullptr);
    ~MainWindow() override;

    Editor& editor() { return editor_; }
    void openDroppedFile(const std::filesystem::path& path);
    // Opens the image once the window is on the screen, so that a message about
    // it stands over the window (an image named on the command line).
    void openOnceShown(const std::filesystem::path& path);

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
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QWidget* makeControl(const ControlRow& row);
    QWidget* control(ControlId id) const { return controls_[std::size_t(id - kOpenImage)]; }
    // Runs a change of the view, the focus staying where the person left it.
    template <typename Change>
    void keepingFocus(Change&& change);
    // The status area's height follows its font; the window's follows it.
    void fitStatusArea();
    void openImageShown();

    std::unique_ptr<ModalDialogs> dialogs_;
    std::array<QWidget*, kStatus - kOpenImage + 1> controls_{};
    LogoView* piboot_ = nullptr;
    StatusArea* lbetat_ = nullptr;
    QCheckBox* cbconsole_ = nullptr;
    QCheckBox* cbpal_ = nullptr;
    QAction* takeBack_ = nullptr;   // Ctrl+Z and the logo's context menu
    QAction* savePatch_ = nullptr;  // the logo's context menu, with Patch
    Editor editor_;
    // The file last chosen or dropped: the one the running command reads or writes.
    std::filesystem::path commandFile_;
    std::optional<std::filesystem::path> imageOnceShown_;
    bool ending_ = false;
};

// A file name as the file system holds it: on Linux the bytes Qt's text stands
// for, which need not be UTF-8; from a dropped URL, its percent-encoded bytes.
std::filesystem::path toPath(const QString& text);
std::filesystem::path toPath(const QUrl& url);
// The files a drag carries, or none when it carries anything but local files.
std::vector<std::filesystem::path> localFiles(const QMimeData& data);

// A font of the controls' table: "MS Sans Serif" where it exists, the platform's
// sans-serif otherwise; the message font is the application's.
QFont tableFont(FontKind kind);

}  // namespace tolvane
