// The status area below the window's fixed layout: every line of the editor's
// status, each warning on a line of its own, long file names shortened in their
// middle only as far as the lines need. Copy (its context menu, or Ctrl+C in the
// window) puts the whole text on the clipboard; the tooltip holds it when
// something had to be shortened.
#pragma once

#include <QLabel>

#include <string>
#include <vector>

class QAction;

namespace tolvane {

class StatusArea : public QLabel {
    Q_OBJECT
public:
    explicit StatusArea(QWidget* parent = nullptr);

    // names: the file names the status may hold, UTF-8, which are shortened first.
    void setStatus(const std::string& status, std::vector<std::string> names);
    const QString& wholeText() const { return whole_; }
    // The height of its lines in its font.
    int linesHeight() const;
    QAction* copyAction() const { return copy_; }

signals:
    // Its font changed, and so the height its lines need.
    void fontChanged();

protected:
    void changeEvent(QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void fit();

    std::string status_;
    std::vector<std::string> names_;
    QString whole_;
    QAction* copy_ = nullptr;
};

}  // namespace tolvane
