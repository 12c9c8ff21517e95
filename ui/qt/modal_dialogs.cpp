// Qt's file dialogs and message boxes for the window.
#include "ui/qt/modal_dialogs.h"

#include "ui/common/file_dialogs.h"

#include <QFileDialog>
#include <QMessageBox>
#include <QRegularExpression>

namespace tolvane {

FileDialogSetup fileDialogSetup(Dialog dialog) {
    const FileDialogDescription description = fileDialogDescription(dialog);
    QStringList filters;
    for (const FileFilter& filter : description.filters) filters << QString::fromUtf8(filter.label);
    return {description.name, QString::fromUtf8(description.title), filters,
            QString::fromUtf8(description.defaultExtension), description.save};
}

namespace {

// The extension a name filter such as "PNG image (*.png)" stands for; empty
// for a filter of several patterns or of any file.
QString filterSuffix(const QString& filter) {
    static const QRegularExpression onePattern(QStringLiteral("\\(\\*\\.(\\w+)\\)$"));
    return onePattern.match(filter).captured(1);
}

}  // namespace

void setUpChooser(QFileDialog& chooser, const FileDialogSetup& setup) {
    chooser.setWindowTitle(setup.title);
    chooser.setObjectName(QString::fromLatin1(setup.objectName));
    chooser.setNameFilters(setup.filters);
    chooser.setDefaultSuffix(setup.defaultSuffix);
    // A typed name without an extension gets the chosen entry's.
    const QString fallback = setup.defaultSuffix;
    QObject::connect(&chooser, &QFileDialog::filterSelected, &chooser, [&chooser, fallback](const QString& filter) {
        const QString suffix = filterSuffix(filter);
        chooser.setDefaultSuffix(suffix.isEmpty() ? fallback : suffix);
    });
    // Saving asks before replacing a file (Qt's default); opening takes only files that exist.
    chooser.setAcceptMode(setup.save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    chooser.setFileMode(setup.save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
}

QString QtDialogs::chooseFile(Dialog dialog, QWidget* parent) {
    QFileDialog chooser(parent);
    setUpChooser(chooser, fileDialogSetup(dialog));
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
