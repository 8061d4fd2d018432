#pragma once

#include "ui/services/DRVPEventLogger.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

// The program's real log file in a test: the real logger writes its file
// into the test's own data folder (tests run with a private home), fed by
// the objects under test as the program feeds it, and the test asks at the
// end whether a secret reached the file.
namespace RealLog {

// Opens the log file once per test program, in the data folder of the moment
// (call it before a test moves XDG_DATA_HOME); later calls do nothing.
void open();

// Sends the object's log messages to the real logger, as the program does.
template <typename Sender, typename Type, typename Text>
void attach(const Sender *sender, void (Sender::*signal)(Type, Text))
{
    open();
    QObject::connect(sender, signal, eventLogger, &DRVPEventLogger::on_logginMessage);
}

// The file's text once every queued message is written.
QString text();

// The secrets the file holds: as typed, HTML-escaped, percent-encoded or as
// hex bytes. A secret of digits only counts where no letter or digit
// touches it, so a PIN of "1234" is not found inside a card number.
QStringList secretsFound(const QList<QByteArray> &secrets);

} // namespace RealLog
