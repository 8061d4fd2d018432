// Stage 3 of the diagnosis: the event and fault records the command check
// read, one row per record, with the types that need attention flagged.

#include "readers/CardReader.h"

#include "card/CardCodeTexts.h"
#include "card/CardFileRecord.h"

#include <QDateTime>

namespace {

// A record list longer than this is cut: the card's counts keep real lists
// far below it.
constexpr int maxRecords = 255;

struct RecordFile
{
    quint16 fid;
    const char *listName;
    const char *typeField;
    const char *beginField;
    const char *endField;
    const char *kind;
    const char *notRead;
    const char *noRecords;
    const char *progressText;
};

const RecordFile eventFile{
    0x0502, "CardEventData", "eventType", "eventBeginTime", "eventEndTime",
    QT_TRANSLATE_NOOP("CardReader", "Событие"),
    "Проверка по событиям не может быть выполненна, так как данные не были загружены.",
    "В карте отсутствуют записи о событиях", "Данные о событиях не загружены"};

const RecordFile faultFile{
    0x0503, "CardFaultData", "faultType", "faultBeginTime", "faultEndTime",
    QT_TRANSLATE_NOOP("CardReader", "Неисправность"),
    "Проверка по неисправностям не может быть выполненна, так как данные не были загружены.",
    "В карте отсутствуют записи о неисправностях", "Данные о неисправностях не загружены"};

bool isFlaggedType(quint8 type)
{
    return type == 0x02 || type == 0x05 || type == 0x06 || (type >= 0x40 && type <= 0x4F);
}

QDateTime epoch()
{
    return QDateTime::fromSecsSinceEpoch(0, Qt::LocalTime);
}

} // namespace

void CardReader::markEventFaultRow(EventFaultRow &row)
{
    row.flagged = isFlaggedType(row.type) ? 1 : 0;
}

void CardReader::checkEventsAndFaults()
{
    nextProgressStep(QStringLiteral("Проверка событий и неисправностей"));
    eventFaultRows.clear();
    addEventFaultRows(true);
    addEventFaultRows(false);
}

void CardReader::addEventFaultRows(bool events)
{
    const RecordFile &file = events ? eventFile : faultFile;
    const QString kind = tr(file.kind);
    CardFileRecord *record = loadedFile(file.fid);
    if (!record) {
        eventFaultRows.append({kind, 0, QString::fromUtf8(file.notRead), epoch(), epoch(), 1});
        setProgressState(3, QString::fromUtf8(file.progressText));
        return;
    }
    record->decode();
    const QVector<QMap<QString, CardDataElement>> records =
        record->recordLists.value(QLatin1String(file.listName)).records;
    if (records.isEmpty()) {
        eventFaultRows.append({kind, 0, QString::fromUtf8(file.noRecords), epoch(), epoch(), 0});
        setProgressState(3, QString::fromUtf8(file.progressText));
        return;
    }
    for (int i = 0; i < records.size() && i < maxRecords; ++i) {
        const QMap<QString, CardDataElement> &fields = records.at(i);
        EventFaultRow row;
        row.kind = kind;
        row.type = quint8(fields.value(QLatin1String(file.typeField)).value.toUInt());
        row.text = CardCodeTexts::eventFaultTypeNames().value(row.type);
        row.begin = fields.value(QLatin1String(file.beginField)).value.toDateTime();
        row.end = fields.value(QLatin1String(file.endField)).value.toDateTime();
        markEventFaultRow(row);
        eventFaultRows.append(row);
    }
}
