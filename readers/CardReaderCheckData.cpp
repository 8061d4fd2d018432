// Stage 2 of the diagnosis: what the command check read is tested for
// consistency, one row per test. The attribute tests are in
// CardReaderCheckAttributes.cpp.

#include "readers/CardReader.h"

#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"

#include <QDateTime>

namespace {

constexpr quint16 currentUsage = 0x0507;

const QString noData = QStringLiteral("Данные отсутствуют");
const QString notLoaded = QStringLiteral("Проверка данных не может быть выполненна, так как они не были загружены.");

struct UsageCheck
{
    quint16 fid;
    const char *control;
    const char *blankMessage;
};

const UsageCheck driverActivity{
    0x0504, QT_TRANSLATE_NOOP("CardReader", "Контроль наличия сведений о деятельнсоти водителя"),
    QT_TRANSLATE_NOOP("CardReader", "В карте отсутствуют данные о деятельности водителя.")};
const UsageCheck vehiclesUsed{
    0x0505, QT_TRANSLATE_NOOP("CardReader", "Контроль наличия сведений об эксплуатации ТС"),
    QT_TRANSLATE_NOOP("CardReader", "В карте отсутствуют данные об эксплуатации транспортных средств.")};
const UsageCheck places{
    0x0506, QT_TRANSLATE_NOOP("CardReader", "Контроль наличия сведений о территориях (местах)"),
    QT_TRANSLATE_NOOP("CardReader", "В карте отсутствуют данные о территориях (местах).")};
const UsageCheck calibrations{
    0x050A, QT_TRANSLATE_NOOP("CardReader", "Контроль наличия сведений о калибровках"),
    QT_TRANSLATE_NOOP("CardReader", "В карте отсутствуют данные о калибровках.")};
const char *const controlsControl =
    QT_TRANSLATE_NOOP("CardReader", "Контроль наличия сведений о выполненных контролях");
const char *const controlsMessage =
    QT_TRANSLATE_NOOP("CardReader", "В карте отсутствуют данные о выполненных контролях.");

QVector<UsageCheck> usageChecks(quint8 cardType)
{
    switch (cardType) {
    case 1: return {driverActivity, vehiclesUsed, places};
    case 2: return {calibrations, driverActivity, vehiclesUsed, places};
    case 3: return {{0x050C, controlsControl, controlsMessage}};
    case 4: return {{0x050D, controlsControl, controlsMessage}};
    default: return {};
    }
}

} // namespace

// The record of a file the command check read, also when the card counts
// it empty. Only the read names a record: a signature computed over a file
// whose read failed leaves a nameless one, which is not loaded.
CardFileRecord *CardReader::loadedFile(quint16 fid) const
{
    CardFileRecord *record = card.readData.value(fid);
    return record && !record->name.isEmpty() ? record : nullptr;
}

void CardReader::addDataCheckRow(const QString &control, const QString &value, const QString &message, quint8 failed)
{
    const QString time = QDateTime::currentDateTime().toString(QStringLiteral("dd.MM.yyyy hh:mm:ss"));
    dataCheckRows.append({control, value, time, failed, message});
}

void CardReader::diagnoseCardData()
{
    nextProgressStep(QStringLiteral("Диагностика данных карты"));
    dataCheckRows.clear();
    if (CardFileRecord *identification = loadedFile(CardFileId::identification)) {
        identification->decode();
        checkIdentification();
        checkIssueDates();
        checkValidityPeriod();
        checkValidityBegin();
        checkExpiry();
        checkBirthDate();
    } else {
        addDataCheckRow(QString(), noData, notLoaded, 1);
        setProgressState(3, QStringLiteral("Диагностика данных EF 0x0520 не выполнена"));
    }
    if (card.cardType == 1 || card.cardType == 2) {
        if (CardFileRecord *usage = loadedFile(currentUsage)) {
            usage->decode();
            checkSessionClosure();
        } else {
            addDataCheckRow(QString(), noData, notLoaded, 0);
            setProgressState(2, QStringLiteral("Диагностика данных EF 0x0507 не выполнена"));
        }
    }
    showProgress(QStringLiteral("Проверка использования карты"));
    QVector<quint16> fids;
    QStringList controls;
    QStringList messages;
    for (const UsageCheck &check : usageChecks(card.cardType)) {
        fids << check.fid;
        controls << tr(check.control);
        messages << tr(check.blankMessage);
    }
    if (!fids.isEmpty())
        checkDataPresence(fids, controls, messages);
}

void CardReader::checkDataPresence(const QVector<quint16> &fids, const QStringList &controls,
                                   const QStringList &messages)
{
    for (int i = 0; i < fids.size(); ++i) {
        const CardFileRecord *record = loadedFile(fids.at(i));
        if (!record) {
            addDataCheckRow(controls.value(i), QStringLiteral("Данные не доступны"),
                            QStringLiteral("Проверка не может быть выполнена, так как не были загружены данные с "
                                           "карты тахографа."),
                            1);
            setProgressState(3, QStringLiteral("Не загружены данные об использовании"));
        } else if (CardFileRecord::isBlank(record->data)) {
            addDataCheckRow(controls.value(i), noData, messages.value(i), 1);
        } else {
            addDataCheckRow(controls.value(i), QStringLiteral("Данные присутствуют"), QString(), 0);
        }
    }
}
