#include "card/TachographCard.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileRecord.h"
#include "card/CardStateTexts.h"
#include "card/StatusWordTexts.h"

#include <QMetaMethod>

#include <cstring>

namespace {

// The most room any command gives its answer.
constexpr int maxResponse = 257;

const QString failStatus = QStringLiteral("%1: Не удалось определить статус карты тахографа. %2");
const QString unknownState =
    QStringLiteral("Неизвестный статус. Обратитесь в службу технической поддержки.");

// Whether PC/SC gives `code` only for a command it did not send.
bool refusedBeforeSending(qint32 code)
{
    // pcsc-lite checks these before the command goes to the reader; every
    // other failure may come after the card acted (a card pulled during the
    // command shows as SCARD_E_NO_SMARTCARD or SCARD_W_REMOVED_CARD).
    switch (code) {
    case Pcsc::SCARD_W_RESET_CARD:
    case Pcsc::SCARD_E_SHARING_VIOLATION:
    case Pcsc::SCARD_E_INVALID_HANDLE:
    case Pcsc::SCARD_E_INVALID_PARAMETER:
    case Pcsc::SCARD_E_INVALID_VALUE:
    case Pcsc::SCARD_E_PROTO_MISMATCH:
    // The service gone: pcscd reads a request whole before it transmits it
    // and never answers with these. The client library gives
    // SCARD_E_NO_SERVICE only when a write of the request fails, and
    // SCARD_W_SECURITY_VIOLATION only when pcscd closed its end with bytes of
    // the request unread (ECONNRESET). A pcscd gone while the card works on
    // the command gives SCARD_F_COMM_ERROR.
    case Pcsc::SCARD_E_NO_SERVICE:
    case Pcsc::SCARD_W_SECURITY_VIOLATION:
        return true;
    default:
        return false;
    }
}

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

bool TachographCard::send(const QByteArray &apdu, quint8 kind, int responseSize, const FailureText &failure,
                          QByteArray *data)
{
    m_answerLost = false;
    m_notSent = false;
    if (isInterrupted())
        return false;
    // Zeroed, in case a transmitter reports more bytes than it wrote.
    quint8 response[maxResponse] = {};
    const quint32 space = quint32(qBound(0, responseSize, maxResponse));
    quint32 received = space;
    qint32 code = transmit(apdu, response, &received);
    // A reset met again after the start-over goes to the owner too: it ends
    // the operation.
    while (code == Pcsc::SCARD_W_RESET_CARD && onResetByOther && !m_startingOver) {
        m_startingOver = true;
        const bool again = onResetByOther(kind);
        m_startingOver = false;
        if (!again)
            break;
        received = space;
        code = transmit(apdu, response, &received);
    }
    received = qMin(received, space);
    m_notSent = refusedBeforeSending(code);
    // A reader driver may report a card that left before answering as a
    // success without a byte.
    m_answerLost = !m_notSent && (code != 0 || received < 2);
    // Without two bytes there is no status word: a failure whatever the code says.
    quint16 sw = 0;
    if (received >= 2)
        sw = quint16((response[received - 2] << 8) | response[received - 1]);
    result.setResult(code, kind, sw);
    if (code != 0 || sw != 0x9000) {
        emit logginMessage(2, failure().arg(result.toString()));
        return false;
    }
    if (data)
        *data = QByteArray(reinterpret_cast<const char *>(response), int(received) - 2);
    return true;
}

bool TachographCard::send(const QByteArray &apdu, quint8 kind, int responseSize, const QString &failure,
                          QByteArray *data)
{
    return send(apdu, kind, responseSize, FailureText([&failure] { return failure; }), data);
}

bool TachographCard::progressWatched() const
{
    static const QMetaMethod progress = QMetaMethod::fromSignal(&TachographCard::pogressMessage);
    return isSignalConnected(progress);
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
    pin.wipe();
    pinAccepted = false;
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
