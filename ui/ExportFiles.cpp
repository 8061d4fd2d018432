#include "ui/ExportFiles.h"

#include "ui/services/drvpFileDialog.h"
#include "ui/services/drvpMessageBox.h"

#include <QFileDevice>
#include <QFileInfo>

QString askSaveFileName(const QString &title, const QString &folder, const QString &defaultName,
                        const QString &nameFilter)
{
    drvpFileDialog dialog;
    dialog.setWindowTitle(title);
    dialog.setDirectory(folder);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setFilter(QDir::AllEntries);
    dialog.setNameFilter(nameFilter);
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool mayWriteFile(const QString &path, const QString &chosenPath)
{
    if (path == chosenPath || !QFileInfo::exists(path))
        return true;
    drvpMessageBox box;
    box.setIcon(QMessageBox::Question);
    box.setText(QStringLiteral("Файл \"%1\" уже существует.").arg(QFileInfo(path).fileName()));
    box.setInformativeText(QStringLiteral("Заменить его?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString fileErrorDetail(const QFileDevice &file)
{
    return QStringLiteral("%1: %2").arg(int(file.error())).arg(file.errorString());
}
