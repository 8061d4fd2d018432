#pragma once

#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

class QWidget;
class StallWatch;
class VirtualCard;
namespace ProgramDriver {
struct RunningProgram;
}

// The main window driven as a workshop uses it, one card after another over
// the sandbox's two readers: the card goes in, is read to a .ddd file,
// diagnosed and pulled. Every 25th card is first blocked by three wrong PINs
// and unblocked with its PUK; every 10th read has a second card put into the
// other reader as it starts.
class Workday
{
public:
    Workday(ProgramDriver::RunningProgram& program, StallWatch& stalls);

    // Operation `number`, counted from 1. False at the first step that does
    // not happen; failure() names it.
    bool operation(int number);
    const QString& failure() const { return why; }

    // Each read's time from its request to its finish, and the longest
    // stall of the event loop while it ran; the caller empties them.
    QVector<double> readMs;
    QVector<double> stallMs;

private:
    // secondCard, when given, goes into the other reader as the read starts.
    bool read(VirtualCard* secondCard);
    bool diagnose();
    bool blockAndUnblock();
    // Starts the operation behind `button` and, when the page asks for a
    // PIN, types it and presses `start`; `started` runs just before the
    // request goes out.
    bool request(const char* button, const char* pinEdit, const char* start, const QString& pin,
                 const std::function<void()>& started);
    bool insert(VirtualCard& card, const QString& profile, const QStringList& options);
    bool pull(VirtualCard& card);
    // Waits for the window's next finish, which must be `expected`
    // ("read <path>", "check" or "unblock"; "read *" for any read).
    bool finish(const QString& expected, QString* entry = nullptr);
    bool await(const std::function<bool()>& condition, const QString& what);
    bool click(const char* name);
    QString cardNumberShown(const QString& reader) const;
    bool fail(const QString& what);

    ProgramDriver::RunningProgram& program;
    QWidget* window;
    StallWatch& stalls;
    QString why;
};
