// The Qt window's status area.
#include "ui/qt/status_area.h"

#include "ui/common/status_line.h"
#include "ui/common/window_controls.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QEvent>
#include <QTextDocument>

namespace tolvane {

StatusArea::StatusArea(QWidget* parent) : QLabel(parent) {
    setTextFormat(Qt::PlainText);  // a file name is never markup
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setMargin(0);
    copy_ = new QAction(QStringLiteral("Copy"), this);
    copy_->setObjectName(QStringLiteral("actcopier"));
    copy_->setShortcut(QKeySequence::Copy);
    copy_->setShortcutContext(Qt::WindowShortcut);
    connect(copy_, &QAction::triggered, this, [this] { QApplication::clipboard()->setText(whole_); });
    addAction(copy_);
    setContextMenuPolicy(Qt::ActionsContextMenu);
}

void StatusArea::setStatus(const std::string& status, std::vector<std::string> names) {
    status_ = status;
    names_ = std::move(names);
    whole_ = QString::fromStdString(status);
    fit();
}

int StatusArea::linesHeight() const {
    // As QLabel lays its lines out.
    QString lines = QStringLiteral("Ag");
    for (int k = 1; k < kStatusLines; ++k) lines += QStringLiteral("\nAg");
    return fontMetrics().boundingRect(QRect(0, 0, 10000, 10000), Qt::AlignLeft | Qt::AlignTop, lines).height();
}

void StatusArea::changeEvent(QEvent* event) {
    QLabel::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    fit();
    emit fontChanged();
}

void StatusArea::resizeEvent(QResizeEvent* event) {
    QLabel::resizeEvent(event);
    fit();
}

void StatusArea::fit() {
    const QFontMetrics metrics = fontMetrics();
    const auto measure = [&](std::u16string_view text) {
        return metrics.horizontalAdvance(QString::fromUtf16(text.data(), qsizetype(text.size())));
    };
    const FittedStatus fitted = fitStatus(status_, names_, measure, contentsRect().width(), kStatusLines);
    QStringList lines;
    for (const std::u16string& line : fitted.lines) lines << QString::fromStdU16String(line);
    setText(lines.join(QLatin1Char('\n')));
    // Qt takes a tooltip that looks like markup for markup; a file name is not.
    const QString tip = !fitted.shortened ? QString()
                        : Qt::mightBeRichText(whole_)
                            ? QStringLiteral("<p style='white-space:pre-wrap'>%1</p>").arg(whole_.toHtmlEscaped())
                            : whole_;
    setToolTip(tip);
}

}  // namespace tolvane
