#pragma once

#include "readers/CmdCheckRow.h"
#include "readers/DataCheckRow.h"
#include "readers/EventFaultRow.h"

#include <QMap>
#include <QMetaType>
#include <QString>
#include <QVector>

// What the GUI thread may know of one reader: a copy taken in the
// reader-manager thread after each change, never a view into its objects.
// An unknown reader gives a state with an empty name.
struct ReaderState
{
    QString readerName;
    bool cardPresent = false;
    quint8 cardKind = 0;
    quint8 cardType = 0;
    QString cardKindName;
    QString cardTypeName;
    QString cardNumber;
    QString skziNumber;
    // Field key -> display value, the card information view's rows.
    QMap<QString, QString> cardInfo;
    QVector<CmdCheckRow> cmdCheckRows;
    QVector<DataCheckRow> dataCheckRows;
    QVector<EventFaultRow> eventFaultRows;

    bool isKnown() const { return !readerName.isEmpty(); }
};

Q_DECLARE_METATYPE(ReaderState)
