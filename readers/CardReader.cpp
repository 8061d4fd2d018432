#include "readers/CardReader.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "card/StatusWordTexts.h"
#include "platform/Pcsc.h"
#include "readers/CardTransaction.h"

namespace {

constexpr quint16 cardNumberOffset = 1;
constexpr quint16 cardNumberSize = 16;
constexpr quint16 authorityOffset = 17;
constexpr quint16 authoritySize = 36;
constexpr char nationalSeriesMark = '1';

const QString connecting = QStringLiteral("%1: Подключение к карте тахографа ...");
const QString heldElsewhereLine = QStringLiteral(
    "%1: Не удалось подключиться к карте: она занята другой программой. Дождитесь, когда программа освободит "
    "карту, и повторите операцию.");
const QString waitingForCard = QStringLiteral("Карта занята другой программой, ожидание…");
const QString failDisconnect = QStringLiteral("%1: Не удалось отключиться от карты тахографа. %2");
const QString failReset = QStringLiteral("%1: Не удалось выполнить сброс карты тахографа. %2");
const QString failKind = QStringLiteral("%1: Не удалось определить вид карты тахогарфа.");
const QString kindFound = QStringLiteral("%1: Вид карты тахогарфа: %2.");
const QString failType = QStringLiteral("%1: Не удалось определить тип карты тахогарфа.");
const QString typeFound = QStringLiteral("%1: Тип карты тахографа: %2.");
const QString failGeneral = QStringLiteral("%1: Не удалось считать общие сведения о карте тахографа.");
const QString generalReadSkzi = QStringLiteral("%1: Считаны общие сведения с карты: %2 / %3.");
const QString generalRead = QStringLiteral("%1: Считаны общие сведения с карты: %2.");

const QByteArray nationalAuthority = QByteArrayLiteral("RUSAUTOCARD");

QVector<quint16> generalInfoFiles(quint8 cardType)
{
    using namespace CardFileId;
    switch (cardType) {
    case 1: return {icc, ic, applicationIdentification, identification, lastCardDownload, drivingLicence};
    case 2: return {icc, ic, applicationIdentification, identification, calibrationsSinceDownload};
    case 3:
    case 4: return {icc, ic, applicationIdentification, identification};
    default: return {};
    }
}

bool liesInApplication(quint16 fid)
{
    for (const CardAppLayout &row : CardDictionary::efDescriptors()) {
        if (row.fid == fid)
            return row.inTachoDF;
    }
    return false;
}

bool isAsciiSpace(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

QByteArray trimmedAscii(const QByteArray &bytes)
{
    int begin = 0;
    int end = bytes.size();
    while (begin < end && isAsciiSpace(bytes.at(begin)))
        ++begin;
    while (end > begin && isAsciiSpace(bytes.at(end - 1)))
        --end;
    return bytes.mid(begin, end - begin);
}

// Upper case by Latin-1 rules; letters whose capital lies outside Latin-1
// stay as they are, so the byte count never changes.
QByteArray latin1Upper(const QByteArray &bytes)
{
    QByteArray upper = bytes;
    for (char &c : upper) {
        const QChar capital = QChar(QLatin1Char(c)).toUpper();
        if (capital.unicode() <= 0xFF)
            c = char(capital.unicode());
    }
    return upper;
}

} // namespace

CardReader::CardReader(const QString &readerName, quint64 context, QObject *parent)
    : QObject(parent), context(context), readerName(readerName)
{
    card.onResetByOther = [this](quint8 kind) { return startOverAfterReset(kind); };
}

CardReader::~CardReader() = default;

QString CardReader::connectFailureText(const QString &other) const
{
    if (m_heldElsewhere)
        return QStringLiteral("Карта занята другой программой");
    if (m_swapped)
        return QStringLiteral("Карта была заменена");
    return m_resetAgain ? QStringLiteral("Карта была сброшена другой программой") : other;
}

void CardReader::startWork()
{
    m_startedOver = false;
    m_resetAgain = false;
    m_swapped = false;
    m_chosen.reset();
    card.pinAccepted = false;
}

void CardReader::chooseCard(const ChosenCard &chosen)
{
    m_chosen = chosen;
}

void CardReader::on_InterruptAllOperation()
{
    interrupted = true;
}

bool CardReader::scardConnect()
{
    emit logginMessage(0, connecting.arg(readerName));
    pcscResult.reset();
    m_heldElsewhere = false;
    // A stretch never outlives the next connect.
    dropHold();
    // A second reset by another program ends the operation, but not the
    // stretch that puts the card's own bytes back (see InterruptShield).
    const bool puttingBack = ignoresInterrupt;
    if ((interrupted && !puttingBack) || !context || (m_resetAgain && !puttingBack))
        return false;
    CardTransaction::Wait wait;
    wait.cancelled = [this] { return interrupted && !ignoresInterrupt; };
    wait.waiting = [this] { showProgress(waitingForCard); };
    wait.mayStartOver = !m_startedOver;
    auto hold = std::make_unique<CardTransaction>(readerName, wait);
    m_heldElsewhere = hold->outcome() == CardTransaction::Outcome::HeldElsewhere;
    if (hold->outcome() == CardTransaction::Outcome::ResetAgain)
        m_resetAgain = true;
    if (hold->outcome() != CardTransaction::Outcome::Held)
        return false;
    m_startedOver = m_startedOver || hold->startedOver();
    card.hCard = hold->handle();
    useProtocol(hold->protocol());
    m_hold = std::move(hold);
    if (returnToMasterFile())
        return true;
    dropHold();
    return false;
}

bool CardReader::connectCard()
{
    const bool connected = scardConnect();
    if (m_heldElsewhere)
        emit logginMessage(2, heldElsewhereLine.arg(readerName));
    return connected;
}

void CardReader::useProtocol(quint32 protocol)
{
    card.activeProtocol = protocol;
    if (protocol == Pcsc::SCARD_PROTOCOL_T0)
        card.sendPci = Pcsc::g_rgSCardT0Pci;
    else if (protocol == Pcsc::SCARD_PROTOCOL_T1)
        card.sendPci = Pcsc::g_rgSCardT1Pci;
}

// Lets the card go; the hold's end resets it.
void CardReader::dropHold()
{
    m_hold.reset();
    card.hCard = 0;
    card.dfSelected = false;
    card.currentFid = 0;
}

// Made in our hold, the card stays ours: no other program's command comes
// in between.
bool CardReader::resetInHold()
{
    card.dfSelected = false;
    card.currentFid = 0;
    const qint32 rc = m_hold ? m_hold->reset() : Pcsc::SCARD_E_INVALID_HANDLE;
    if (rc == Pcsc::SCARD_S_SUCCESS) {
        useProtocol(m_hold->protocol());
        return true;
    }
    // Told as a failed command is: the card's own result carries the reason.
    card.result.reset();
    card.result.setScardResult(rc);
    emit logginMessage(2, failReset.arg(readerName, card.result.scardText()));
    return false;
}

bool CardReader::disconnectCard()
{
    card.dfSelected = false;
    pcscResult.setScardResult(m_hold ? m_hold->end() : Pcsc::SCARD_E_INVALID_HANDLE);
    m_hold.reset();
    if (pcscResult.maxLevel() == 0)
        return true;
    emit logginMessage(1, failDisconnect.arg(readerName, pcscResult.scardText()));
    return false;
}

// Another program's reset threw away our selection and PIN: the card is
// taken back, proven and set up again, once per operation. A reset met
// again, then or later, ends the operation.
bool CardReader::startOverAfterReset(quint8 kind)
{
    if (m_startedOver) {
        m_resetAgain = true;
        return false;
    }
    const bool inApplication = card.dfSelected;
    const quint16 fid = card.currentFid;
    if (!m_hold || !m_hold->takeBack())
        return false;
    m_startedOver = true;
    if (returnToMasterFile() && setUpAgain(kind, inApplication, fid))
        return true;
    if (card.result.scardCode() == Pcsc::SCARD_W_RESET_CARD)
        m_resetAgain = true;
    return false;
}

// Only what the card had accepted, where the stretch stood: the
// application, a PIN it accepted in this operation (a refused one would
// spend another try), and the selected file (a master-file EF is not in the
// application).
bool CardReader::setUpAgain(quint8 kind, bool inApplication, quint16 fid)
{
    if (inApplication && !selectApplication(card.pinAccepted))
        return false;
    if (fid != 0 && liesInApplication(fid) == inApplication && !card.selectEF(fid))
        return false;
    // The reset lost the card's hash of the file as well.
    return kind != ApduKind::Signature || card.performHash();
}

bool CardReader::detectCardKind()
{
    card.cardKind = 0;
    const auto fail = [this] {
        emit logginMessage(2, failKind.arg(readerName));
        return false;
    };
    if (!card.dfSelected && !card.selectDF())
        return fail();
    if (card.selectEF(CardFileId::cardCertificateGost) && card.selectEF(CardFileId::caCertificateGost)) {
        card.cardKind = 1;
    } else if (card.selectEF(CardFileId::cardCertificate) && card.selectEF(CardFileId::caCertificate)) {
        bool russian = false;
        if (!readsRussianAuthority(russian))
            return fail();
        card.cardKind = russian ? 3 : 2;
    }
    emit logginMessage(0, kindFound.arg(readerName, card.cardKindName()));
    return true;
}

// National cards carry '1' as the fourth character of the card number and
// the national authority as issuer; only those numbers need the name.
bool CardReader::readsRussianAuthority(bool &russian)
{
    russian = false;
    QByteArray number;
    if (!card.selectEF(CardFileId::identification) || !card.readBinary(cardNumberOffset, cardNumberSize, &number))
        return false;
    if (number.size() <= 3 || number.at(3) != nationalSeriesMark)
        return true;
    QByteArray authority;
    if (!card.readBinary(authorityOffset, authoritySize, &authority))
        return false;
    russian = latin1Upper(trimmedAscii(authority.mid(1))) == nationalAuthority;
    return true;
}

bool CardReader::detectCardType()
{
    card.cardType = 0;
    QByteArray type;
    if ((!card.dfSelected && !card.selectDF()) || !card.selectEF(CardFileId::applicationIdentification)
        || !card.readBinary(0, 1, &type) || type.isEmpty()) {
        emit logginMessage(2, failType.arg(readerName));
        return false;
    }
    card.cardType = quint8(type.at(0));
    emit logginMessage(0, typeFound.arg(readerName, card.cardTypeName()));
    return true;
}

bool CardReader::findFileEntry(quint16 fid, quint8 &index, quint16 &key) const
{
    return CardDictionary::findFileEntry(fid, card.cardKind, card.cardType, index, key);
}

bool CardReader::readFileById(quint16 fid)
{
    quint8 index = 0;
    quint16 key = 0;
    if (!findFileEntry(fid, index, key))
        return false;
    if (CardDictionary::efDescriptors().at(index).inTachoDF) {
        if (!card.dfSelected && !card.selectDF())
            return false;
    } else if (card.dfSelected && !returnToMasterFile()) {
        return false;
    }
    if (!card.selectEF(fid) || !card.readCurrentEf(index, key))
        return false;
    CardFileRecord *record = card.readData.value(fid);
    return record && record->decode();
}

bool CardReader::readGeneralInfo()
{
    card.reset();
    m_identified = ChosenCard();
    // An operation for a card whose number was never read is for the card
    // identified here.
    const bool adopts = m_chosen && m_chosen->number.isEmpty();
    if (adopts)
        m_chosen.reset();
    const bool identified = connectCard() && identifyHeldCard();
    if (adopts)
        m_chosen = m_identified;
    return identified;
}

bool CardReader::identifyHeldCard()
{
    const auto end = [this](bool identified) {
        recordIdentity();
        disconnectCard();
        return identified;
    };
    if (!card.updateCardStatus() || !detectCardKind() || !detectCardType())
        return end(false);
    for (const quint16 fid : generalInfoFiles(card.cardType)) {
        if (!readFileById(fid)) {
            end(false);
            emit logginMessage(2, failGeneral.arg(readerName));
            return false;
        }
    }
    end(true);
    if (card.cardKind == 1)
        emit logginMessage(0, generalReadSkzi.arg(readerName, card.cardNumber(), card.skziNumber()));
    else
        emit logginMessage(0, generalRead.arg(readerName, card.cardNumber()));
    return true;
}

QMap<quint16, CardFileRecord> CardReader::keepGeneralInfo() const
{
    QMap<quint16, CardFileRecord> kept;
    for (const quint16 fid : generalInfoFiles(card.cardType)) {
        if (const CardFileRecord *record = card.readData.value(fid))
            kept.insert(fid, *record);
    }
    return kept;
}

void CardReader::restoreGeneralInfo(const QMap<quint16, CardFileRecord> &kept)
{
    for (auto it = kept.cbegin(); it != kept.cend(); ++it) {
        CardFileRecord *&record = card.readData[it.key()];
        // A file read again whole has its own size; a cut one does not.
        if (record && record->data.size() == it.value().data.size())
            continue;
        delete record;
        record = new CardFileRecord(it.value());
    }
}

void CardReader::updateCardInfo()
{
    for (const quint16 fid : generalInfoFiles(card.cardType)) {
        if (CardFileRecord *record = card.readData.value(fid))
            record->decode();
    }
}
