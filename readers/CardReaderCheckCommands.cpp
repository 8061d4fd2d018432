// Stage 1 of the diagnosis: every file of the card selected, read, hashed
// and signed, one row per step.

#include "readers/CardReader.h"

#include "card/CardAppLayout.h"
#include "card/CardDictionary.h"
#include "ui/services/MultiProgressElement.h"

#include <QDateTime>

namespace {

const QString timeFormat = QStringLiteral("dd.MM.yyyy hh:mm:ss");
const QString reading = QStringLiteral("Считывается %1");
const QString checkFailed = QStringLiteral("Проверка выполнения команд не выполнена");

} // namespace

bool CardReader::checkCard(const SecretBytes &pin, const std::function<void()> &cardDone)
{
    const bool checked = checkCommands(pin);
    if (cardDone)
        cardDone();
    if (!checked) {
        dataCheckRows.clear();
        eventFaultRows.clear();
        return false;
    }
    diagnoseCardData();
    checkEventsAndFaults();
    return true;
}

void CardReader::addCmdCheckRow(const QString &step, const QString &message, quint8 failed)
{
    cmdCheckRows.append({step, card.result.scardText(), card.result.apduText(),
                         QDateTime::currentDateTime().toString(timeFormat), failed, message});
}

void CardReader::addStepRow(bool done, const QString &step, const QString &failure)
{
    addCmdCheckRow(step, done ? QString() : failure, done ? 0 : 1);
}

bool CardReader::checkCommands(const SecretBytes &pin)
{
    cmdCheckRows.clear();
    checkedCardNumber = card.cardNumber();
    card.clearReadData();
    if (!connectCard()) {
        // Nothing was checked: every command would fail the same way, and
        // there is no hold to let go.
        const QString reason = connectFailureText(QString());
        addCmdCheckRow(QStringLiteral("Подключение к карте"),
                       reason.isEmpty() ? QStringLiteral("Не удалось подключиться к карте.") : reason + '.', 1);
        setProgressState(3, reason.isEmpty() ? checkFailed : reason);
        return false;
    }
    const QVector<CardAppLayout> &rows = CardDictionary::efDescriptors();
    // A card kept or reset by another program, or another card, on the way ends the check.
    const auto goesOn = [this] { return !interrupted && !cardOutOfReach(); };
    for (int index = 0; index < rows.size() && goesOn(); ++index) {
        quint16 key = 0;
        if (CardDictionary::layoutKey(rows.at(index), card.cardKind, card.cardType, key))
            checkFile(quint8(index), key, pin);
    }
    // A reconnect on the way that did not get the card left nothing to let go.
    if (m_hold) {
        addStepRow(disconnectCard(), QStringLiteral("Отключение от карты тахографа"),
                   QStringLiteral("Не удалось отключиться от карты тахографа."));
    }
    if (cardOutOfReach()) {
        setProgressState(3, connectFailureText(QString()));
        return false;
    }
    return true;
}

void CardReader::checkFile(quint8 index, quint16 key, const SecretBytes &pin)
{
    const CardAppLayout &row = CardDictionary::efDescriptors().at(index);
    showProgress(reading.arg(row.name));
    if (!row.inTachoDF && card.dfSelected) {
        // Only a reset brings the card back to its master file.
        reconnectWithRows();
    } else if (row.inTachoDF && !card.dfSelected) {
        addStepRow(card.selectDF(), QStringLiteral("Выбор DF"), QStringLiteral("Не удалось выбрать DF."));
        if (card.cardKind == 1 && !pin.isEmpty()) {
            // The card keeps the PIN from here on, so a later DF selection
            // of this run sends no second VERIFY.
            card.pin = pin;
            addStepRow(card.verifyPin(), QStringLiteral("Проверка ПАК-кода"),
                           QStringLiteral("Не удалось выполнить проверку ПАК-кода или ПАК-код некорректный."));
        }
    }
    addStepRow(card.selectEF(row.fid), QStringLiteral("Выбор %1").arg(row.name),
                   QStringLiteral("Не удалось выбрать файл."));
    if (!testWritableFile(index, key)) {
        addStepRow(card.readCurrentEf(index, key), QStringLiteral("Считывание данных из %1").arg(row.name),
                       QStringLiteral("Не удалось считать данные."));
    }
    if (row.signedFile) {
        addStepRow(card.performHash(), QStringLiteral("Расчет хеша %1").arg(row.name),
                       QStringLiteral("Не удалось рассчитать хеш."));
        addStepRow(card.computeSignature(), QStringLiteral("Вычисление электронной подписи %1").arg(row.name),
                       QStringLiteral("Не удалось вычислить электронную подпись."));
    }
}

bool CardReader::reconnectWithRows()
{
    addStepRow(disconnectCard(), QStringLiteral("Отключение от карты тахографа"),
               QStringLiteral("Не удалось отключиться от карты тахографа."));
    const bool connected = connectCard();
    addStepRow(connected, QStringLiteral("Подключение к карте тахографа"),
               QStringLiteral("Не удалось подключиться к карте тахографа."));
    return connected;
}

void CardReader::setProgressState(quint8 state, const QString &text)
{
    if (progress)
        progress->setCurrentState(state, text);
}

void CardReader::nextProgressStep(const QString &text)
{
    if (progress)
        progress->nextStep(text, 2);
}
