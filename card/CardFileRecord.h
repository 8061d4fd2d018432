#pragma once

#include "card/CardDataElement.h"
#include "card/CardRecordList.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QVariant>

struct CardFieldLayout;

// One elementary file read from a card, with its fields decoded into named
// elements by the file's layout. Card data is untrusted: decoding never reads
// past `data`, and a field the data does not reach decodes from no bytes.
class CardFileRecord
{
public:
    using ValueDecoder = QVariant (CardFileRecord::*)(QByteArray);

    // Value-type name to decoder.
    static const QMap<QString, ValueDecoder>& valueDecoders();

    // Decodes `data` into `fields` and `recordLists` afresh; always true.
    bool decode();

    QVariant decodeUInt8(QByteArray bytes);
    QVariant decodeUInt16(QByteArray bytes);
    QVariant decodeUInt32(QByteArray bytes);
    QVariant decodeString(QByteArray bytes);
    QVariant decodeHexString(QByteArray bytes);
    QVariant decodeBcd(QByteArray bytes);
    QVariant decodeUnixTime(QByteArray bytes);
    QVariant decodeExtendedSerialNumber(QByteArray bytes);
    QVariant decodeCardEventData(QByteArray bytes);
    QVariant decodeCardFaultData(QByteArray bytes);
    QVariant decodeStringDate(QByteArray bytes);

    // Card text by its code-page byte: 0x01 ISO 8859-1, 0x05 ISO 8859-5,
    // otherwise Windows-1251 over all bytes.
    static QString decodeCodePageString(QByteArray bytes);

    // True for bytes that are all 0x00 or ASCII white space (and for none).
    static bool isBlank(const QByteArray& bytes);
    bool isFieldBlank(const QString& fieldName) const;

    QString name;
    quint8 efIndex = 0;
    quint16 layoutKey = 0;
    QByteArray data;
    quint16 fid = 0;
    quint16 length = 0;
    QByteArray signature;
    quint16 signatureLength = 0;
    quint8 signatureTag = 0;
    QMap<QString, CardDataElement> fields;
    QMap<QString, CardRecordList> recordLists;
    quint16 count = 0; // count from EF 0x0501 that sizes this file; 0 for fixed-size files

private:
    int fieldSize(const CardFieldLayout& field) const;
    bool decodeElement(const CardFieldLayout& field, const QByteArray& bytes, CardDataElement& element);
    QVariant decodeRecordList(const QString& listName, const QByteArray& bytes);
};
