#include "card/CardDictionary.h"

#include "card/CardAppLayout.h"
#include "card/CardKindParams.h"

namespace CardDictionary {

const QMap<quint8, QString>& cardKindNames()
{
    static const QMap<quint8, QString>& names = *new QMap<quint8, QString>{
        {0, QStringLiteral("Неопределенный")},
        {1, QStringLiteral("РФСКЗИ")},
        {2, QStringLiteral("ЕСТР")},
        {3, QStringLiteral("РФ")},
    };
    return names;
}

const QMap<quint8, QString>& cardTypeNames()
{
    static const QMap<quint8, QString>& names = *new QMap<quint8, QString>{
        {0, QStringLiteral("Неопределенный")},
        {1, QStringLiteral("Карта водителя")},
        {2, QStringLiteral("Карта мастерской")},
        {3, QStringLiteral("Карта контролера")},
        {4, QStringLiteral("Карта предприятия")},
    };
    return names;
}

const QMap<quint8, CardKindParams>& cardKindParams()
{
    static const QMap<quint8, CardKindParams>& params = *new QMap<quint8, CardKindParams>{
        {1, {0x81, 0x00, 0x40}},
        {2, {0x01, 0x00, 0x80}},
        {3, {0x01, 0x00, 0x80}},
    };
    return params;
}

const QMap<QString, QVector<CardFieldLayout>>& recordLayouts()
{
    static const QMap<QString, QVector<CardFieldLayout>>& layouts = *new QMap<QString, QVector<CardFieldLayout>>{
        {QStringLiteral("CardEventData"),
         {
             {QStringLiteral("eventType"), 1, 1, QStringLiteral("UInt8")},
             {QStringLiteral("eventBeginTime"), 4, 4, QStringLiteral("UnixDateTimeUTC")},
             {QStringLiteral("eventEndTime"), 4, 4, QStringLiteral("UnixDateTimeUTC")},
             {QStringLiteral("vehicleRegistrationNation"), 1, 1, QStringLiteral("UInt8")},
             {QStringLiteral("vehicleRegistrationNumber"), 14, 14, QStringLiteral("String")},
         }},
        {QStringLiteral("CardFaultData"),
         {
             {QStringLiteral("faultType"), 1, 1, QStringLiteral("UInt8")},
             {QStringLiteral("faultBeginTime"), 4, 4, QStringLiteral("UnixDateTimeUTC")},
             {QStringLiteral("faultEndTime"), 4, 4, QStringLiteral("UnixDateTimeUTC")},
             {QStringLiteral("faultRegistrationNation"), 1, 1, QStringLiteral("UInt8")},
             {QStringLiteral("faultRegistrationNumber"), 14, 14, QStringLiteral("String")},
         }},
    };
    return layouts;
}

const QVector<quint16>& dddFileOrder()
{
    static const QVector<quint16>& order = *new QVector<quint16>{
        0x0002, 0x0005, 0x0501,
        0xC100, 0xC108, 0xC200, 0xC201, 0xC203, 0xC204, 0xC205, 0xC206, 0xC207, 0xC208,
        0x0520, 0x050C, 0x050D, 0x050E, 0x0521, 0x0509, 0x050A, 0x050B,
        0x0502, 0x0503, 0x0504, 0x0505, 0x0506, 0x0507, 0x0508, 0x0522,
    };
    return order;
}

quint16 variantKey(quint8 cardKind, quint8 cardType)
{
    return quint16((cardKind << 8) | cardType);
}

bool layoutKey(const CardAppLayout& row, quint8 cardKind, quint8 cardType, quint16& key)
{
    // No row has both a kind-only and a type-only key, so the two middle
    // steps never compete.
    const quint16 candidates[] = {
        variantKey(cardKind, cardType),
        variantKey(cardKind, 0),
        variantKey(0, cardType),
        0,
    };
    for (const quint16 candidate : candidates) {
        if (row.layouts.contains(candidate)) {
            key = candidate;
            return true;
        }
    }
    return false;
}

bool findFileEntry(quint16 fid, quint8 cardKind, quint8 cardType, quint8& index, quint16& key)
{
    const QVector<CardAppLayout>& rows = efDescriptors();
    for (int i = 0; i < rows.size(); ++i) {
        if (rows.at(i).fid == fid && layoutKey(rows.at(i), cardKind, cardType, key)) {
            index = quint8(i);
            return true;
        }
    }
    return false;
}

CardFileLayout fileLayout(quint8 efIndex, quint16 key)
{
    return efDescriptors().value(efIndex).layouts.value(key);
}

} // namespace CardDictionary

namespace {

// Built before main() and never destroyed: the worker threads read the tables
// up to the end of the process, also while an exit() destroys static objects.
[[maybe_unused]] const bool tablesBuilt =
    (CardDictionary::cardKindNames(), CardDictionary::cardTypeNames(), CardDictionary::cardKindParams(),
     CardDictionary::recordLayouts(), CardDictionary::dddFileOrder(), true);

} // namespace
