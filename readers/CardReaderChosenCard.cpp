// The card an operation is for, proven by its own bytes in each of its
// holds, before anything else reaches the card and again after every
// reset, so that nothing meant for it reaches another card.

#include "readers/CardReader.h"

#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"

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
// does, by its number and chip, read around that reset. Left at the master
// file with its chip's file selected.
bool CardReader::returnToMasterFile()
{
    if (!m_chosen)
        return resetInHold();
    const ChosenCard &chosen = *m_chosen;
    QByteArray number;
    QByteArray icc;
    const bool read = card.selectDF() && card.selectEF(CardFileId::identification)
        && card.readBinary(cardNumberOffset, cardNumberSize, &number) && resetInHold()
        && card.selectEF(CardFileId::icc) && card.readBinary(0, quint16(qMax(1, chosen.icc.size())), &icc);
    if (read && !chosen.number.isEmpty() && number == chosen.number && icc == chosen.icc)
        return true;
    // The start-over a reset caused may have found the other card already.
    if (m_swapped || (interrupted && !ignoresInterrupt))
        return false;
    // Another program's second reset is no other card.
    if (card.result.scardCode() == Pcsc::SCARD_W_RESET_CARD) {
        m_resetAgain = true;
        return false;
    }
    m_swapped = true;
    const QString found = read ? QString::fromLatin1(number).trimmed() : unreadNumber;
    emit logginMessage(2, swappedLine.arg(readerName, found,
                                          chosen.numberText.isEmpty() ? earlierCard : chosen.numberText));
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
