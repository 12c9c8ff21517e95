#include "main_window.h"

#include "app_icon.h"
#include "logo_view.h"
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
#include <QLabel>
#include <QMimeData>
#include <QPushButton>
#include <QTextDocument>

namespace tolvane {

namespace {

QFont windowsFont(qreal points, int weight) {
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setFamilies({QStringLiteral("MS Sans Serif"), QFontDatabase::systemFont(QFontDatabase::GeneralFont).family()});
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setWeight(static_cast<QFont::Weight>(weight));
    return font;
}

}  // namespace

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

namespace {}  // namespace

QFont buttonFont() { return windowsFont(9.75, QFont::Normal); }
QFont titleFont() { return windowsFont(18, QFont::Bold); }

MainWindow::MainWindow(std::unique_ptr<ModalDialogs> dialogs, QWidget* parent)
    : QWidget(parent), dialogs_(dialogs ? std::move(dialogs) : std::make_unique<QtDialogs>()), editor_(*this) {
    setObjectName(QStringLiteral("fmprinc"));
    setWindowTitle(QStringLiteral("Tolvane Editor by Darquil "));
    setWindowIcon(appIcon());
    setFixedSize(kClientWidth, kClientHeight + kStatusHeight);
    setAcceptDrops(true);

    lbtitre_ = new QLabel(QStringLiteral("Tolvane Editor 0.2.2 beta"), this);
    lbtitre_->setObjectName(QStringLiteral("lbtitre"));
    lbtitre_->setGeometry(184, 8, 369, 25);
    lbtitre_->setFont(titleFont());
    lbtitre_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    lbtitre_->setBackgroundRole(QPalette::Button);
    lbtitre_->setForegroundRole(QPalette::ButtonText);
    lbtitre_->setAutoFillBackground(true);

    piboot_ = new LogoView(this);
    piboot_->setObjectName(QStringLiteral("piboot"));
    piboot_->setGeometry(0, 48, 769, 129);

    bnouvimg_ = makeButton("bnouvimg", QStringLiteral("Open Cdrwin Bin "), {0, 184, 121, 25}, &Editor::bnouvimg_Click);
    bnpatch_ = makeButton("bnpatch", QStringLiteral(" Patch "), {480, 184, 121, 25}, &Editor::bnpatch_Click);
    bnquitter_ = makeButton("bnquitter", QStringLiteral("  Quit "), {688, 184, 81, 25}, &Editor::bnquitter_Click);
    bnouvbmp_ =
        makeButton("bnouvbmp", QStringLiteral("  Open Bitmap   "), {344, 184, 129, 25}, &Editor::bnouvbmp_Click);
    bnsauvbmp_ =
        makeButton("bnsauvbmp", QStringLiteral("  Save Bitmap   "), {128, 184, 129, 25}, &Editor::bnsauvbmp_Click);
    setTabOrder(bnouvimg_, piboot_);
    setTabOrder(piboot_, bnpatch_);
    setTabOrder(bnpatch_, bnquitter_);
    setTabOrder(bnquitter_, bnouvbmp_);
    setTabOrder(bnouvbmp_, bnsauvbmp_);

    // The view's settings sit in the free space beside the title; nothing of the
    // fixed layout moves for them.
    cbconsole_ = new QCheckBox(QStringLiteral("Console view"), this);
    cbconsole_->setObjectName(QStringLiteral("cbconsole"));
    cbconsole_->setGeometry(566, 10, 112, 22);
    cbconsole_->setToolTip(
        QStringLiteral("Show and exchange the logo as the console shows it, decoded with the disc's key"));
    connect(cbconsole_, &QCheckBox::toggled, this, [this](bool on) { editor_.setConsoleView(on); });
    cbpal_ = new QCheckBox(QStringLiteral("PAL"), this);
    cbpal_->setObjectName(QStringLiteral("cbpal"));
    cbpal_->setGeometry(684, 10, 80, 22);
    cbpal_->setToolTip(QStringLiteral("The console's PAL picture, 344 x 71, instead of NTSC's 384 x 64"));
    cbpal_->setEnabled(false);
    connect(cbpal_, &QCheckBox::toggled, this, [this](bool on) { editor_.setPal(on); });
    setTabOrder(bnsauvbmp_, cbconsole_);
    setTabOrder(cbconsole_, cbpal_);

    // Ctrl+Z anywhere in the window, and the logo's context menu.
    takeBack_ = new QAction(QStringLiteral("Take the last patch back"), this);
    takeBack_->setObjectName(QStringLiteral("actreprendre"));
    takeBack_->setShortcut(QKeySequence::Undo);
    takeBack_->setShortcutContext(Qt::WindowShortcut);
    takeBack_->setEnabled(false);  // until an image is open
    connect(takeBack_, &QAction::triggered, this, [this] { editor_.takeBackLastPatch(); });
    addAction(takeBack_);
    piboot_->addAction(takeBack_);
    piboot_->setContextMenuPolicy(Qt::ActionsContextMenu);

    lbetat_ = new QLabel(this);
    lbetat_->setObjectName(QStringLiteral("lbetat"));
    lbetat_->setGeometry(4, kClientHeight, kClientWidth - 8, kStatusHeight);
    lbetat_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    lbetat_->setTextFormat(Qt::PlainText);  // a file name is never markup
    showStatus("Open a disc image to see its logo.");

    editor_.Form_Load();
    bnouvimg_->setFocus();
}

MainWindow::~MainWindow() = default;

QPushButton* MainWindow::makeButton(const char* name, const QString& text, QRect geometry, void (Editor::*handler)()) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(geometry);
    button->setFont(buttonFont());
    button->setAutoDefault(false);
    button->setDefault(false);
    connect(button, &QPushButton::clicked, this, [this, handler] { (editor_.*handler)(); });
    return button;
}

std::filesystem::path MainWindow::chooseFile(Dialog dialog) {
    const std::filesystem::path chosen = toPath(dialogs_->chooseFile(dialog, this));
    if (!chosen.empty()) commandFile_ = chosen;
    return chosen;
}

void MainWindow::setEnabled(Button button, bool on) {
    switch (button) {
        case Button::bnsauvbmp: bnsauvbmp_->setEnabled(on); break;
        case Button::bnouvbmp: bnouvbmp_->setEnabled(on); break;
        case Button::bnpatch: bnpatch_->setEnabled(on); break;
    }
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
    const QFontMetrics metrics = lbetat_->fontMetrics();
    const auto measure = [&](std::u16string_view text) {
        return metrics.horizontalAdvance(QString::fromUtf16(text.data(), qsizetype(text.size())));
    };
    const std::vector<std::string> names = statusFileNames({commandFile_, editor_.state().imagePath});
    lbetat_->setText(QString::fromStdU16String(fitStatus(status, names, measure, lbetat_->contentsRect().width())));
    const QString text = QString::fromStdString(status);
    // Qt takes a tooltip that looks like markup for markup; a file name is not.
    lbetat_->setToolTip(Qt::mightBeRichText(text)
                            ? QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(text.toHtmlEscaped())
                            : text);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is Quit: nothing is asked and nothing is saved.
    if (!ending_) editor_.bnquitter_Click();
    event->accept();
}

void MainWindow::dragEnterEvent(QDragEnterEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() == 1 && urls.constFirst().isLocalFile()) event->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* event) {
    const auto urls = event->mimeData()->urls();
    if (urls.size() != 1 || !urls.constFirst().isLocalFile()) return;
    event->acceptProposedAction();
    openDroppedFile(toPath(urls.constFirst()));
}

void MainWindow::openDroppedFile(const std::filesystem::path& path) {
    commandFile_ = path;
    tolvane::openDroppedFile(editor_, *this, path);
}

}  // namespace tolvane
