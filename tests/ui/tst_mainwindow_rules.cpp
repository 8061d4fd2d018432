// What the real-card window tests cannot reach on their own: when an upload
// may be sent, and when typed codes are complete.

#include "ui/MainWindowRules.h"

#include <QtTest>

using namespace MainWindowRules;

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void uploadSendRule_data()
    {
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::addColumn<bool>("service");
        QTest::addColumn<bool>("needsPin");
        QTest::addColumn<QString>("pin");
        QTest::addColumn<QString>("file");
        QTest::addColumn<bool>("send");

        QTest::newRow("all given") << "driver" << "secret" << true << false << "" << "" << true;
        QTest::newRow("no service") << "driver" << "secret" << false << false << "" << "" << false;
        QTest::newRow("no login") << "" << "secret" << true << false << "" << "" << false;
        QTest::newRow("no password") << "driver" << "" << true << false << "" << "" << false;
        QTest::newRow("PIN card, no PIN") << "driver" << "secret" << true << true << "" << "" << false;
        QTest::newRow("PIN card, short PIN") << "driver" << "secret" << true << true << "123" << "" << false;
        QTest::newRow("PIN card, whole PIN") << "driver" << "secret" << true << true << "1234" << "" << true;
        QTest::newRow("PIN card, a file") << "driver" << "secret" << true << true << "" << "a.ddd" << true;
    }

    void uploadSendRule()
    {
        QFETCH(QString, login);
        QFETCH(QString, password);
        QFETCH(bool, service);
        QFETCH(bool, needsPin);
        QFETCH(QString, pin);
        QFETCH(QString, file);
        QTEST(canSendUpload(login, password, service, needsPin, pin, file), "send");
    }

    void codesComplete()
    {
        QVERIFY(isUnblockInputComplete("12345678", "1234"));
        QVERIFY(!isUnblockInputComplete("1234567", "1234"));
        QVERIFY(!isUnblockInputComplete("12345678", "123"));
        // A diagnosis may also run without a PIN.
        QVERIFY(isCheckingPinAcceptable("") && isCheckingPinAcceptable("1234"));
        QVERIFY(!isCheckingPinAcceptable("123"));
    }
};

QTEST_GUILESS_MAIN(TestMainWindowRules)
#include "tst_mainwindow_rules.moc"
