// The manual unblock with a typed PUK and the automatic unblock with a PUK
// from the unblock server.

#include "readers/ReaderManager.h"

#include "card/TextExcerpt.h"
#include "readers/CardReader.h"

#include <algorithm>

namespace {

constexpr quint16 pukBlocked = 0x6983;
constexpr short noCounter = -9999;

const QString manualStart = QStringLiteral("%1: Разблокировка в ручном режиме карты %2.");
const QString unblocked = QStringLiteral("%1: Карта %2 успешно разблокирована.");
const QString manualFailed = QStringLiteral("%1: Не удалось выполнить разблокировку в ручном режиме карты %2.");
const QString autoStart = QStringLiteral("%1: Автоматическая разблокировка карты %2.");
const QString noAnswer =
    QStringLiteral("%1: Не найден ПАК-код карты %2. Разблокировка не может быть выполнена.");
const QString noPuk =
    QStringLiteral("%1: Не найден ПАК-код карты %2. Разблокировка прервана. Ответ сервера разблокировки: %3");
const QString pukFound = QStringLiteral("%1: Найден ПАК-код карты %2. Источник ПАК-кода: %3");
const QString otherCard = QStringLiteral("%1: Сервер разблокировки предоставли ПАК-код карты %2. В картридере "
                                         "находится карта %3. Разблокировка не может быть выполнена.");
const QString badPuk = QStringLiteral("%1: Сервер разблокировки предоставил ПАК-код карты %2 в неверном формате. "
                                      "Разблокировка не может быть выполнена.");
const QString autoFailed = QStringLiteral("%1: Не удалось выполнить автоматическую разблокировку карты %2.");
const QString answerLostState = QStringLiteral("Ответ карты не получен, ПИН-код мог стать новым");
const QString answerLost = QStringLiteral(
    "%1: Ответ карты %2 на команду разблокировки не получен. Возможно, карта уже разблокирована и ее ПИН-код — "
    "новый: прежде чем повторять разблокировку, попробуйте новый ПИН-код.");
const QString notSentState = QStringLiteral("Команда не выполнена, ПИН-код не изменен");
const QString notSent = QStringLiteral(
    "%1: Команда разблокировки не передана карте %2: служба смарт-карт ее отклонила или недоступна. Карта команду "
    "не выполнила, ПИН-код не изменен.");
const QString blockedText = QStringLiteral("Не удалось разблокировать карту.");
const QString blockedInfo = QStringLiteral(
    "При выполнении предыдущих разблокировок карта была окончательно заблокирована. Разблокировка не может быть "
    "выполнена.<br><span style=\"color:#FF7F7F\"><b>Карту необходимо перевыпустить</b></span>.");

// "number / module"; the logger escapes card texts for its view itself.
QString numbers(const QString &number, const QString &module)
{
    return QStringLiteral("%1 / %2").arg(number, module);
}

QString numbersOf(const CardReader &reader)
{
    if (!reader.cardPresent)
        return numbers(QString(), QString());
    return numbers(reader.card.cardNumber(), reader.card.skziNumber());
}

short counterOf(const QString &text)
{
    bool ok = false;
    const int value = text.toInt(&ok);
    return ok ? short(qBound(-32768, value, 32767)) : 0;
}

// Eight digits, looked at as bytes: the PUK never becomes a text.
bool hasPukForm(const SecretBytes &puk)
{
    constexpr int pukLength = 8;
    const QByteArray &bytes = puk.bytes();
    return bytes.size() == pukLength
        && std::all_of(bytes.begin(), bytes.end(), [](char c) { return c >= '0' && c <= '9'; });
}

} // namespace

void ReaderManager::on_UnblockCard(const QString &reader_name, MultiProgressElement *element, SecretBytes PUK,
                                   SecretBytes PIN)
{
    CardReader *reader = beginOperation(reader_name, element);
    if (!reader) {
        PUK.wipe();
        PIN.wipe();
        emit unblockFinished();
        return;
    }
    nextStep(QStringLiteral("Разблокировка карты"), 2);
    const QString card = numbersOf(*reader);
    emit logginMessage(0, manualStart.arg(reader_name, card));
    switch (unblockCurrentCard(*reader, std::nullopt, PUK, PIN)) {
    case Unblock::Done:
        setCurrentState(2, QStringLiteral("Карта разблокирована"));
        emit logginMessage(0, unblocked.arg(reader_name, card));
        break;
    case Unblock::AnswerLost:
        setCurrentState(3, answerLostState);
        emit logginMessage(2, answerLost.arg(reader_name, card));
        break;
    case Unblock::NotSent:
        setCurrentState(3, notSentState);
        emit logginMessage(2, notSent.arg(reader_name, card));
        break;
    case Unblock::NoCard:
        setCurrentState(3, reader->connectFailureText(QString()));
        emit logginMessage(2, manualFailed.arg(reader_name, card));
        break;
    case Unblock::Failed:
        setCurrentState(3, QStringLiteral("Карта не разблокирована"));
        emit logginMessage(2, manualFailed.arg(reader_name, card));
        break;
    }
    emit unblockFinished();
}

ReaderManager::Unblock ReaderManager::unblockCurrentCard(CardReader &reader, const std::optional<ChosenCard> &chosen,
                                                        SecretBytes puk, SecretBytes pin)
{
    TachographCard &card = reader.card;
    Unblock outcome = Unblock::Failed;
    beginCardWork(reader);
    reader.chooseCard(chosen ? *chosen : reader.identifiedCard());
    // A PUK goes only to a card proven to be the one identified.
    if (!chosen && reader.identifiedCard().number.isEmpty())
        reader.readGeneralInfo();
    // Only an answer to this command may tell that the PUK is blocked.
    card.result.reset();
    if (!reader.cardOutOfReach() && reader.connectCard()) {
        card.puk = puk;
        card.pin = pin;
        if (card.unblockPin())
            outcome = Unblock::Done;
        else if (reader.swapped())
            outcome = Unblock::NoCard;
        else if (card.answerLost())
            outcome = Unblock::AnswerLost;
        else if (card.notSent())
            outcome = Unblock::NotSent;
        reader.disconnectCard();
    } else if (reader.cardOutOfReach()) {
        outcome = Unblock::NoCard;
    }
    endCardWork(reader);
    // The card's fields share the buffers: one wipe reaches every holder.
    puk.wipe();
    pin.wipe();
    if (outcome == Unblock::Failed && card.result.statusWord() == pukBlocked)
        emit showErrMsg(3, blockedText, blockedInfo, card.result.toString());
    return outcome;
}

void ReaderManager::on_AutoUnblockCard(const QString &reader_name, MultiProgressElement *element, SecretBytes PIN)
{
    CardReader *reader = beginOperation(reader_name, element);
    if (!reader) {
        PIN.wipe();
        emit autoUnblockFinished(noCounter);
        return;
    }
    const TachographCard &card = reader->card;
    emit logginMessage(2, autoStart.arg(reader_name, numbersOf(*reader)));
    reader->progress = element;
    // The answer is checked against the card this request is made for.
    pukRequest.number = ++pukRequestsMade;
    pukRequest.reader = reader_name;
    pukRequest.cardNumber = card.cardNumber();
    pukRequest.skziNumber = card.skziNumber();
    pukRequest.cardKind = card.cardKind;
    pukRequest.card = reader->identifiedCard();
    pukRequest.progress = element;
    // Kept, not wiped: the same secret, for the answer.
    pukRequest.newPin = PIN;
    nextStep(QString(), 2);
    emit makeCommand(element, QStringLiteral("findPUK"), {pukRequest.cardNumber, pukRequest.skziNumber});
}

// The server answers this manager's requests in the order they were made; an
// answer to a request dropped meanwhile is discarded.
void ReaderManager::on_commandResult(const QString &cmd, bool ok, const QStringList &result, SecretBytes puk)
{
    if (cmd != QLatin1String("findPUK"))
        return;
    const int answered = ++pukAnswersSeen;
    if (pukRequest.reader.isEmpty() || pukRequest.number != answered) {
        puk.wipe();
        return;
    }
    PukRequest request = std::move(pukRequest);
    pukRequest = PukRequest();
    progress = request.progress;
    answerPukRequest(request, ok, result, puk);
    puk.wipe();
    request.newPin.wipe();
}

void ReaderManager::dropPukRequest()
{
    if (pukRequest.reader.isEmpty())
        return;
    PukRequest request = std::move(pukRequest);
    pukRequest = PukRequest();
    request.newPin.wipe();
    progress = request.progress;
    setCurrentState(3, QStringLiteral("Карта не разблокирована"));
    emit logginMessage(2, autoFailed.arg(request.reader, numbers(request.cardNumber, request.skziNumber)));
    emit autoUnblockFinished(noCounter);
}

void ReaderManager::answerPukRequest(PukRequest &request, bool ok, const QStringList &answer,
                                     const SecretBytes &puk)
{
    const QString &name = request.reader;
    const auto finish = [this](quint8 state, const QString &text, uchar type, const QString &line, short counter) {
        setCurrentState(state, text);
        emit logginMessage(type, line);
        emit autoUnblockFinished(counter);
    };
    setMessage(QStringLiteral("Проверка ответа сервера"));
    CardReader *reader = readers.value(name);
    if (!reader) {
        return finish(3, QStringLiteral("Картридер не найден"), 2,
                      QStringLiteral("Не найден картридер: %1.").arg(name), noCounter);
    }
    const QString notFound = QStringLiteral("ПАК-код не найден");
    if (!ok)
        return finish(3, notFound, 2, noAnswer.arg(name, numbers(request.cardNumber, request.skziNumber)), noCounter);

    const QString served = numbers(answer.value(0), answer.value(1));
    const short counter = counterOf(answer.value(5));
    // The server's texts may run to millions of characters.
    if (answer.value(2) == QLatin1String("None"))
        return finish(3, notFound, 2, noPuk.arg(name, served, textExcerpt(answer.value(3))), counter);
    emit logginMessage(0, pukFound.arg(name, served, textExcerpt(answer.value(4))));
    nextStep(QStringLiteral("Проверка карты"), 2);

    const QString notUnblocked = QStringLiteral("Карта не разблокирована");
    if (refusesAnswer(*reader, request, answer))
        return finish(3, notUnblocked, 2, otherCard.arg(name, served, numbersOf(*reader)), counter);
    if (!hasPukForm(puk))
        return finish(3, QStringLiteral("Некорректный ПАК-код"), 2, badPuk.arg(name, served), counter);
    // Cancelled while the server was asked: the card is not touched.
    if (cancelPending())
        return finish(3, notUnblocked, 2, autoFailed.arg(name, served), counter);
    switch (unblockCurrentCard(*reader, request.card, puk, request.newPin)) {
    case Unblock::Done:
        return finish(2, QStringLiteral("Карта разблокирована"), 0, unblocked.arg(name, served), counter);
    case Unblock::AnswerLost:
        return finish(3, answerLostState, 2, answerLost.arg(name, served), counter);
    case Unblock::NotSent:
        return finish(3, notSentState, 2, notSent.arg(name, served), counter);
    case Unblock::NoCard:
        return finish(3, reader->connectFailureText(QString()), 2, autoFailed.arg(name, served), counter);
    case Unblock::Failed:
        break;
    }
    finish(3, notUnblocked, 2, autoFailed.arg(name, served), counter);
}

// The PUK is taken only for the card the request was made for, still in its
// reader, and only when the server names that card: by its number, or on a
// card with a crypto module by the module number. Empty values never match.
bool ReaderManager::refusesAnswer(const CardReader &reader, const PukRequest &request, const QStringList &answer)
{
    const TachographCard &card = reader.card;
    const bool sameCard = reader.cardPresent && card.cardNumber() == request.cardNumber
        && card.skziNumber() == request.skziNumber && card.cardKind == request.cardKind;
    const bool numberMatches = !request.cardNumber.isEmpty() && answer.value(0) == request.cardNumber;
    const bool moduleMatches =
        request.cardKind == 1 && !request.skziNumber.isEmpty() && answer.value(1) == request.skziNumber;
    return !sameCard || !(numberMatches || moduleMatches);
}
