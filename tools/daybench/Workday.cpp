#include "tools/daybench/Workday.h"

#include "tests/app/ProgramDriver.h"
#include "tests/support/StallWatch.h"
#include "tools/daybench/VirtualCard.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace {

constexpr int stepMs = 60000;
constexpr int blockEvery = 25;
constexpr int secondCardEvery = 10;
const QString pin = QStringLiteral("1234");
const QString wrongPin = QStringLiteral("0000");
const QString puk = QStringLiteral("12345678");
// Kind-1 cards ask for the PIN, the kind-2 card does not; the card that is
// blocked must have one.
const QStringList profiles{QStringLiteral("driver-rfskzi"), QStringLiteral("driver-estr"),
                           QStringLiteral("workshop-rfskzi")};
const QString blockedProfile = QStringLiteral("driver-rfskzi");
const QString secondProfile = QStringLiteral("control-rf");
// The card read while a second one goes in answers slowly enough for the
// service to see the second one arrive before the read ends.
const QStringList slowCard{QStringLiteral("--delay-ms"), QStringLiteral("10")};

} // namespace

Workday::Workday(ProgramDriver::RunningProgram& program, StallWatch& stalls)
    : program(program)
    , window(program.window)
    , stalls(stalls)
{
}

bool Workday::operation(int number)
{
    const int reader = (number - 1) % 2;
    const bool blocks = number % blockEvery == 0;
    const bool second = number % secondCardEvery == 5;
    VirtualCard card(reader);
    VirtualCard other(1 - reader);
    if (!insert(card, blocks ? blockedProfile : profiles.at((number - 1) % profiles.size()),
                second ? slowCard : QStringList())
        || !ProgramDriver::selectCardReader(window, card.readerName()))
        return fail(QStringLiteral("card %1 was not shown").arg(number));
    if (blocks && !blockAndUnblock())
        return false;
    if (!read(second ? &other : nullptr) || !diagnose() || !pull(card))
        return false;
    if (second && (!await([&] { return !cardNumberShown(other.readerName()).isEmpty(); },
                          QStringLiteral("the second card to be shown"))
                   || !pull(other)))
        return false;
    return true;
}

bool Workday::read(VirtualCard* secondCard)
{
    // Put in before the request, so that only the window's work falls into
    // the read's stretch.
    if (secondCard)
        secondCard->insert(secondProfile);
    QElapsedTimer timer;
    const auto started = [&] {
        stalls.restart();
        timer.start();
    };
    QString entry;
    if (!request("ReadCardsBtn", "ReadPINEdt", "SubmitPINBtn", pin, started) || !finish("read *", &entry))
        return false;
    readMs << timer.nsecsElapsed() / 1e6;
    stallMs << stalls.longestMs();
    const QString path = entry.mid(5);
    if (path.isEmpty() || !QFileInfo(path).isFile())
        return fail(QStringLiteral("the read saved no file: %1")
                        .arg(ProgramDriver::text(window, QStringLiteral("ReadPrgLbl"))));
    return click("CancelBtn");
}

bool Workday::diagnose()
{
    if (!request("CheckingCardBtn", "CheckingPinEdt", "StartCheckingBtn", pin, [] {}) || !finish("check"))
        return false;
    if (ProgramDriver::text(window, QStringLiteral("CheckingPrgLbl")) != QStringLiteral("Диагностика выполнена"))
        return fail(QStringLiteral("the diagnosis ended with: %1")
                        .arg(ProgramDriver::text(window, QStringLiteral("CheckingPrgLbl"))));
    return click("CancelBtn");
}

// Three reads with a wrong PIN block the card; its PUK unblocks it with the
// PIN it had.
bool Workday::blockAndUnblock()
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (!request("ReadCardsBtn", "ReadPINEdt", "SubmitPINBtn", wrongPin, [] {}) || !finish("read ")
            || !click("CancelBtn"))
            return false;
    }
    if (!click("UnblockCardBtn") || !ProgramDriver::type(window, QStringLiteral("PUKEdt"), puk)
        || !ProgramDriver::type(window, QStringLiteral("UnblockPinEdt"), pin) || !click("UnblockBtn")
        || !finish("unblock"))
        return false;
    if (ProgramDriver::text(window, QStringLiteral("UBlckPrgLbl")) != QStringLiteral("Карта разблокирована"))
        return fail(QStringLiteral("the unblock ended with: %1")
                        .arg(ProgramDriver::text(window, QStringLiteral("UBlckPrgLbl"))));
    return click("CancelBtn");
}

bool Workday::request(const char* button, const char* pinEdit, const char* start, const QString& pinText,
                      const std::function<void()>& started)
{
    // The page either waits for the PIN or has sent the request already,
    // so the kind-2 card's request is timed from the button.
    started();
    if (!click(button))
        return false;
    if (!ProgramDriver::enabled(window, QString::fromLatin1(pinEdit)))
        return true;
    if (!ProgramDriver::type(window, QString::fromLatin1(pinEdit), pinText))
        return fail(QStringLiteral("%1 took no PIN").arg(pinEdit));
    started();
    return click(start);
}

bool Workday::insert(VirtualCard& card, const QString& profile, const QStringList& options)
{
    card.insert(profile, options);
    return await([&] { return !cardNumberShown(card.readerName()).isEmpty(); },
                 QStringLiteral("%1 to be shown in %2").arg(profile, card.readerName()));
}

bool Workday::pull(VirtualCard& card)
{
    if (!card.pull())
        return fail(QStringLiteral("the card in %1 would not leave").arg(card.readerName()));
    return await([&] { return cardNumberShown(card.readerName()).isEmpty(); },
                 QStringLiteral("the card in %1 to be shown gone").arg(card.readerName()));
}

bool Workday::finish(const QString& expected, QString* entry)
{
    if (!await([&] { return !program.finished.isEmpty(); }, QStringLiteral("%1 to finish").arg(expected)))
        return false;
    const QString next = program.finished.takeFirst();
    const bool matches = expected.endsWith(QLatin1Char('*')) ? next.startsWith(expected.chopped(1)) : next == expected;
    if (!matches)
        return fail(QStringLiteral("expected the finish \"%1\", got \"%2\"").arg(expected, next));
    if (entry)
        *entry = next;
    return true;
}

bool Workday::await(const std::function<bool()>& condition, const QString& what)
{
    return turnLoopUntil(condition, stepMs) || fail(QStringLiteral("waited in vain for %1").arg(what));
}

bool Workday::click(const char* name)
{
    return ProgramDriver::click(window, QString::fromLatin1(name))
        || fail(QStringLiteral("%1 could not be clicked").arg(name));
}

QString Workday::cardNumberShown(const QString& reader) const
{
    const auto* table = window->findChild<QTableWidget*>(QStringLiteral("ReaderListTbl"));
    const QList<QTableWidgetItem*> found = table->findItems(reader, Qt::MatchExactly);
    const QTableWidgetItem* number = found.isEmpty() ? nullptr : table->item(found.first()->row(), 1);
    return number ? number->text() : QString();
}

bool Workday::fail(const QString& what)
{
    if (why.isEmpty())
        why = what;
    return false;
}
