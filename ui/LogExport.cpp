#include "ui/LogExport.h"

#include "platform/WholeFileWriter.h"
#include "ui/ExportFiles.h"

#include <QDateTime>
#include <QTextBlock>
#include <QTextDocument>

QString logPlainText(const QTextDocument &log)
{
    QString text;
    for (QTextBlock block = log.begin(); block.isValid(); block = block.next())
        text += block.text() + QStringLiteral("\r\n");
    return text;
}

void exportLog(const QTextDocument &log, bool html, const QString &folder,
               const std::function<void(const QString &, const QString &, const QString &)> &showError)
{
    // The view goes on taking lines while the dialog is open.
    const QByteArray bytes = html ? log.toHtml("utf-8").toUtf8() : logPlainText(log).toUtf8();
    const QString extension = html ? QStringLiteral("html") : QStringLiteral("txt");
    const QString defaultName = QStringLiteral("Журнал_событий_%1.%2")
                                    .arg(QDateTime::currentDateTime().toString(QStringLiteral("dd-MM-yyyy-hhmm")),
                                         extension);
    const QString filter = QStringLiteral("Все %1 файлы (*.%2 *.%3)")
                               .arg(extension.toUpper(), extension, extension.toUpper());
    const QString chosen = askSaveFileName(QStringLiteral("Сохранение журнала событий"), folder, defaultName, filter);
    if (chosen.isEmpty())
        return;
    QString path = chosen;
    if (!path.toUpper().endsWith(extension.toUpper()))
        path += QLatin1Char('.') + extension;
    if (!mayWriteFile(path))
        return;
    WholeFileWriter file(path);
    if (!file.open() || !file.write(bytes) || !file.commit())
        showError(QStringLiteral("Ошибка открытия файла."),
                  QStringLiteral("Возникла ошибка при открытии на запись файла: %1.").arg(path),
                  fileErrorDetail(file));
}
