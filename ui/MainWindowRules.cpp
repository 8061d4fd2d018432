#include "ui/MainWindowRules.h"

#include <QSslCertificate>

#include <algorithm>

namespace MainWindowRules {

namespace {

constexpr int pinLength = 4;
constexpr int pukLength = 8;
constexpr int lowestCounter = -99;
// A company card is never unblocked through the server.
constexpr quint8 companyCardType = 4;
constexpr quint8 pinCardKind = 1;

} // namespace

CommandButtons commandButtons(ButtonState state, quint8 cardKind, quint8 cardType)
{
    switch (state) {
    case ButtonState::NoCard:
        return {true, false, false, false, false, false};
    case ButtonState::Busy:
        return {false, false, false, false, false, true};
    case ButtonState::Card:
        break;
    }
    const bool pinCard = needsPin(cardKind);
    return {true, true, pinCard && cardType != companyCardType, true, pinCard, false};
}

bool needsPin(quint8 cardKind)
{
    return cardKind == pinCardKind;
}

bool isPinComplete(const QString& text)
{
    return text.size() == pinLength;
}

bool isPukComplete(const QString& text)
{
    return text.size() == pukLength;
}

bool isCheckingPinAcceptable(const QString& text)
{
    return text.isEmpty() || isPinComplete(text);
}

bool isUnblockInputComplete(const QString& puk, const QString& pin)
{
    return isPukComplete(puk) && isPinComplete(pin);
}

bool canSendUpload(const QString& login, const QString& password, bool serviceChosen, bool cardNeedsPin,
                   const QString& pin, const QString& file)
{
    if (login.isEmpty() || password.isEmpty() || !serviceChosen)
        return false;
    return !cardNeedsPin || isPinComplete(pin) || !file.isEmpty();
}

int statusCounter(const QString& text)
{
    return std::max(text.toInt(), lowestCounter);
}

QVector<QStringRef> statusLines(const QString& text)
{
    return text.splitRef(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
}

QStringList statusRow(const QStringRef& line, int number)
{
    QStringList row{QString::number(number)};
    const QVector<QStringRef> parts = line.split(QStringLiteral("','"));
    for (int part = 0; part < 5 && part < parts.size(); ++part)
        row << parts.at(part).toString().remove(QLatin1Char('\''));
    return row;
}

QString userWindowTitle(const QMap<QString, QString>& appInfo, const QSslCertificate& userCert)
{
    if (userCert.isNull())
        return QString();
    const auto subject = [&userCert](QSslCertificate::SubjectInfo info) {
        return userCert.subjectInfo(info).join(QLatin1Char(' '));
    };
    return QStringLiteral("%1 (%2) - %3 - %4 / %5")
        .arg(appInfo.value(QStringLiteral("AppName")), appInfo.value(QStringLiteral("AppVersion")),
             subject(QSslCertificate::Organization), subject(QSslCertificate::CommonName),
             subject(QSslCertificate::EmailAddress));
}

} // namespace MainWindowRules
