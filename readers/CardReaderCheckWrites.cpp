// The write tests of the command check: EF 0x0509 and EF 0x050E get a test
// value, are read back, and get their original bytes back.

#include "readers/CardReader.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "readers/InterruptShield.h"
#include "readers/PendingRestore.h"
#include "readers/WriteTestValue.h"

#include <QDateTime>

// One of the two writable files: its field and how its value reads.
struct CardWriteTest
{
    QString field;
    bool isTime = false;
};

namespace {

constexpr qint64 calibrationTestValue = 2018;

const QString readStep = QStringLiteral("Считывание данных из %1");
const QString writeStep = QStringLiteral("Запись данных в %1");
const QString readBackStep = QStringLiteral("Считывание записанных данных в %1");
const QString restoreStep = QStringLiteral("Востановление (запись) исходного значения в %1");
const QString readRestoredStep = QStringLiteral("Считывание востановленного значения из %1");
const QString equalText = QStringLiteral("Равно записанному значению.");
const QString differsText = QStringLiteral("Отличается от записанного ранее значения.");
const QString restoreFailedText = QStringLiteral("Не удалось восстановить исходное значение в %1 (EF 0x%2).");
const QString restoreFailedInfo = QStringLiteral(
    "На карте может остаться тестовое значение %1 вместо исходного значения %2. "
    "Проверьте карту, прежде чем выдать ее владельцу.");
const QString restoreFailedLog = QStringLiteral("%1: Не удалось восстановить исходное значение %2 в %3 (EF 0x%4).");
const QString notWrittenText = QStringLiteral("Тестовое значение не записано: %1.");
const QString writingLine = QStringLiteral(
    "%1: Диагностирование карты %2: в %3 записывается тестовое значение %4. Исходное значение: %5.");
const QString restoredLine = QStringLiteral("%1: Исходное значение %2 в %3 карты %4 восстановлено.");

QString valueText(const CardWriteTest &test, qint64 value)
{
    return WriteTestValue::text(test.isTime, value);
}

// A missing field, or a time that is no valid date-time, counts as 0.
qint64 decodedValue(const CardWriteTest &test, CardFileRecord *record)
{
    if (!record)
        return 0;
    record->decode();
    const QVariant value = record->fields.value(test.field).value;
    if (!test.isTime)
        return qint64(value.toUInt());
    const QDateTime time = value.toDateTime();
    return time.isValid() ? time.toSecsSinceEpoch() : 0;
}

QString readText(const CardWriteTest &test, qint64 value, bool equal)
{
    return QStringLiteral("Считанное значение: %1. %2.").arg(valueText(test, value), equal ? equalText : differsText);
}

} // namespace

bool CardReader::testWritableFile(quint8 index, quint16 key)
{
    if (card.currentFid == CardFileId::calibrationsSinceDownload)
        runWriteTest({QStringLiteral("NoOfCalibrationsSinceDownload"), false}, index, key);
    else if (card.currentFid == CardFileId::lastCardDownload)
        runWriteTest({QStringLiteral("LastCardDownload"), true}, index, key);
    else
        return false;
    return true;
}

void CardReader::runWriteTest(const CardWriteTest &test, quint8 index, quint16 key)
{
    const QString name = CardDictionary::efDescriptors().at(index).name;
    const quint16 fid = card.currentFid;
    const auto recordRead = [this, index, key, fid] {
        return card.readCurrentEf(index, key) ? card.readData.value(fid) : nullptr;
    };

    CardFileRecord *record = recordRead();
    if (!record) {
        addCmdCheckRow(readStep.arg(name), QStringLiteral("Не удалось считать данные."), 1);
        return;
    }
    const QByteArray read = record->data;
    // A run ended before its restore left its test value there.
    PendingRestore pending(*this, checkedCardNumber);
    QByteArray original;
    const bool known = pending.ownBytes(fid, read, &original);
    const qint64 initial = decodedValue(test, record);
    addCmdCheckRow(readStep.arg(name), QStringLiteral("Считанное значение: %1.").arg(valueText(test, initial)), 0);
    // What the card holds may be an earlier run's test value.
    if (!known) {
        addCmdCheckRow(writeStep.arg(name), notWrittenText.arg(pending.failure()), 1);
        return;
    }

    const qint64 testValue = test.isTime ? QDateTime::currentSecsSinceEpoch() : calibrationTestValue;
    const QByteArray testBytes = WriteTestValue::toBytes(quint32(testValue), test.isTime ? 4 : 2);
    const QString restored = restoredLine.arg(readerName, pending.valueText(fid, original), pending.fileText(fid),
                                              checkedCardNumber);
    // No word on disk, no write: a run ended after it must leave a trace.
    if (!pending.hold(fid, original, testBytes, PendingRestore::Writer::Diagnosis,
                      writingLine.arg(readerName, checkedCardNumber, pending.fileText(fid),
                                      pending.valueText(fid, testBytes), pending.valueText(fid, original)))) {
        addCmdCheckRow(writeStep.arg(name), notWrittenText.arg(pending.failure()), 1);
        return;
    }
    if (!card.updateBinary(qint32(testValue))) {
        addCmdCheckRow(writeStep.arg(name), QStringLiteral("Не удалось записать данные."), 1);
        // An answer that never came is no refusal: the card may hold the test
        // value. A refused write left what the card held, which may be an
        // earlier run's test value.
        if (!card.answerLost() && read == original)
            pending.withdraw(fid, testBytes);
        else if (putOriginalBack(test, index, key, original, testValue))
            pending.release(fid, restored);
        return;
    }
    addCmdCheckRow(writeStep.arg(name), QStringLiteral("Записанное значение: %1.").arg(valueText(test, testValue)), 0);

    // From here on the card holds the test value: whatever the read-back
    // gives, the original bytes go back.
    record = recordRead();
    if (!record) {
        addCmdCheckRow(readBackStep.arg(name), QStringLiteral("Не удалось считать записанные данные."), 1);
    } else {
        const qint64 read = decodedValue(test, record);
        const bool equal = quint32(read) == quint32(testValue);
        addCmdCheckRow(readBackStep.arg(name), readText(test, read, equal), equal ? 0 : 1);
    }
    if (putOriginalBack(test, index, key, original, testValue))
        pending.release(fid, restored);
}

// The user is told whenever the card's own bytes cannot be confirmed.
bool CardReader::putOriginalBack(const CardWriteTest &test, quint8 index, quint16 key, const QByteArray &original,
                                 qint64 testValue)
{
    if (restoreOriginal(test, index, key, original))
        return true;
    const CardAppLayout &row = CardDictionary::efDescriptors().at(index);
    const QString fidText = QString::number(row.fid, 16).toUpper().rightJustified(4, QLatin1Char('0'));
    const QString originalText = valueText(test, WriteTestValue::fromBytes(original));
    emit logginMessage(2, restoreFailedLog.arg(readerName, originalText, row.name, fidText));
    emit showErrMsg(3, restoreFailedText.arg(row.name, fidText),
                    restoreFailedInfo.arg(valueText(test, testValue), originalText), card.result.toString());
    return false;
}

// The file selected again in a hold of its own, with the PIN the card
// accepted in this operation.
bool CardReader::reopenInNewHold(quint16 fid)
{
    return reconnectWithRows() && selectApplication(card.pinAccepted) && card.selectEF(fid);
}

// Writes the bytes read before the test back and reads them again; false
// when the card did not acknowledge the write or holds other bytes
// afterwards. Runs even after an interruption: the card must not keep the
// test value.
bool CardReader::restoreOriginal(const CardWriteTest &test, quint8 index, quint16 key, const QByteArray &original)
{
    const QString name = CardDictionary::efDescriptors().at(index).name;
    const InterruptShield shield(*this);
    const qint64 initial = WriteTestValue::fromBytes(original);
    const quint16 fid = CardDictionary::efDescriptors().at(index).fid;
    bool written = card.updateBinary(qint32(initial));
    // Another program's second reset ends the operation's hold, not the
    // return of the card's own bytes: they go back in a hold of their own.
    if (!written && resetAgain() && reopenInNewHold(fid))
        written = card.updateBinary(qint32(initial));
    if (!written) {
        addCmdCheckRow(restoreStep.arg(name), QStringLiteral("Не удалось востановить значение."), 1);
        return false;
    }
    addCmdCheckRow(restoreStep.arg(name), QStringLiteral("Записанное значение: %1.").arg(valueText(test, initial)), 0);
    const bool read = card.readCurrentEf(index, key);
    CardFileRecord *record = card.readData.value(card.currentFid);
    if (!read || !record) {
        // The card acknowledged the write; only the check of it failed. The
        // record must not keep the test value a read-back left in it: the
        // card information shows it.
        if (record) {
            record->data = original;
            record->decode();
        }
        addCmdCheckRow(readRestoredStep.arg(name), QStringLiteral("Не удалось считать востановленное значение."), 1);
        return true;
    }
    const bool equal = record->data == original;
    addCmdCheckRow(readRestoredStep.arg(name), readText(test, decodedValue(test, record), equal), equal ? 0 : 1);
    return equal;
}
