#include "readers/SaveDddFile.h"

#include "config/Config.h"
#include "readers/CardReader.h"
#include "readers/DddFileWriter.h"

namespace {
const QString failSave = QStringLiteral("%1 - Ошибка сохранения ddd-файла. Имя файла: %2. (%3) %4");
const QString saved = QStringLiteral("%1 - Сформированный ddd-файл успешно сохранен: <a href=\"%2\">%2</a>");
} // namespace

DddSaveResult saveDddFile(CardReader &reader, Config &config, const LogLine &log)
{
    // An interrupted read leaves no image: no file and the card untouched.
    if (reader.buildDddImage().isEmpty())
        return DddSaveResult::NotSaved;
    DddFileWriter writer(config.path(QStringLiteral("dddPath")));
    const auto failedFile = [&] {
        log(2, failSave.arg(reader.readerName, writer.path(), QString::number(writer.errorCode()),
                            writer.errorText()));
        return DddSaveResult::NotSaved;
    };
    // The card says it was downloaded only once the file has a place.
    if (!writer.claim(reader.dddFileName()))
        return failedFile();
    CardReader::DownloadStamp stamp;
    stamp.dddFile = writer.path();
    // The reader has logged why.
    if (!reader.stampDownloadDate(&stamp))
        return DddSaveResult::NotSaved;
    const QByteArray image = reader.buildDddImage();
    if (image.isEmpty() || !writer.write(image)) {
        const DddSaveResult result = image.isEmpty() ? DddSaveResult::NotSaved : failedFile();
        if (!stamp.original.isEmpty())
            reader.restoreDownloadDate(stamp);
        return result;
    }
    if (!stamp.original.isEmpty())
        reader.keepDownloadDate();
    log(0, saved.arg(reader.readerName, writer.path()));
    config.setLastDddPath(writer.path());
    // Zeroed only now: the saved file is the one place the count survives.
    return reader.resetCalibrationCount() ? DddSaveResult::Saved : DddSaveResult::SavedCountNotReset;
}
