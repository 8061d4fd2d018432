#include "ui/ExportFiles.h"

#include "platform/WholeFileWriter.h"
#include "ui/services/drvpFileDialog.h"
#include "ui/services/drvpMessageBox.h"

#include <QDir>
#include <QFileInfo>
#include <QTemporaryFile>

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
    // Its own question is framed and English, and misses names we complete.
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.selectFile(defaultName);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return QString();
    return dialog.selectedFiles().constFirst();
}

bool mayWriteFile(const QString &path)
{
    const QFileInfo file(path);
    if (!file.exists())
        return true;
    drvpMessageBox box;
    // Links followed: a save would put a file in place of a device or a pipe.
    if (!file.isFile()) {
        box.setIcon(QMessageBox::Warning);
        box.setText(QStringLiteral("Файл \"%1\" не может быть записан.").arg(file.fileName()));
        box.setInformativeText(
            QStringLiteral("На его месте находится папка, канал или устройство. Выберите другое имя файла."));
        box.setStandardButtons(QMessageBox::Ok);
        box.exec();
        return false;
    }
    box.setIcon(QMessageBox::Question);
    box.setText(QStringLiteral("Файл \"%1\" уже существует.").arg(file.fileName()));
    box.setInformativeText(QStringLiteral("Заменить его?"));
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString fileErrorDetail(const WholeFileWriter &file)
{
    return QStringLiteral("%1: %2").arg(file.errorCode()).arg(file.errorText());
}

QString exportFolderProblem(const QString &folder)
{
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        return QStringLiteral("Папка экспорта \"%1\" не найдена.").arg(folder);
    QTemporaryFile probe(QDir(folder).filePath(QStringLiteral("probe-XXXXXX")));
    if (!probe.open())
        return QStringLiteral("Нет доступа на запись в папку экспорта \"%1\".").arg(folder);
    return QString();
}
