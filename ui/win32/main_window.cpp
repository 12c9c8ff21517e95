#include "main_window.h"

#include "dialogs.h"
#include "dpi.h"
#include "logo_view.h"
#include "text.h"
#include "ui/common/dropped_file.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <iterator>

#include <stdexcept>

namespace tolvane::win32 {

namespace {

constexpr const wchar_t* kWindowClass = L"TolvaneEditorWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // a fixed size
constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;
constexpr int kIconResource = 1;
// Commands that come from no control: Ctrl+Z and the logo's context menu.
constexpr int kTakeBack = 201;
constexpr ACCEL kAccelerators[] = {{FVIRTKEY | FCONTROL, 'Z', kTakeBack}};

ControlId controlFor(Button button) {
    switch (button) {
        case Button::bnsauvbmp: return kSaveBitmap;
        case Button::bnouvbmp: return kOpenBitmap;
        case Button::bnpatch: return kPatch;
    }
    return kPatch;
}

}  // namespace

bool MainWindow::registerClass(HINSTANCE instance) {
    WNDCLASSEXW type{};
    type.cbSize = sizeof type;
    type.lpfnWndProc = windowProc;
    type.hInstance = instance;
    type.hIcon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0));
    type.hIconSm = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                                 GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    type.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    type.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_ACTIVEBORDER + 1);
    type.lpszClassName = kWindowClass;
    return RegisterClassExW(&type) != 0 && registerLogoView(instance);
}

MainWindow::MainWindow(HINSTANCE instance) : editor_(*this) {
    CreateWindowExW(kExStyle, kWindowClass, kCaption, kStyle, CW_USEDEFAULT, CW_USEDEFAULT, kClientWidth,
                    kClientHeight + kStatusHeight, nullptr, nullptr, instance, this);
    if (!window_) throw std::runtime_error("Cannot create the window (error " + std::to_string(GetLastError()) + ")");
    createControls();
    accelerators_ = CreateAcceleratorTableW(const_cast<ACCEL*>(kAccelerators), int(std::size(kAccelerators)));
    layOut(dpiOf(window_));
    showStatus("Open a disc image to see its logo.");
    editor_.Form_Load();
    // Activating the window gives the focus back to the control that had it.
    focusBeforeDeactivation_ = control(kOpenImage);
    SetFocus(focusBeforeDeactivation_);
}

MainWindow::~MainWindow() {
    if (window_) DestroyWindow(window_);
    if (accelerators_) DestroyAcceleratorTable(accelerators_);
}

void MainWindow::createControls() {
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(window_, GWLP_HINSTANCE));
    tooltips_ =
        CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT,
                        CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, window_, nullptr, instance, nullptr);
    // Created in tab order: Tab follows the order of creation.
    for (const ControlSpec& spec : controlSpecs()) {
        HWND created = CreateWindowExW(0, spec.className, spec.text, spec.style, 0, 0, 0, 0, window_,
                                       reinterpret_cast<HMENU>(static_cast<INT_PTR>(spec.id)), instance, nullptr);
        if (!created)
            throw std::runtime_error("Cannot create the window's controls (error " + std::to_string(GetLastError()) +
                                     ")");
        if (!tooltips_ || (!spec.tip && spec.id != kStatus)) continue;
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(created);
        tool.lpszText = const_cast<wchar_t*>(spec.tip ? spec.tip : L"");
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void MainWindow::layOut(UINT dpi) {
    auto fonts = std::make_unique<WindowFonts>(dpi);
    for (const ControlSpec& spec : controlSpecs()) {
        HWND item = control(spec.id);
        SetWindowPos(item, nullptr, scaled(spec.at.left, dpi), scaled(spec.at.top, dpi), scaled(spec.at.width, dpi),
                     scaled(spec.at.height, dpi), SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>((*fonts)[spec.font]), TRUE);
    }
    fonts_ = std::move(fonts);  // the old fonts go once no control uses them
    setViewScale(control(kPicture), 2 * int(dpi / kBaseDpi));
    if (tooltips_) SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, scaled(kClientWidth, dpi));
    const SIZE outer =
        outerSize({scaled(kClientWidth, dpi), scaled(kClientHeight + kStatusHeight, dpi)}, kStyle, kExStyle, dpi);
    SetWindowPos(window_, nullptr, 0, 0, outer.cx, outer.cy, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
    if (!status_.empty()) showStatus(std::string(status_));
}

void MainWindow::openImage(const std::filesystem::path& path) {
    commandFile_ = path;
    editor_.openImage(path);
}

bool MainWindow::handleDialogKeys(MSG& message) {
    if (!window_) return false;
    if (accelerators_ && TranslateAcceleratorW(window_, accelerators_, &message)) return true;
    return IsDialogMessageW(window_, &message);
}

void MainWindow::showLogoMenu(POINT at) {
    HWND picture = control(kPicture);
    if (at.x == -1 && at.y == -1) {  // from the keyboard: at the picture's corner
        at = {0, 0};
        ClientToScreen(picture, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    const UINT state = editor_.state().imagePath.empty() ? MF_GRAYED : MF_ENABLED;
    AppendMenuW(menu, MF_STRING | state, kTakeBack, L"Take the last patch back\tCtrl+Z");
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
}

std::filesystem::path MainWindow::chooseFile(Dialog dialog) {
    const ChosenFile chosen = win32::chooseFile(window_, dialog);
    if (!chosen.failure.empty()) {
        showStatus(chosen.failure);
        reportFailure(chosen.failure);
    }
    if (!chosen.path.empty()) commandFile_ = chosen.path;
    return chosen.path;
}

void MainWindow::setEnabled(Button button, bool on) {
    HWND item = control(controlFor(button));
    // A disabled control cannot keep the focus: it goes on to the next one.
    if (!on && GetFocus() == item) SetFocus(GetNextDlgTabItem(window_, item, FALSE));
    EnableWindow(item, on);
}

void MainWindow::presentLogo(const LogoImage& logo) {
    setViewPicture(control(kPicture), pictureOf(logo));
    SetFocus(control(kPicture));
}

void MainWindow::presentPicture(const GreyPicture& picture) { setViewPicture(control(kPicture), picture); }

void MainWindow::showViewOptions(bool consoleView, bool pal) {
    CheckDlgButton(window_, kConsoleView, consoleView ? BST_CHECKED : BST_UNCHECKED);
    CheckDlgButton(window_, kPal, pal ? BST_CHECKED : BST_UNCHECKED);
    HWND palBox = control(kPal);
    if (!consoleView && GetFocus() == palBox) SetFocus(control(kConsoleView));
    EnableWindow(palBox, consoleView);
}

void MainWindow::reportFailure(const std::string& failure) { showFailure(window_, failure); }

bool MainWindow::confirm(const std::string& question) { return askYesNo(window_, question); }

void MainWindow::endProgram() {
    ending_ = true;
    DestroyWindow(window_);
}

void MainWindow::showStatus(const std::string& status) {
    status_ = status;
    HWND line = control(kStatus);
    RECT room;
    GetClientRect(line, &room);
    HDC dc = GetDC(line);
    HGDIOBJ before = SelectObject(dc, (*fonts_)[FontKind::MessageFont]);
    const auto measure = [dc](std::u16string_view text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), &size);
        return int(size.cx);
    };
    const std::u16string shown =
        fitStatus(status, statusFileNames({commandFile_, editor_.state().imagePath}), measure, int(room.right));
    SelectObject(dc, before);
    ReleaseDC(line, dc);
    SetWindowTextW(line, wide(shown).c_str());

    statusText_ = wide(status);
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(line);
    tool.lpszText = statusText_.data();
    if (tooltips_) SendMessageW(tooltips_, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

void MainWindow::onCommand(int id) {
    switch (id) {
        case kOpenImage: editor_.bnouvimg_Click(); break;
        case kSaveBitmap: editor_.bnsauvbmp_Click(); break;
        case kOpenBitmap: editor_.bnouvbmp_Click(); break;
        case kPatch: editor_.bnpatch_Click(); break;
        case kQuit: editor_.bnquitter_Click(); break;
        case kConsoleView: editor_.setConsoleView(IsDlgButtonChecked(window_, kConsoleView) == BST_CHECKED); break;
        case kPal: editor_.setPal(IsDlgButtonChecked(window_, kPal) == BST_CHECKED); break;
        case kTakeBack: editor_.takeBackLastPatch(); break;
        default: break;  // IDOK and IDCANCEL from Enter and Escape: no default button
    }
}

void MainWindow::onDrop(HDROP drop) {
    std::wstring name;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    if (count == 1) {
        name.resize(DragQueryFileW(drop, 0, nullptr, 0) + 1);
        name.resize(DragQueryFileW(drop, 0, name.data(), UINT(name.size())));
    }
    DragFinish(drop);
    if (count != 1) {
        showStatus("Drop one file at a time: a disc image, or a bitmap to import.");
        return;
    }
    commandFile_ = std::filesystem::path(name);
    openDroppedFile(editor_, *this, commandFile_);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // A button's click, a menu's item (both 0) or an accelerator (1).
            if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) onCommand(LOWORD(wParam));
            return 0;
        case WM_CONTEXTMENU:
            if (reinterpret_cast<HWND>(wParam) != control(kPicture)) break;
            showLogoMenu({GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        case WM_CTLCOLORSTATIC: {
            HDC dc = reinterpret_cast<HDC>(wParam);
            // The title: button text on the button face; everything else on the window's colour.
            const bool title = reinterpret_cast<HWND>(lParam) == control(kTitle);
            SetTextColor(dc, GetSysColor(title ? COLOR_BTNTEXT : COLOR_WINDOWTEXT));
            SetBkColor(dc, GetSysColor(title ? COLOR_BTNFACE : COLOR_ACTIVEBORDER));
            return reinterpret_cast<LRESULT>(GetSysColorBrush(title ? COLOR_BTNFACE : COLOR_ACTIVEBORDER));
        }
        case WM_DROPFILES: onDrop(reinterpret_cast<HDROP>(wParam)); return 0;
        case WM_ACTIVATE:
            if (LOWORD(wParam) == WA_INACTIVE) {
                HWND focus = GetFocus();
                if (focus && IsChild(window_, focus)) focusBeforeDeactivation_ = focus;
            } else if (focusBeforeDeactivation_ && IsWindowEnabled(focusBeforeDeactivation_)) {
                SetFocus(focusBeforeDeactivation_);
            } else {
                SetFocus(GetNextDlgTabItem(window_, nullptr, FALSE));
            }
            return 0;
        case WM_DPICHANGED: {
            const RECT* suggested = reinterpret_cast<const RECT*>(lParam);
            SetWindowPos(window_, nullptr, suggested->left, suggested->top, 0, 0,
                         SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
            layOut(HIWORD(wParam));
            return 0;
        }
        case WM_CLOSE:
            // Closing the window is Quit: nothing is asked and nothing is saved.
            if (!ending_) editor_.bnquitter_Click();
            return 0;
        case WM_DESTROY: PostQuitMessage(0); return 0;
    }
    return DefWindowProcW(window_, message, wParam, lParam);
}

LRESULT CALLBACK MainWindow::windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_NCCREATE) {
        auto* self = static_cast<MainWindow*>(reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        self->window_ = window;
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
    }
    auto* self = reinterpret_cast<MainWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self) return DefWindowProcW(window, message, wParam, lParam);
    if (message == WM_NCDESTROY) {
        SetWindowLongPtrW(window, GWLP_USERDATA, 0);
        self->window_ = nullptr;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    // No exception may cross Windows' frames: one that gets here (out of memory
    // outside a command) is told, and the window goes on.
    try {
        return self->handleMessage(message, wParam, lParam);
    } catch (const std::exception& failure) {
        showFailure(window, failure.what());
        return 0;
    }
}

}  // namespace tolvane::win32
