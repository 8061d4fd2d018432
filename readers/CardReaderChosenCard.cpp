// The card an operation is for, proven by its own bytes in each of its
// holds, before anything else reaches the card and again after every
// reset, so that nothing meant for it reaches another card.

#include "readers/CardReader.h"

#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"

#include <utility>

namespace {

constexpr quint16 cardNumberOffset = 1;
constexpr quint16 cardNumberSize = 16;

const QString swappedLine = QStringLiteral(
    "%1: Карта была заменена: в картридере карта %2, а операция начата для карты %3. Операция прервана, на "
    "карту ничего не записано.");
const QString unreadNumber = QStringLiteral("с непрочитанным номером");
const QString earlierCard = QStringLiteral("вставленной ранее");

} // namespace

// Only a reset brings the card back to its master file, and every stretch
// starts on one, so nothing another program selected or verified is left.
// pcscd resets whatever card the reader holds: one put in after ours was
// pulled from our hold as well. Neither its count of insertions, which
// starts again with pcscd and the reader, nor anything read before tells
// which card that is; in an operation for a chosen card the card itself
// does, by its number and chip, read around that reset. Only bytes read
// and found different make another card: a card gone, or the service, ends
// the operation with that reason, as any failed command does. Left at the
// master file with its chip's file selected.
bool CardReader::returnToMasterFile()
{
    if (!m_chosen)
        return resetInHold();
    const ChosenCard &chosen = *m_chosen;
    QByteArray number;
    if (!readCardNumber(&number))
        return proofFailed();
    if (chosen.number.isEmpty() || number != chosen.number)
        return otherCard(number);
    QByteArray icc;
    if (!resetInHold() || !card.selectEF(CardFileId::icc)
        || !card.readBinary(0, quint16(qMax(1, chosen.icc.size())), &icc))
        return proofFailed();
    if (icc == chosen.icc)
        return true;
    // Another chip: the number read before the reset was the chosen card's.
    // Read for the log only, so a reset met on the way starts nothing over.
    const auto startOver = std::exchange(card.onResetByOther, {});
    if (!readCardNumber(&number))
        number.clear();
    card.onResetByOther = startOver;
    return otherCard(number);
}

bool CardReader::readCardNumber(QByteArray *number)
{
    return card.selectDF() && card.selectEF(CardFileId::identification)
        && card.readBinary(cardNumberOffset, cardNumberSize, number);
}

bool CardReader::proofFailed()
{
    // Another program's second reset is no other card.
    if (card.result.scardCode() == Pcsc::SCARD_W_RESET_CARD && !m_swapped)
        m_resetAgain = true;
    return false;
}

bool CardReader::otherCard(const QByteArray &number)
{
    m_swapped = true;
    const QString found = number.isEmpty() ? unreadNumber : QString::fromLatin1(number).trimmed();
    emit logginMessage(2, swappedLine.arg(readerName, found,
                                          m_chosen->numberText.isEmpty() ? earlierCard : m_chosen->numberText));
    return false;
}

void CardReader::recordIdentity()
{
    const CardFileRecord *identification = card.readData.value(CardFileId::identification);
    const CardFileRecord *chip = card.readData.value(CardFileId::icc);
    m_identified.number = identification ? identification->data.mid(cardNumberOffset, cardNumberSize) : QByteArray();
    m_identified.icc = chip ? chip->data : QByteArray();
    m_identified.numberText = card.cardNumber();
}
