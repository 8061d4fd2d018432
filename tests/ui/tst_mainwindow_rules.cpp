// The main window's rules without a window: buttons per card, complete
// codes, the upload's send rule and status replies.

#include "ui/MainWindowRules.h"

#include <QtTest>

using namespace MainWindowRules;

Q_DECLARE_METATYPE(MainWindowRules::ButtonState)

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void buttons_data();
    void buttons();
    void codes_data();
    void codes();
    void sendRule_data();
    void sendRule();
    void counter_data();
    void counter();
    void rows_data();
    void rows();
};

void TestMainWindowRules::buttons_data()
{
    QTest::addColumn<ButtonState>("state");
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("type");
    // upload, read, auto unblock, checking, unblock, cancel
    QTest::addColumn<QString>("expected");

    QTest::newRow("no card") << ButtonState::NoCard << 1 << 1 << "100000";
    QTest::newRow("busy") << ButtonState::Busy << 1 << 1 << "000001";
    QTest::newRow("kind 1 driver") << ButtonState::Card << 1 << 1 << "111110";
    QTest::newRow("kind 1 workshop") << ButtonState::Card << 1 << 2 << "111110";
    QTest::newRow("kind 1 company") << ButtonState::Card << 1 << 4 << "110110";
    QTest::newRow("kind 2 driver") << ButtonState::Card << 2 << 1 << "110100";
    QTest::newRow("kind 3 company") << ButtonState::Card << 3 << 4 << "110100";
    QTest::newRow("unknown kind") << ButtonState::Card << 0 << 0 << "110100";
}

void TestMainWindowRules::buttons()
{
    QFETCH(ButtonState, state);
    QFETCH(int, kind);
    QFETCH(int, type);
    QFETCH(QString, expected);
    const CommandButtons b = commandButtons(state, quint8(kind), quint8(type));
    QString got;
    for (bool on : {b.upload, b.read, b.autoUnblock, b.checking, b.unblock, b.cancel})
        got += on ? '1' : '0';
    QCOMPARE(got, expected);
}

void TestMainWindowRules::codes_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("pin");
    QTest::addColumn<bool>("checkingPin");
    QTest::addColumn<bool>("puk");

    QTest::newRow("empty") << "" << false << true << false;
    QTest::newRow("3 digits") << "123" << false << false << false;
    QTest::newRow("4 digits") << "1234" << true << true << false;
    QTest::newRow("7 digits") << "1234567" << false << false << false;
    QTest::newRow("8 digits") << "12345678" << false << false << true;
}

void TestMainWindowRules::codes()
{
    QFETCH(QString, text);
    QTEST(isPinComplete(text), "pin");
    QTEST(isCheckingPinAcceptable(text), "checkingPin");
    QTEST(isPukComplete(text), "puk");
    QCOMPARE(isUnblockInputComplete(text, "1234"), isPukComplete(text));
    QVERIFY(!isUnblockInputComplete("12345678", "123"));
}

void TestMainWindowRules::sendRule_data()
{
    QTest::addColumn<QString>("login");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("service");
    QTest::addColumn<bool>("needsPin");
    QTest::addColumn<QString>("pin");
    QTest::addColumn<QString>("file");
    QTest::addColumn<bool>("expected");

    QTest::newRow("all given, no PIN card") << "a" << "p" << true << false << "" << "" << true;
    QTest::newRow("no login") << "" << "p" << true << false << "" << "f" << false;
    QTest::newRow("no password") << "a" << "" << true << false << "" << "f" << false;
    QTest::newRow("no service") << "a" << "p" << false << false << "" << "f" << false;
    QTest::newRow("PIN card, nothing") << "a" << "p" << true << true << "" << "" << false;
    QTest::newRow("PIN card, PIN") << "a" << "p" << true << true << "1234" << "" << true;
    QTest::newRow("PIN card, file") << "a" << "p" << true << true << "" << "/x.ddd" << true;
}

void TestMainWindowRules::sendRule()
{
    QFETCH(QString, login);
    QFETCH(QString, password);
    QFETCH(bool, service);
    QFETCH(bool, needsPin);
    QFETCH(QString, pin);
    QFETCH(QString, file);
    QTEST(canSendUpload(login, password, service, needsPin, pin, file), "expected");
}

void TestMainWindowRules::counter_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("shown");
    QTest::newRow("42") << "42" << 42;
    QTest::newRow("-99") << "-99" << -99;
    QTest::newRow("-120") << "-120" << -99;
    QTest::newRow("not a number") << "x" << 0;
}

void TestMainWindowRules::counter()
{
    QFETCH(QString, text);
    QTEST(statusCounter(text), "shown");
}

void TestMainWindowRules::rows_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("expected"); // rows joined by '|'

    QTest::newRow("empty") << "" << QStringList();
    QTest::newRow("three lines, numbered down, apostrophes gone")
        << "'a@b.ru','RUD1','Сервер','01.06.2021','Выполнен'\r\n'c','RUM2','Архив','02.06.2021','Отклонён'\r\n"
           "'d','R'X','x','y','z'\r\n"
        << QStringList{"3|a@b.ru|RUD1|Сервер|01.06.2021|Выполнен", "2|c|RUM2|Архив|02.06.2021|Отклонён",
                       "1|d|RX|x|y|z"};
    QTest::newRow("empty lines dropped, empty fields kept")
        << "\r\n'u','','s','t','v','extra'\r\n\r\n" << QStringList{"1|u||s|t|v"};
    QTest::newRow("short line") << "'only'" << QStringList{"1|only"};
}

void TestMainWindowRules::rows()
{
    QFETCH(QString, text);
    QStringList got;
    for (const QStringList& row : statusRows(text))
        got << row.join('|');
    QTEST(got, "expected");
}

QTEST_GUILESS_MAIN(TestMainWindowRules)
#include "tst_mainwindow_rules.moc"
