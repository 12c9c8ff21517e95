// The native Windows window: its controls, messages and window operations.
#include "main_window.h"

#include "dialogs.h"
#include "dpi.h"
#include "logo_view.h"
#include "text.h"
#include "ui/common/dropped_file.h"

#include <commctrl.h>
#include <shellapi.h>
#include <windowsx.h>

#include <cstring>
#include <iterator>
#include <stdexcept>
#include <vector>

namespace tolvane::win32 {

namespace {

constexpr const wchar_t* kWindowClass = L"TolvaneEditorWindow";
constexpr DWORD kStyle = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX;  // a fixed size
constexpr DWORD kExStyle = WS_EX_ACCEPTFILES;
constexpr int kIconResource = 1;
// Commands that come from no control: Ctrl+Z and the logo's context menu; Ctrl+C
// and the status area's.
constexpr int kTakeBack = 201;
constexpr int kCopyStatus = 202;
constexpr int kSavePatch = 203;  // the logo's context menu
constexpr ACCEL kAccelerators[] = {{FVIRTKEY | FCONTROL, 'Z', kTakeBack}, {FVIRTKEY | FCONTROL, 'C', kCopyStatus}};

bool isPushButton(HWND item) {
    const int id = GetDlgCtrlID(item);
    for (const ControlRow& row : controlRows())
        if (row.id == id) return row.kind == ControlKind::PushButton;
    return false;
}

// No button is the default one: Return presses the focused button, whichever it
// is, and nothing else. The dialog manager (IsDialogMessage) gives a push button
// that Tab reaches the default button's style all the same, and Wine leaves it
// there when the focus moves on by a click or from the program, so that a button
// without the focus looked like the default: no button takes that style.
LRESULT CALLBACK neverTheDefault(HWND button, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    if (message == BM_SETSTYLE && (wParam & BS_TYPEMASK) == BS_DEFPUSHBUTTON)
        wParam = (wParam & ~WPARAM(BS_TYPEMASK)) | BS_PUSHBUTTON;
    return DefSubclassProc(button, message, wParam, lParam);
}

RECT scaledRect(const Place& place, UINT dpi) {
    const int left = scaled(place.left, dpi), top = scaled(place.top, dpi);
    return {left, top, left + scaled(place.width, dpi), top + scaled(place.height, dpi)};
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
    CreateWindowExW(kExStyle, kWindowClass, wide(kWindowCaption).c_str(), kStyle, CW_USEDEFAULT, CW_USEDEFAULT,
                    kClientWidth, kClientHeight, nullptr, nullptr, instance, this);
    if (!window_) throw std::runtime_error("Cannot create the window (error " + std::to_string(GetLastError()) + ")");
    createControls();
    accelerators_ = CreateAcceleratorTableW(const_cast<ACCEL*>(kAccelerators), int(std::size(kAccelerators)));
    layOut(dpiOf(window_));
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
    for (const ControlRow& row : controlRows()) {
        HWND created =
            CreateWindowExW(0, windowClassOf(row.kind), wide(row.text).c_str(), styleOf(row), 0, 0, 0, 0, window_,
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(row.id)), instance, nullptr);
        if (!created)
            throw std::runtime_error("Cannot create the window's controls (error " + std::to_string(GetLastError()) +
                                     ")");
        if (row.kind == ControlKind::PushButton) SetWindowSubclass(created, neverTheDefault, 0, 0);
        if (!tooltips_ || (!row.tip && row.id != kStatus)) continue;
        TOOLINFOW tool{};
        tool.cbSize = sizeof tool;
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = window_;
        tool.uId = reinterpret_cast<UINT_PTR>(created);
        std::wstring tip = row.tip ? wide(row.tip) : std::wstring();
        tool.lpszText = tip.data();  // copied by the tooltip control
        SendMessageW(tooltips_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

void MainWindow::layOut(UINT dpi) {
    dpi_ = dpi;
    auto fonts = std::make_unique<WindowFonts>(dpi);
    int clientHeight = scaled(kClientHeight, dpi);
    for (const ControlRow& row : controlRows()) {
        HWND item = control(row.id);
        RECT at = scaledRect(row.at, dpi);
        if (row.kind == ControlKind::StatusArea) {
            // As many lines of its font as it shows, whatever the font's size.
            at.bottom = at.top + kStatusLines * fonts->lineHeight(row.font);
            clientHeight = int(at.bottom) + scaled(kStatusMargin, dpi);
        }
        SetWindowPos(item, nullptr, at.left, at.top, at.right - at.left, at.bottom - at.top,
                     SWP_NOZORDER | SWP_NOACTIVATE);
        SendMessageW(item, WM_SETFONT, reinterpret_cast<WPARAM>((*fonts)[row.font]), TRUE);
    }
    fonts_ = std::move(fonts);  // the old fonts go once no control uses them
    if (tooltips_) SendMessageW(tooltips_, TTM_SETMAXTIPWIDTH, 0, scaled(kClientWidth, dpi));
    const SIZE outer = outerSize({scaled(kClientWidth, dpi), clientHeight}, kStyle, kExStyle, dpi);
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
    // Return and Enter press the focused button, as Space does. No button is the
    // default one, so they do nothing elsewhere (IsDialogMessage sends IDOK).
    if (message.message == WM_KEYDOWN && message.wParam == VK_RETURN) {
        HWND focus = GetFocus();
        if (focus && IsChild(window_, focus) && isPushButton(focus) && IsWindowEnabled(focus)) {
            const bool repeated = (message.lParam & (1 << 30)) != 0;
            if (!repeated) onCommand(GetDlgCtrlID(focus));
            return true;
        }
    }
    return IsDialogMessageW(window_, &message);
}

void MainWindow::showContextMenu(HWND item, POINT at) {
    if (at.x == -1 && at.y == -1) {  // from the keyboard: at the control's corner
        at = {0, 0};
        ClientToScreen(item, &at);
    }
    HMENU menu = CreatePopupMenu();
    if (!menu) return;
    if (item == control(kStatus)) {
        AppendMenuW(menu, MF_STRING | (status_.empty() ? MF_GRAYED : MF_ENABLED), kCopyStatus, L"&Copy\tCtrl+C");
    } else {
        const UINT state = editor_.state().imagePath.empty() ? MF_GRAYED : MF_ENABLED;
        AppendMenuW(menu, MF_STRING | state, kTakeBack, L"Take the last patch back\tCtrl+Z");
        // A patch file carries what Patch would write: both wait for an imported logo.
        AppendMenuW(menu, MF_STRING | (editor_.isEnabled(Button::bnpatch) ? MF_ENABLED : MF_GRAYED), kSavePatch,
                    L"&Save as patch file...");
    }
    TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_TOPALIGN | TPM_RIGHTBUTTON, at.x, at.y, 0, window_, nullptr);
    DestroyMenu(menu);
}

void MainWindow::copyStatus() {
    std::wstring text;  // Windows' line ends, as every program pastes them
    for (wchar_t c : wide(status_)) {
        if (c == L'\n' && (text.empty() || text.back() != L'\r')) text += L'\r';
        text += c;
    }
    const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
    if (!OpenClipboard(window_)) {
        reportFailure("Cannot copy the status: the clipboard cannot be opened (error " +
                      std::to_string(GetLastError()) + "); another program may be holding it");
        return;
    }
    EmptyClipboard();
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes);
    void* held = memory ? GlobalLock(memory) : nullptr;
    DWORD error = 0;
    if (held) {
        std::memcpy(held, text.c_str(), bytes);
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory)) error = GetLastError();
    } else {
        error = GetLastError();
    }
    CloseClipboard();
    if (!held || error) {
        if (memory) GlobalFree(memory);  // the clipboard took nothing
        reportFailure("Cannot copy the status: the clipboard did not take it (error " + std::to_string(error) + ")");
    }
}

std::array<RECT, 2> MainWindow::focusMarks() const {
    const std::array<Place, 2> places = focusMarkPlaces();
    return {scaledRect(places[0], dpi_), scaledRect(places[1], dpi_)};
}

void MainWindow::paintFocusMarks() {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window_, &paint);
    if (GetFocus() == control(kPicture))
        for (const RECT& mark : focusMarks()) FillRect(dc, &mark, GetSysColorBrush(COLOR_HIGHLIGHT));
    EndPaint(window_, &paint);
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
    // A button that goes off with the focus (Patch, once it has patched) hands it
    // to Open Cdrwin Bin, where the next edit starts.
    if (!on && GetFocus() == item) SetFocus(control(kOpenImage));
    if (!on && focusBeforeDeactivation_ == item) focusBeforeDeactivation_ = control(kOpenImage);
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
    HWND area = control(kStatus);
    RECT room;
    GetClientRect(area, &room);
    HDC dc = GetDC(area);
    HGDIOBJ before = SelectObject(dc, (*fonts_)[FontKind::MessageFont]);
    const auto measure = [dc](std::u16string_view text) {
        SIZE size{};
        GetTextExtentPoint32W(dc, reinterpret_cast<const wchar_t*>(text.data()), int(text.size()), &size);
        return int(size.cx);
    };
    const FittedStatus fitted = fitStatus(status, statusFileNames({commandFile_, editor_.state().imagePath}), measure,
                                          int(room.right), kStatusLines);
    SelectObject(dc, before);
    ReleaseDC(area, dc);
    std::wstring shown;
    for (const std::u16string& line : fitted.lines) shown += (shown.empty() ? L"" : L"\r\n") + wide(line);
    SetWindowTextW(area, shown.c_str());

    statusText_ = fitted.shortened ? wide(status) : std::wstring();
    TOOLINFOW tool{};
    tool.cbSize = sizeof tool;
    tool.hwnd = window_;
    tool.uId = reinterpret_cast<UINT_PTR>(area);
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
        case kConsoleView:
        case kPal: {
            // The view changes under the box; the focus stays where the person left it.
            HWND focus = GetFocus();
            const bool on = IsDlgButtonChecked(window_, id) == BST_CHECKED;
            id == kConsoleView ? editor_.setConsoleView(on) : editor_.setPal(on);
            if (focus && IsWindowEnabled(focus)) SetFocus(focus);
            break;
        }
        case kTakeBack: editor_.takeBackLastPatch(); break;
        case kSavePatch: editor_.mnusauvpatch_Click(); break;
        case kCopyStatus: copyStatus(); break;
        default: break;  // IDOK and IDCANCEL from Enter and Escape: no default button
    }
}

void MainWindow::onDrop(HDROP drop) {
    std::vector<std::filesystem::path> files;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT k = 0; k < count; ++k) {
        std::wstring name(DragQueryFileW(drop, k, nullptr, 0) + 1, L'\0');
        name.resize(DragQueryFileW(drop, k, name.data(), UINT(name.size())));
        files.emplace_back(name);
    }
    DragFinish(drop);
    if (files.size() == 1) commandFile_ = files.front();
    openDroppedFiles(editor_, *this, files);
}

LRESULT MainWindow::handleMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
        case WM_COMMAND:
            // A button's click, a menu's item (both 0) or an accelerator (1).
            if (HIWORD(wParam) == BN_CLICKED || HIWORD(wParam) == 1) onCommand(LOWORD(wParam));
            return 0;
        case WM_CONTEXTMENU: {
            HWND item = reinterpret_cast<HWND>(wParam);
            if (item != control(kPicture) && item != control(kStatus)) break;
            showContextMenu(item, {GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)});
            return 0;
        }
        case kViewFocusChanged:
            for (const RECT& mark : focusMarks()) InvalidateRect(window_, &mark, TRUE);
            return 0;
        case WM_PAINT: paintFocusMarks(); return 0;
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
