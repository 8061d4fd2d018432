#include "readers/ReaderManager.h"

#include "platform/Pcsc.h"
#include "readers/CardInfoRows.h"
#include "readers/CardReader.h"
#include "readers/CardReaderAgent.h"
#include "readers/PendingRestore.h"
#include "readers/ReaderStatus.h"
#include "ui/services/MultiProgressElement.h"

#include <QMutexLocker>

namespace {

const QString readerFound = QStringLiteral("Обнаружен картридер: %1.");
const QString readerGone = QStringLiteral("Отключен картридер: %1.");
const QString readerUnknown = QStringLiteral("Не найден картридер: %1.");
const QString cardInserted = QStringLiteral("%1: В картридере обнаружена карта тахографа.");
const QString cardRemoved = QStringLiteral("%1: Отключена карта тахографа.");
const QString noContext = QStringLiteral("Не удалось установить контекст для работы с картами тахографа. %1");
const QString checkingReader = QStringLiteral("Проверка картридера");
const QString readerNotFound = QStringLiteral("Картридер не найден");

ReaderState snapshotOf(const CardReader &reader)
{
    ReaderState state;
    state.readerName = reader.readerName;
    state.cardPresent = reader.cardPresent;
    // A reader without a card shows nothing of the card it held before.
    if (!state.cardPresent)
        return state;
    const TachographCard &card = reader.card;
    state.cardKind = card.cardKind;
    state.cardType = card.cardType;
    state.cardKindName = card.cardKindName();
    state.cardTypeName = card.cardTypeName();
    state.cardNumber = card.cardNumber();
    state.skziNumber = card.skziNumber();
    state.cardInfo = cardInfoRows(card);
    state.cmdCheckRows = reader.cmdCheckRows;
    state.dataCheckRows = reader.dataCheckRows;
    state.eventFaultRows = reader.eventFaultRows;
    return state;
}

} // namespace

ReaderManager::ReaderManager(QObject *parent) : QObject(parent)
{
    qRegisterMetaType<MultiProgressElement *>("MultiProgressElement*");
    qRegisterMetaType<ReaderState>();
    qRegisterMetaType<SecretBytes>();
    qRegisterMetaType<CardWork>();
}

ReaderManager::~ReaderManager()
{
    pukRequest.newPin.wipe();
    clearCardReaders();
    releaseOwnContext();
}

void ReaderManager::setConfig(Config *settings)
{
    config = settings;
}

void ReaderManager::setDurableLog(const DurableLine &log)
{
    durableLog = log;
}

ReaderState ReaderManager::readerState(const QString &name) const
{
    QMutexLocker locked(&lock);
    return states.value(name);
}

QStringList ReaderManager::readerNames() const
{
    QMutexLocker locked(&lock);
    return states.keys();
}

// The monitor's context is blocked by its status-change wait, so card traffic
// needs a context of this thread; a new monitor context means the service
// came back, and the old context is dead with it.
void ReaderManager::on_ContextEstablished(qulonglong monitorContext)
{
    releaseOwnContext();
    if (monitorContext)
        establishOwnContext();
}

void ReaderManager::establishOwnContext()
{
    Pcsc::SCARDCONTEXT own = 0;
    const qint32 rc = Pcsc::SCardEstablishContext(Pcsc::SCARD_SCOPE_USER, &own);
    if (rc != Pcsc::SCARD_S_SUCCESS) {
        emit logginMessage(2, noContext.arg(CardReaderAgent::scardErrorText(rc)));
        return;
    }
    context = own;
    for (CardReader *reader : qAsConst(readers))
        reader->context = context;
}

void ReaderManager::releaseOwnContext()
{
    if (!context)
        return;
    Pcsc::SCardReleaseContext(context);
    context = 0;
    for (CardReader *reader : qAsConst(readers))
        reader->context = 0;
}

void ReaderManager::on_FoundCardReaders(const QStringList &readers_list)
{
    for (const QString &name : readers_list) {
        if (readers.contains(name))
            continue;
        addCardReader(name);
        emit logginMessage(0, readerFound.arg(name));
    }
}

void ReaderManager::addCardReader(const QString &name)
{
    auto *reader = new CardReader(name, context);
    reader->card.readerName = name;
    reader->durableLog = durableLog;
    connect(reader, &CardReader::logginMessage, this, &ReaderManager::logginMessage);
    connect(&reader->card, &TachographCard::logginMessage, this, &ReaderManager::logginMessage);
    connect(reader, &CardReader::showErrMsg, this, &ReaderManager::showErrMsg);
    {
        QMutexLocker locked(&lock);
        readers.insert(name, reader);
    }
    publish(*reader);
}

void ReaderManager::on_UnmountedCardReader(const QStringList &readers_list)
{
    for (const QString &name : readers_list) {
        if (!readers.contains(name))
            continue;
        removeCardReader(name);
        emit logginMessage(0, readerGone.arg(name));
    }
}

void ReaderManager::removeCardReader(const QString &name)
{
    CardReader *reader = nullptr;
    {
        QMutexLocker locked(&lock);
        reader = readers.take(name);
        states.remove(name);
    }
    delete reader;
}

void ReaderManager::clearCardReaders()
{
    QMap<QString, CardReader *> gone;
    {
        QMutexLocker locked(&lock);
        gone.swap(readers);
        states.clear();
    }
    qDeleteAll(gone);
}

void ReaderManager::on_MountedCard(const QString &reader_name)
{
    CardReader *reader = readers.value(reader_name);
    if (!reader)
        return;
    {
        // The run's own flag stays: a cancelled server request must not
        // reach the card that comes next.
        QMutexLocker locked(&lock);
        reader->interrupted = false;
        reader->card.interrupted = false;
    }
    reader->cardPresent = true;
    // No page shows the identification.
    reader->progress = nullptr;
    emit logginMessage(0, cardInserted.arg(reader_name));
    beginCardWork(*reader);
    if (reader->readGeneralInfo())
        PendingRestore(*reader, reader->card.cardNumber()).checkIdentifiedCard();
    endCardWork(*reader);
    publish(*reader);
    emit showUpdatedCardInfo(reader_name);
}

void ReaderManager::on_UnmountedCard(const QString &reader_name)
{
    CardReader *reader = readers.value(reader_name);
    if (!reader)
        return;
    reader->cardPresent = false;
    emit logginMessage(0, cardRemoved.arg(reader_name));
    publish(*reader);
}

void ReaderManager::on_CardUsing(const QString &reader_name, bool is_card_using)
{
    if (CardReader *reader = readers.value(reader_name))
        reader->card.cardInUse = is_card_using;
}

// GUI thread. The reader objects are deleted only under the lock, so they
// stay alive while their flags are set. The requests made before this cancel
// are already queued here; the mark queued behind them tells when they are
// all handled.
void ReaderManager::on_InterruptAllOperation()
{
    ++cancelsPending;
    {
        QMutexLocker locked(&lock);
        for (CardReader *reader : qAsConst(readers)) {
            reader->interrupted = true;
            reader->card.interrupted = true;
        }
    }
    QMetaObject::invokeMethod(this, [this] { cancelDelivered(); }, Qt::QueuedConnection);
    emit interruptAllOperation();
}

bool ReaderManager::cancelPending() const
{
    return cancelsPending.load() > 0;
}

void ReaderManager::cancelDelivered()
{
    // An automatic unblock still waiting for the server was requested
    // before the cancel: it ends now and its answer is discarded.
    dropPukRequest();
    QMutexLocker locked(&lock);
    if (--cancelsPending > 0)
        return;
    for (CardReader *reader : qAsConst(readers)) {
        reader->interrupted = false;
        reader->card.interrupted = false;
    }
}

CardReader *ReaderManager::beginOperation(const QString &name, MultiProgressElement *element)
{
    // Whatever runs now ends an automatic unblock still waiting for the
    // server: its late answer must not reach the card.
    dropPukRequest();
    // Taken before the cancel check: when no cancel is pending, the element
    // still belongs to this request.
    if (element)
        element->bindWorker();
    if (cancelPending())
        return nullptr;
    progress = element;
    setCurrentState(1, checkingReader);
    CardReader *reader = readers.value(name);
    if (!reader) {
        setCurrentState(3, readerNotFound);
        emit logginMessage(2, readerUnknown.arg(name));
        return nullptr;
    }
    reader->progress = element;
    return reader;
}

bool ReaderManager::knowsCardType(CardReader &reader)
{
    if (reader.identifyIfUnknown())
        return true;
    setCurrentState(3, reader.connectFailureText(QStringLiteral("Тип карты не определен")));
    return false;
}

void ReaderManager::publish(const CardReader &reader)
{
    ReaderState state = snapshotOf(reader);
    QMutexLocker locked(&lock);
    states.insert(reader.readerName, std::move(state));
}

void ReaderManager::beginCardWork(CardReader &reader)
{
    reader.startWork();
    cardEventsAtWorkStart = readerStatus(context, reader.readerName).cardEvents;
    emit cardWork(reader.readerName, CardWork::Started);
}

// Our own connections are closed by now: a connection the service still
// sees is another program's.
void ReaderManager::endCardWork(const CardReader &reader)
{
    const ReaderStatus now = readerStatus(context, reader.readerName);
    CardWork end = CardWork::EndedFree;
    // A service that does not answer tells nothing; the monitor reports what it sees.
    if (now.known && (!now.cardPresent || now.cardEvents != cardEventsAtWorkStart))
        end = CardWork::EndedCardGone;
    else if (now.cardHeld)
        end = CardWork::EndedHeld;
    emit cardWork(reader.readerName, end);
}

void ReaderManager::on_ProgressMessage(const QString &msg)
{
    setMessage(msg);
}

void ReaderManager::setCurrentState(quint8 state, const QString &text)
{
    if (progress)
        progress->setCurrentState(state, text);
}

void ReaderManager::nextStep(const QString &text, quint8 state)
{
    if (progress)
        progress->nextStep(text, state);
}

void ReaderManager::setMessage(const QString &text)
{
    if (progress)
        progress->setMessage(text);
}

// "number / module" for a kind-1 card, the number alone for the others.
QString ReaderManager::cardTitle(const CardReader &reader) const
{
    const TachographCard &card = reader.card;
    if (card.cardKind == 1)
        return QStringLiteral("%1 / %2").arg(card.cardNumber(), card.skziNumber());
    return card.cardNumber();
}
