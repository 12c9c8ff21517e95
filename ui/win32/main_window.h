// The editor's one window on Windows, fmprinc: a title, the logo, five buttons
// in a row, the view's check boxes and the status area, built from the controls'
// table both windows share. Each button calls one editor command; the editor
// decides which buttons are enabled and calls back through WindowOperations.
#pragma once

#include "editor/editor.h"
#include "layout.h"

#include <windows.h>
#include <shellapi.h>

#include <array>
#include <filesystem>
#include <memory>

namespace tolvane::win32 {

class MainWindow final : public WindowOperations {
public:
    static bool registerClass(HINSTANCE instance);
    // Creates the window, hidden, with every control; focus on Open Cdrwin Bin.
    explicit MainWindow(HINSTANCE instance);
    ~MainWindow() override;
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    HWND handle() const { return window_; }
    Editor& editor() { return editor_; }
    // Opens an image given on the command line.
    void openImage(const std::filesystem::path& path);
    // Ctrl+Z, Ctrl+C, Return and Enter on a button, and Tab, Shift+Tab and Space
    // among the controls; true when the message was one of them.
    bool handleDialogKeys(MSG& message);

    // WindowOperations
    std::filesystem::path chooseFile(Dialog dialog) override;
    void setEnabled(Button button, bool on) override;
    void presentLogo(const LogoImage& logo) override;
    void presentPicture(const GreyPicture& picture) override;
    void showViewOptions(bool consoleView, bool pal) override;
    void reportFailure(const std::string& failure) override;
    bool confirm(const std::string& question) override;
    void endProgram() override;
    void showStatus(const std::string& status) override;

private:
    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handleMessage(UINT message, WPARAM wParam, LPARAM lParam);
    void createControls();
    // Places the controls, sizes the window and makes the fonts for this DPI.
    void layOut(UINT dpi);
    void onCommand(int id);
    void onDrop(HDROP drop);
    // A control's context menu (the logo's, the status area's), at a point on the
    // screen (-1, -1: from the keyboard).
    void showContextMenu(HWND control, POINT at);
    // The whole status on the clipboard.
    void copyStatus();
    // The focus mark's bars around the picture area, at the window's DPI.
    std::array<RECT, 2> focusMarks() const;
    void paintFocusMarks();
    HWND control(ControlId id) const { return GetDlgItem(window_, id); }

    HWND window_ = nullptr;
    HWND tooltips_ = nullptr;
    HACCEL accelerators_ = nullptr;
    std::unique_ptr<WindowFonts> fonts_;
    Editor editor_;
    // The file last chosen or dropped: the one the running command reads or writes.
    std::filesystem::path commandFile_;
    std::string status_;       // the whole status, shortened again when the DPI changes
    std::wstring statusText_;  // and as its tooltip holds it, when something is shortened
    UINT dpi_ = 96;
    HWND focusBeforeDeactivation_ = nullptr;
    bool ending_ = false;
};

}  // namespace tolvane::win32
