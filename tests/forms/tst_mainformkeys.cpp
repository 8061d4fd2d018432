#include "FormHarness.h"
#include "ui_MainWindow.h"

#include <QRegExpValidator>
#include <QtTest>

namespace {

// The form shown and active, with the validators the host window installs.
struct ShownForm
{
    ShownForm()
    {
        ui.setupUi(&window);
        auto* pin = new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{4}")), &window);
        for (QLineEdit* edit : {ui.UnblockPinEdt, ui.CheckingPinEdt, ui.ReadPINEdt, ui.ANewPINEdt, ui.LKReadPINEdt})
            edit->setValidator(pin);
        ui.PUKEdt->setValidator(new QRegExpValidator(QRegExp(QStringLiteral("[0-9]{8}")), &window));
        window.show();
        QApplication::setActiveWindow(&window);
    }

    QMainWindow window;
    Ui_MainWindow ui;
};

} // namespace

class TestMainFormKeys : public QObject
{
    Q_OBJECT

private slots:
    // A key works only while its button is enabled and on the page shown; -1:
    // the button is on no page, so always shown.
    void shortcuts_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<int>("page");
        QTest::addColumn<int>("view");
        QTest::newRow("ReadCardsBtn") << "F2" << -1 << -1;
        QTest::newRow("RefreshStatusBtn") << "F6" << 0 << -1;
        QTest::newRow("StartCheckingBtn") << "Ctrl+Return" << 2 << -1;
        QTest::newRow("ClearPUKPIN") << "Ctrl+Backspace" << 3 << -1;
        QTest::newRow("LKSelectFileBtn") << "Ctrl+O" << 5 << -1;
        QTest::newRow("CardInfo2XLSBtn") << "Ctrl+T" << -1 << 0;
        QTest::newRow("lastAUB2csv") << "Alt+D" << -1 << 2;
    }

    void shortcuts()
    {
        QFETCH(QString, key);
        QFETCH(int, page);
        QFETCH(int, view);
        ShownForm form;
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        auto* button = form.window.findChild<QAbstractButton*>(QString::fromLatin1(QTest::currentDataTag()));
        QVERIFY(button);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        const auto press = [&] { QTest::keySequence(&form.window, QKeySequence(key)); };

        // A key press clicks with the pressed look first, so a button not
        // pressed at once is not clicked at all.
        form.ui.MainFrame->setCurrentIndex(page < 0 ? 1 : page);
        form.ui.ViewFrame->setCurrentIndex(view < 0 ? 0 : view);
        button->setEnabled(false);
        press();
        QVERIFY(!button->isDown());

        button->setEnabled(true);
        press();
        QVERIFY(button->isDown());
        QTRY_COMPARE(clicks.count(), 1);

        if (page >= 0)
            form.ui.MainFrame->setCurrentIndex((page + 1) % 6);
        if (view >= 0)
            form.ui.ViewFrame->setCurrentIndex((view + 1) % 3);
        if (page >= 0 || view >= 0) {
            press();
            QVERIFY(!button->isDown());
        }
        QCOMPARE(clicks.count(), 1);
    }

    // Return clicks the page's button only for a complete value and an
    // enabled button.
    void returnKey_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<bool>("clicks");
        QTest::newRow("read pin") << "ReadPINEdt" << "SubmitPINBtn" << 1 << "1234" << true << true;
        QTest::newRow("read pin, three digits") << "ReadPINEdt" << "SubmitPINBtn" << 1 << "123" << true << false;
        QTest::newRow("read pin, button off") << "ReadPINEdt" << "SubmitPINBtn" << 1 << "1234" << false << false;
        QTest::newRow("diagnosis pin") << "CheckingPinEdt" << "StartCheckingBtn" << 2 << "0000" << true << true;
        QTest::newRow("diagnosis pin, letters")
            << "CheckingPinEdt" << "StartCheckingBtn" << 2 << "12ab" << true << false;
        QTest::newRow("new pin") << "UnblockPinEdt" << "UnblockBtn" << 3 << "9876" << true << true;
        QTest::newRow("upload pin does nothing") << "LKReadPINEdt" << "LKSendBtn" << 5 << "1234" << true << false;
    }

    void returnKey()
    {
        QFETCH(QString, edit);
        QFETCH(QString, button);
        QFETCH(int, page);
        QFETCH(QString, typed);
        QFETCH(bool, enabled);
        QFETCH(bool, clicks);
        ShownForm form;
        form.ui.MainFrame->setCurrentIndex(page);
        auto* field = form.window.findChild<QLineEdit*>(edit);
        auto* target = form.window.findChild<QAbstractButton*>(button);
        QVERIFY(field && target);
        target->setEnabled(enabled);
        QSignalSpy spy(target, &QAbstractButton::clicked);
        field->setFocus();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        if (clicks) {
            QVERIFY(target->isDown()); // the pressed look of the animated click
            QTRY_COMPARE(spy.count(), 1);
        } else {
            QVERIFY(!target->isDown());
            QCOMPARE(spy.count(), 0);
        }
        QVERIFY(animationsSettled(&form.window));
    }

    void returnInPukMovesToNewPin()
    {
        ShownForm form;
        QVERIFY(QTest::qWaitForWindowActive(&form.window));
        form.ui.MainFrame->setCurrentIndex(3);
        form.ui.UnblockBtn->setEnabled(true);
        form.ui.PUKEdt->setFocus();
        QTest::keyClicks(form.ui.PUKEdt, QStringLiteral("1234567"));
        QTest::keyClick(form.ui.PUKEdt, Qt::Key_Return);
        QVERIFY(form.ui.PUKEdt->hasFocus());
        QTest::keyClicks(form.ui.PUKEdt, QStringLiteral("8"));
        QTest::keyClick(form.ui.PUKEdt, Qt::Key_Return);
        QVERIFY(form.ui.UnblockPinEdt->hasFocus());
        QVERIFY(!form.ui.UnblockBtn->isDown());
        QVERIFY(animationsSettled(&form.window));
    }
};

QTEST_MAIN(TestMainFormKeys)
#include "tst_mainformkeys.moc"
