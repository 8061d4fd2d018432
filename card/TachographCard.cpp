#include "card/TachographCard.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/CardStateTexts.h"

#include <cstring>

namespace {

const QString failStatus = QStringLiteral("%1: Не удалось определить статус карты тахографа. %2");
const QString unknownState =
    QStringLiteral("Неизвестный статус. Обратитесь в службу технической поддержки.");

} // namespace

TachographCard::TachographCard(QObject *parent) : QObject(parent)
{
}

TachographCard::~TachographCard()
{
    clearReadData();
}

void TachographCard::setTransmitter(Transmitter transmitter)
{
    m_transmitter = std::move(transmitter);
}

void TachographCard::on_InterruptAllOperation()
{
    interrupted = true;
}

qint32 TachographCard::transmit(const QByteArray &apdu, quint8 *response, quint32 *responseLength)
{
    if (m_transmitter)
        return m_transmitter(apdu, response, responseLength);
    return Pcsc::SCardTransmit(hCard, sendPci, reinterpret_cast<const quint8 *>(apdu.constData()),
                               quint32(apdu.size()), nullptr, response, responseLength);
}

bool TachographCard::send(const QByteArray &apdu, quint8 kind, int responseSize, const QString &failure,
                          QByteArray *data)
{
    if (isInterrupted())
        return false;
    QByteArray response(responseSize, '\0');
    quint32 received = quint32(responseSize);
    const qint32 code = transmit(apdu, reinterpret_cast<quint8 *>(response.data()), &received);
    received = qMin(received, quint32(responseSize));
    // Without two bytes there is no status word: a failure whatever the code says.
    quint16 sw = 0;
    if (received >= 2)
        sw = quint16((quint8(response.at(int(received) - 2)) << 8) | quint8(response.at(int(received) - 1)));
    result.setResult(code, kind, sw);
    if (code != 0 || sw != 0x9000) {
        emit logginMessage(2, failure.arg(result.toString()));
        return false;
    }
    if (data)
        *data = response.left(int(received) - 2);
    return true;
}

bool TachographCard::updateCardStatus()
{
    result.reset();
    atrLength = sizeof atr;
    if (isInterrupted()) {
        atrLength = 0;
        return false;
    }
    QString name;
    result.setScardResult(Pcsc::SCardStatusW(hCard, &name, &cardState, &activeProtocol, atr, &atrLength));
    if (result.maxLevel() == 0)
        return true;
    emit logginMessage(2, failStatus.arg(readerName).arg(result.toString()));
    atrLength = 0;
    return false;
}

QString TachographCard::cardStateText() const
{
    const QString digits = QString::number(cardState, 16).toUpper();
    const QString prefix = QStringLiteral("0x") + QString(qMax(0, 4 - digits.size()), QLatin1Char('0'));
    QString text = findCardStateText(cardState);
    if (text.isEmpty())
        text = unknownState;
    return QStringLiteral("(%1%2) %3").arg(prefix, digits, text);
}

QString TachographCard::atrHex() const
{
    const int used = int(qMin(atrLength, quint32(sizeof atr)));
    return QByteArray(reinterpret_cast<const char *>(atr), used).toHex().toUpper();
}

void TachographCard::clearReadData()
{
    qDeleteAll(readData);
    readData.clear();
}

void TachographCard::reset()
{
    pin.clear();
    hCard = 0;
    activeProtocol = 0;
    cardState = 0;
    sendPci = nullptr;
    currentFid = 0;
    cardKind = 0;
    cardType = 0;
    dfSelected = false;
    result.reset();
    std::memset(atr, 0, sizeof atr);
    atrLength = 0;
    clearReadData();
}

QString TachographCard::fileName(quint16 fid)
{
    for (const CardAppLayout &row : CardDictionary::efDescriptors()) {
        if (row.fid == fid)
            return row.name;
    }
    return QString();
}

CardFileRecord *TachographCard::recordOf(quint16 fid)
{
    CardFileRecord *&record = readData[fid];
    if (!record) {
        record = new CardFileRecord;
        record->fid = fid;
    }
    return record;
}
