#pragma once

#include "platform/Pcsc.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class TachographCard;

// The APDUs a card object sent and the resets of the card, one list per card
// connection, and their replay through nothing but the PC/SC layer. An empty
// entry stands for a reset of the card inside the connection's hold.
class ApduTrace
{
public:
    // Records every APDU `card` sends from now on, passing it to PC/SC.
    void record(TachographCard &card);
    static void stopRecording(TachographCard &card);

    int apduCount() const;
    int connectionCount() const { return m_connections.size(); }

    // Connects, holds the card as the card reader does (its transaction),
    // sends and resets, ends the hold with a reset, connection by connection
    // (including the reader's status query on the first connection). False
    // with `error` set on any failed call.
    bool replay(Pcsc::SCARDCONTEXT context, const QString &reader, QString *error) const;

private:
    // The list of the connection `handle` belongs to.
    QVector<QByteArray> &connection(Pcsc::SCARDHANDLE handle);

    QVector<QVector<QByteArray>> m_connections;
    Pcsc::SCARDHANDLE m_lastHandle = 0;
};
