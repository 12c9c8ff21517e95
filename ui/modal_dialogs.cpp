#include "modal_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>

namespace tolvane {

FileDialogSetup fileDialogSetup(Dialog dialog) {
    switch (dialog) {
        case Dialog::dialouvrir:
            return {"dialouvrir",
                    QStringLiteral("Open CDR-Win File     "),
                    {QStringLiteral("CDR-Win Files  (*.bin)"), QStringLiteral("DVD images (*.iso)"),
                     QStringLiteral("CUE sheets (*.cue)"), QStringLiteral("All files (*)")},
                    QStringLiteral("bin"),
                    false};
        case Dialog::dialsauvbmp:
            return {"dialsauvbmp",
                    QStringLiteral("Sauver une image BMP"),
                    {QStringLiteral("Fichiers BMP (*.bmp)")},
                    QStringLiteral("bmp"),
                    true};
        case Dialog::dialouvbmp:
            return {"dialouvbmp",
                    QStringLiteral(" Open Bitmap Image  "),
                    {QStringLiteral("Bitmap Files (*.bmp)")},
                    QStringLiteral("bmp"),
                    false};
    }
    return {};
}

QString QtDialogs::chooseFile(Dialog dialog, QWidget* parent) {
    const FileDialogSetup setup = fileDialogSetup(dialog);
    QFileDialog chooser(parent, setup.title);
    chooser.setObjectName(QString::fromLatin1(setup.objectName));
    chooser.setNameFilters(setup.filters);
    chooser.setDefaultSuffix(setup.defaultSuffix);
    // Saving asks before replacing a file (Qt's default); opening takes only files that exist.
    chooser.setAcceptMode(setup.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(setup.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    if (chooser.exec() != QDialog::Accepted || chooser.selectedFiles().isEmpty()) return {};
    return chooser.selectedFiles().constFirst();
}

void QtDialogs::showFailure(const QString& text, QWidget* parent) {
    QMessageBox::critical(parent, parent ? parent->windowTitle() : QString(), text);
}

bool QtDialogs::ask(const QString& question, QWidget* parent) {
    return QMessageBox::question(parent, parent ? parent->windowTitle() : QString(), question,
                                 QMessageBox::Yes | QMessageBox::No, QMessageBox::No) == QMessageBox::Yes;
}

}  // namespace tolvane
