#include "readers/SaveDddFile.h"

#include "config/Config.h"
#include "readers/CardReader.h"
#include "readers/DddFileWriter.h"

namespace {
const QString failSave = QStringLiteral("%1 - Ошибка сохранения ddd-файла. Имя файла: %2. (%3) %4");
const QString saved = QStringLiteral("%1 - Сформированный ddd-файл успешно сохранен: <a href=\"%2\">%2</a>");
} // namespace

bool saveDddFile(CardReader &reader, Config &config, const LogLine &log)
{
    const QString name = reader.dddFileName();
    const QByteArray image = reader.buildDddImage();
    if (image.isEmpty())
        return false;
    DddFileWriter writer(config.path(QStringLiteral("dddPath")));
    if (!writer.write(name, image)) {
        log(2, failSave.arg(reader.readerName, writer.path(), QString::number(writer.errorCode()),
                            writer.errorText()));
        return false;
    }
    log(0, saved.arg(reader.readerName, writer.path()));
    config.setLastDddPath(writer.path());
    // Zeroed only now: the saved file is the one place the count survives.
    reader.resetCalibrationCount();
    return true;
}
