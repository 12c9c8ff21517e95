// The Qt window: its controls, handlers and window operations.
#include "ui/qt/main_window.h"

#include "ui/qt/app_icon.h"
#include "ui/qt/logo_view.h"
#include "ui/qt/status_area.h"
#include "ui/common/dropped_file.h"
#include "ui/common/status_line.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QPainter>
#include <QPushButton>
#include <QTimer>
#include <QWindow>

namespace tolvane {

std::filesystem::path toPath(const QString& text) {
#ifdef _WIN32
    return std::filesystem::path(text.toStdU16String());
#else
    // The file system's own bytes, which need not be UTF-8.
    return std::filesystem::path(QFile::encodeName(text).toStdString());
#endif
}

std::filesystem::path toPath(const QUrl& url) {
#ifdef _WIN32
    return toPath(url.toLocalFile());
#else
    // The percent-encoded bytes of the URL are the name's bytes, UTF-8 or not;
    // decoding them to text first would lose those that are not.
    return std::filesystem::path(
        QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()).toStdString());
#endif
}

std::vector<std::filesystem::path> localFiles(const QMimeData& data) {
    std::vector<std::filesystem::path> files;
    for (const QUrl& url : data.urls()) {
        if (!url.isLocalFile()) return {};
        files.push_back(toPath(url));
    }
    return files;
}

QFont tableFont(FontKind kind) {
    const FontDescription description = fontDescription(kind);
    if (!description.family) return QApplication::font();
    QFont font(QString::fromLatin1(description.family));
    font.setFamilies(
        {QString::fromLatin1(description.family), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(description.points);
    font.setWeight(description.bold ? QFont::Bold : QFont::Normal);
    return font;
}

namespace {

QRect qtRect(const Place& place) { return {place.left, place.top, place.width, place.height}; }

}  // namespace

MainWindow::MainWindow(std::unique_ptr<ModalDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>()), editor_(*this) {
    setObjectName(QString::fromLatin1(kWindowName));
    setWindowTitle(QString::fromLatin1(kWindowCaption));
    setWindowIcon(appIcon());
    setAcceptDrops(true);

    QWidget* previous = nullptr;
    for (const ControlRow& row : controlRows()) {
        QWidget* widget = makeControl(row);
        widget->setObjectName(QString::fromLatin1(row.name));
        widget->setGeometry(qtRect(row.at));
        if (row.font != FontKind::MessageFont) widget->setFont(tableFont(row.font));
        if (row.tip) widget->setToolTip(QString::fromUtf8(row.tip));
        widget->setEnabled(row.enabled);
        controls_[std::size_t(row.id - kOpenImage)] = widget;
        if (widget->focusPolicy() & Qt::TabFocus) {
            if (previous) setTabOrder(previous, widget);
            previous = widget;
        }
    }

    // Ctrl+Z anywhere in the window, and the logo's context menu.
    takeBack_ = new QAction(QStringLiteral("Take the last patch back"), this);
    takeBack_->setObjectName(QStringLiteral("actreprendre"));
    takeBack_->setShortcut(QKeySequence::Undo);
    takeBack_->setShortcutContext(Qt::WindowShortcut);
    takeBack_->setEnabled(false);  // until an image is open
    connect(takeBack_, &QAction::triggered, this, [this] { editor_.takeBackLastPatch(); });
    addAction(takeBack_);
    piboot_->addAction(takeBack_);
    savePatch_ = new QAction(QStringLiteral("Save as patch file..."), this);
    savePatch_->setObjectName(QStringLiteral("mnusauvpatch"));
    savePatch_->setEnabled(false);  // with Patch, as the editor says
    connect(savePatch_, &QAction::triggered, this, [this] { editor_.mnusauvpatch_Click(); });
    piboot_->addAction(savePatch_);
    piboot_->setContextMenuPolicy(Qt::ActionsContextMenu);

    connect(lbetat_, &StatusArea::fontChanged, this, &MainWindow::fitStatusArea);
    fitStatusArea();

    editor_.Form_Load();
    control(kOpenImage)->setFocus();
}

MainWindow::~MainWindow() = default;

QWidget* MainWindow::makeControl(const ControlRow& row) {
    const QString text = QString::fromUtf8(row.text);
    switch (row.kind) {
        case ControlKind::PushButton: {
            auto* button = new QPushButton(text, this);
            button->setAutoDefault(false);
            button->setDefault(false);
            connect(button, &QPushButton::clicked, this, [this, click = row.click] { (editor_.*click)(); });
            return button;
        }
        case ControlKind::Title: {
            auto* title = new QLabel(text, this);
            title->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
            title->setBackgroundRole(QPalette::Button);
            title->setForegroundRole(QPalette::ButtonText);
            title->setAutoFillBackground(true);
            return title;
        }
        case ControlKind::Picture: return piboot_ = new LogoView(this);
        case ControlKind::CheckBox: {
            auto* box = new QCheckBox(text, this);
            const bool console = row.id == kConsoleView;
            (console ? cbconsole_ : cbpal_) = box;
            connect(box, &QCheckBox::toggled, this, [this, console](bool on) {
                keepingFocus([&] { console ? editor_.setConsoleView(on) : editor_.setPal(on); });
            });
            return box;
        }
        case ControlKind::StatusArea: return lbetat_ = new StatusArea(this);
    }
    return new QWidget(this);
}

template <typename Change>
void MainWindow::keepingFocus(Change&& change) {
    QWidget* focus = focusWidget();
    change();
    if (focus && focus->isEnabled()) focus->setFocus();
}

void MainWindow::fitStatusArea() {
    const Place at = controlRow(kStatus).at;
    const int height = lbetat_->linesHeight();
    lbetat_->setGeometry(at.left, at.top, at.width, height);
    setFixedSize(kClientWidth, at.top + height + kStatusMargin);
}

std::filesystem::path MainWindow::chooseFile(Dialog dialog) {
    const std::filesystem::path chosen = toPath(dialogs_->chooseFile(dialog, this));
    if (!chosen.empty()) commandFile_ = chosen;
    return chosen;
}

void MainWindow::setEnabled(Button button, bool on) {
    QWidget* item = control(controlFor(button));
    // A button that goes off with the focus (Patch, once it has patched) hands it
    // to Open Cdrwin Bin, where the next edit starts.
    if (!on && focusWidget() == item) control(kOpenImage)->setFocus();
    item->setEnabled(on);
    // A patch file carries what Patch would write: both wait for an imported logo.
    if (button == Button::bnpatch) savePatch_->setEnabled(on);
}

void MainWindow::presentLogo(const LogoImage& logo) {
    takeBack_->setEnabled(true);
    piboot_->setLogo(logo);
    piboot_->show();
    piboot_->setFocus();
}

void MainWindow::presentPicture(const GreyPicture& picture) {
    takeBack_->setEnabled(true);
    piboot_->setPicture(picture);
    piboot_->show();
}

void MainWindow::showViewOptions(bool consoleView, bool pal) {
    const QSignalBlocker quietConsole(cbconsole_), quietPal(cbpal_);
    cbconsole_->setChecked(consoleView);
    cbpal_->setChecked(pal);
    if (!consoleView && focusWidget() == cbpal_) cbconsole_->setFocus();
    cbpal_->setEnabled(consoleView);
}

void MainWindow::reportFailure(const std::string& failure) {
    dialogs_->showFailure(QString::fromStdString(failure), this);
}

bool MainWindow::confirm(const std::string& question) { return dialogs_->ask(QString::fromStdString(question), this); }

void MainWindow::endProgram() {
    ending_ = true;
    close();
    QApplication::quit();
}

void MainWindow::showStatus(const std::string& status) {
    lbetat_->setStatus(status, statusFileNames({commandFile_, editor_.state().imagePath}));
}

void MainWindow::openOnceShown(const std::filesystem::path& path) {
    imageOnceShown_ = path;
    create();
    if (windowHandle()->isExposed()) {
        openImageShown();
    } else {
        windowHandle()->installEventFilter(this);
    }
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == windowHandle() && event->type() == QEvent::Expose && windowHandle()->isExposed()) {
        windowHandle()->removeEventFilter(this);
        openImageShown();
    }
    return QWidget::eventFilter(watched, event);
}

void MainWindow::openImageShown() {
    // After the expose is handled: the window is drawn first.
    QTimer::singleShot(0, this, [this] {
        if (!imageOnceShown_) return;
        commandFile_ = *imageOnceShown_;
        imageOnceShown_.reset();
        editor_.openImage(commandFile_);
    });
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is Quit: nothing is asked and nothing is saved.
    if (!ending_) editor_.bnquitter_Click();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    // Any number of files: a drop of several is told why nothing happens.
    if (!localFiles(*event->mimeData()).empty()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    std::vector<std::filesystem::path> files = localFiles(*event->mimeData());
    if (files.empty()) return;
    event->acceptProposedAction();
    // The drop ends here, so that the program the files come from goes on; what
    // opening them asks or tells follows.
    QTimer::singleShot(0, this, [this, files = std::move(files)] {
        if (files.size() == 1) commandFile_ = files.front();
        openDroppedFiles(editor_, *this, files);
    });
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
    // Return and Enter press the focused button, as Space does; no button is the
    // default one, so they do nothing elsewhere.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    auto* button = qobject_cast<QPushButton*>(focusWidget());
    if (enter && button && button->isEnabled() && (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        if (!event->isAutoRepeat()) button->click();
        return;
    }
    QWidget::keyPressEvent(event);
}

void MainWindow::paintEvent(QPaintEvent*) {
    if (!piboot_->hasFocus()) return;
    QPainter painter(this);
    for (const Place& mark : focusMarkPlaces()) painter.fillRect(qtRect(mark), palette().color(QPalette::Highlight));
}

void MainWindow::openDroppedFile(const std::filesystem::path& path) {
    commandFile_ = path;
    tolvane::openDroppedFile(editor_, *this, path);
}

}  // namespace tolvane
