#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVector>

class QSslCertificate;

// The main window's rules that need no widget: which command buttons a
// state enables, when typed codes are complete, what a status reply shows.
// The window's slots apply what these return.
namespace MainWindowRules {

// The six command buttons, in the order of the command column.
struct CommandButtons
{
    bool upload = false;
    bool read = false;
    bool autoUnblock = false;
    bool checking = false;
    bool unblock = false;
    bool cancel = false;
};

enum class ButtonState { NoCard, Busy, Card };

// Kind and type matter only for ButtonState::Card.
CommandButtons commandButtons(ButtonState state, quint8 cardKind = 0, quint8 cardType = 0);

// A card of this kind asks for its PIN before a read or a diagnosis.
bool needsPin(quint8 cardKind);

bool isPinComplete(const QString& text);
bool isPukComplete(const QString& text);
// A diagnosis may also run without a PIN.
bool isCheckingPinAcceptable(const QString& text);
bool isUnblockInputComplete(const QString& puk, const QString& pin);

// The upload may be sent: login, password and a service, and for a card
// that needs a PIN either the whole PIN or a chosen file.
bool canSendUpload(const QString& login, const QString& password, bool serviceChosen, bool cardNeedsPin,
                   const QString& pin, const QString& file);

// The counter of a status reply as shown: never below -99.
int statusCounter(const QString& text);

// The lines of a status text, one row of the requests table each. They
// point into the text, which must outlive them.
QVector<QStringRef> statusLines(const QString& text);
// The requests table's row for one line: `number` (the rows count down to
// 1), then the line's first five fields without apostrophes.
QStringList statusRow(const QStringRef& line, int number);

// "%1 (%2) - %3 - %4 / %5" from the application's name and version and the
// certificate's subject; empty for a null certificate.
QString userWindowTitle(const QMap<QString, QString>& appInfo, const QSslCertificate& userCert);

} // namespace MainWindowRules
