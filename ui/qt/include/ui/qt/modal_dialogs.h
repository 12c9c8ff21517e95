// The window's modal dialogs: file choosers and the failure message. The window
// gets them from outside so that tests can answer them.
#pragma once

#include "editor/window_operations.h"

#include <QString>
#include <QStringList>

class QFileDialog;
class QWidget;

namespace tolvane {

class ModalDialogs {
public:
    virtual ~ModalDialogs() = default;
    // The chosen file, or an empty text when the person cancels.
    virtual QString chooseFile(Dialog dialog, QWidget* parent) = 0;
    virtual void showFailure(const QString& text, QWidget* parent) = 0;
    // A yes-or-no question, "no" preselected; true for yes.
    virtual bool ask(const QString& question, QWidget* parent) = 0;
};

// Qt's file dialogs and message box.
class QtDialogs : public ModalDialogs {
public:
    QString chooseFile(Dialog dialog, QWidget* parent) override;
    void showFailure(const QString& text, QWidget* parent) override;
    bool ask(const QString& question, QWidget* parent) override;
};

struct FileDialogSetup {
    const char* objectName;
    QString title;
    QStringList filters;
    QString defaultSuffix;
    bool save;
};
FileDialogSetup fileDialogSetup(Dialog dialog);
// A file dialog as the setup says; the first filter is the one selected.
void setUpChooser(QFileDialog& chooser, const FileDialogSetup& setup);

}  // namespace tolvane
