#pragma once

#include <QMap>
#include <QString>
#include <QVector>

struct CardAppLayout;
struct CardFieldLayout;
struct CardFileLayout;
struct CardKindParams;

// The constant knowledge of a tachograph card: which files a card variant
// carries, their layouts, and the names and signature parameters of card
// kinds. Each table is built once and never changes, so any thread may read it.
namespace CardDictionary {

const QMap<quint8, QString>& cardKindNames();
const QMap<quint8, QString>& cardTypeNames();
const QMap<quint8, CardKindParams>& cardKindParams();

// The 28 elementary files, in the order a whole card is read.
const QVector<CardAppLayout>& efDescriptors();

// Field layouts of the 24-byte records of "CardEventData" and "CardFaultData".
const QMap<QString, QVector<CardFieldLayout>>& recordLayouts();

// Order of the files in a .ddd image.
const QVector<quint16>& dddFileOrder();

// (kind << 8) + type; a zero byte stands for any kind or any type.
quint16 variantKey(quint8 cardKind, quint8 cardType);

// The key of `row` that describes the file for this card: the exact key,
// then kind only, then type only, then 0. False when the card does not
// carry the file.
bool layoutKey(const CardAppLayout& row, quint8 cardKind, quint8 cardType, quint16& key);

// Row index and layout key of file `fid` for this card; false when the card
// does not carry it.
bool findFileEntry(quint16 fid, quint8 cardKind, quint8 cardType, quint8& index, quint16& key);

// Layout of row `efIndex` under `key`; an empty layout when either is unknown.
CardFileLayout fileLayout(quint8 efIndex, quint16 key);

} // namespace CardDictionary
