// The card an operation is for, checked in each of its holds before
// anything that sends a PIN or a PUK or writes reaches the card.

#include "readers/CardReader.h"

#include "card/CardFileIds.h"
#include "card/CardFileRecord.h"
#include "readers/CardTransaction.h"

namespace {

constexpr quint16 cardNumberOffset = 1;
constexpr quint16 cardNumberSize = 16;

const QString swappedLine = QStringLiteral(
    "%1: Карта была заменена: в картридере карта %2, а операция начата для карты %3. Операция прервана, на "
    "карту ничего не записано.");
const QString unreadNumber = QStringLiteral("с непрочитанным номером");
const QString earlierCard = QStringLiteral("вставленной ранее");

} // namespace

// pcscd's count of insertions and removals tells at no cost that the card
// never left the reader; when it did, or the service cannot tell, the card
// itself does by its number and chip.
bool CardReader::holdsChosenCard()
{
    if (!m_chosen)
        return true;
    ChosenCard &chosen = *m_chosen;
    quint32 events = 0;
    const bool eventsKnown = m_hold->cardEvents(&events);
    if (chosen.cardEventsKnown && eventsKnown && events == chosen.cardEvents)
        return true;
    // Nothing is known of the card the operation is for: the one in the
    // reader stands for it.
    if (!chosen.cardEventsKnown && chosen.number.isEmpty())
        return true;
    QByteArray icc(chosen.icc.size(), '\0');
    const QByteArray number = readCardNumber(&icc);
    if (!number.isEmpty() && number == chosen.number && icc == chosen.icc) {
        chosen.cardEvents = events;
        chosen.cardEventsKnown = eventsKnown;
        return true;
    }
    const QString found = number.isEmpty() ? unreadNumber : QString::fromLatin1(number).trimmed();
    emit logginMessage(2, swappedLine.arg(readerName, found,
                                          chosen.numberText.isEmpty() ? earlierCard : chosen.numberText));
    return false;
}

// `icc` comes in sized as the chip's file to read (none when empty). The
// stretch then starts from the master file, as the hold gave it.
QByteArray CardReader::readCardNumber(QByteArray *icc)
{
    QByteArray number;
    const bool read = (icc->isEmpty()
                       || (card.selectEF(CardFileId::icc) && card.readBinary(0, quint16(icc->size()), icc)))
        && card.selectDF() && card.selectEF(CardFileId::identification)
        && card.readBinary(cardNumberOffset, cardNumberSize, &number);
    returnToMasterFile();
    return read ? number : QByteArray();
}

void CardReader::identifyHeldCard()
{
    const CardFileRecord *identification = card.readData.value(CardFileId::identification);
    const CardFileRecord *chip = card.readData.value(CardFileId::icc);
    m_identified.number = identification ? identification->data.mid(cardNumberOffset, cardNumberSize) : QByteArray();
    m_identified.icc = chip ? chip->data : QByteArray();
    m_identified.numberText = card.cardNumber();
}
