#include "tools/readbench/ApduTrace.h"

#include "card/TachographCard.h"
#include "tools/readbench/ResetWatch.h"

namespace {
constexpr quint32 responseSpace = 258;
}

void ApduTrace::record(TachographCard &card)
{
    m_connections.clear();
    m_lastHandle = 0;
    ResetWatch::watch([this](quint64 handle) { connection(handle).append(QByteArray()); });
    card.setTransmitter([this, &card](const QByteArray &apdu, quint8 *response, quint32 *responseLength) {
        connection(card.hCard).append(apdu);
        return Pcsc::SCardTransmit(card.hCard, card.sendPci, reinterpret_cast<const quint8 *>(apdu.constData()),
                                   quint32(apdu.size()), nullptr, response, responseLength);
    });
}

void ApduTrace::stopRecording(TachographCard &card)
{
    ResetWatch::watch({});
    card.setTransmitter({});
}

// Every connect gives a new handle.
QVector<QByteArray> &ApduTrace::connection(Pcsc::SCARDHANDLE handle)
{
    if (m_connections.isEmpty() || handle != m_lastHandle)
        m_connections.append(QVector<QByteArray>());
    m_lastHandle = handle;
    return m_connections.last();
}

int ApduTrace::apduCount() const
{
    int count = 0;
    for (const QVector<QByteArray> &apdus : m_connections)
        count += apdus.size() - int(apdus.count(QByteArray()));
    return count;
}

bool ApduTrace::replay(Pcsc::SCARDCONTEXT context, const QString &reader, QString *error) const
{
    bool first = true;
    for (const QVector<QByteArray> &apdus : m_connections) {
        Pcsc::SCARDHANDLE handle = 0;
        quint32 protocol = 0;
        qint32 rc = Pcsc::SCardConnectW(context, reader, Pcsc::SCARD_SHARE_SHARED,
                                        Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, &handle, &protocol);
        // The card reader's hold: the transaction.
        if (rc == 0)
            rc = Pcsc::SCardBeginTransaction(handle);
        if (rc != 0) {
            *error = QStringLiteral("connect failed: 0x%1").arg(quint32(rc), 8, 16, QLatin1Char('0'));
            return false;
        }
        if (first) {
            QString name;
            quint32 state = 0;
            quint8 atr[Pcsc::MAX_ATR_SIZE] = {};
            quint32 atrLength = sizeof atr;
            Pcsc::SCardStatusW(handle, &name, &state, &protocol, atr, &atrLength);
            first = false;
        }
        const Pcsc::SCARD_IO_REQUEST *pci =
            protocol == Pcsc::SCARD_PROTOCOL_T0 ? Pcsc::g_rgSCardT0Pci : Pcsc::g_rgSCardT1Pci;
        for (const QByteArray &apdu : apdus) {
            if (apdu.isEmpty()) {
                rc = Pcsc::SCardReconnect(handle, Pcsc::SCARD_SHARE_SHARED,
                                          Pcsc::SCARD_PROTOCOL_T0 | Pcsc::SCARD_PROTOCOL_T1, Pcsc::SCARD_RESET_CARD,
                                          &protocol);
                continue;
            }
            quint8 response[responseSpace];
            quint32 length = sizeof response;
            rc = Pcsc::SCardTransmit(handle, pci, reinterpret_cast<const quint8 *>(apdu.constData()),
                                     quint32(apdu.size()), nullptr, response, &length);
            if (rc != 0 || length < 2) {
                *error = QStringLiteral("transmit failed: 0x%1").arg(quint32(rc), 8, 16, QLatin1Char('0'));
                Pcsc::SCardDisconnect(handle, Pcsc::SCARD_RESET_CARD);
                return false;
            }
        }
        Pcsc::SCardEndTransaction(handle, Pcsc::SCARD_RESET_CARD);
        Pcsc::SCardDisconnect(handle, Pcsc::SCARD_LEAVE_CARD);
    }
    return true;
}
