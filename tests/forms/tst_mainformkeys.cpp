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
    // A key clicks its button on the page shown, not on another page; -1:
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
        button->setEnabled(true);
        QSignalSpy clicks(button, &QAbstractButton::clicked);
        form.ui.MainFrame->setCurrentIndex(page < 0 ? 1 : page);
        form.ui.ViewFrame->setCurrentIndex(view < 0 ? 0 : view);
        QTest::keySequence(&form.window, QKeySequence(key));
        QTRY_COMPARE(clicks.count(), 1);

        form.ui.MainFrame->setCurrentIndex((qMax(page, 1) + 1) % 6);
        form.ui.ViewFrame->setCurrentIndex((qMax(view, 0) + 1) % 3);
        QTest::keySequence(&form.window, QKeySequence(key));
        QVERIFY(button->isDown() == (page < 0 && view < 0));
    }

    // Return clicks the page's button only for a complete value.
    void returnKey_data()
    {
        QTest::addColumn<QString>("edit");
        QTest::addColumn<QString>("button");
        QTest::addColumn<int>("page");
        QTest::addColumn<QString>("typed");
        QTest::addColumn<bool>("clicks");
        QTest::newRow("read pin") << "ReadPINEdt" << "SubmitPINBtn" << 1 << "1234" << true;
        QTest::newRow("read pin, three digits") << "ReadPINEdt" << "SubmitPINBtn" << 1 << "123" << false;
        QTest::newRow("diagnosis pin") << "CheckingPinEdt" << "StartCheckingBtn" << 2 << "0000" << true;
        QTest::newRow("new pin") << "UnblockPinEdt" << "UnblockBtn" << 3 << "9876" << true;
        QTest::newRow("upload pin does nothing") << "LKReadPINEdt" << "LKSendBtn" << 5 << "1234" << false;
    }

    void returnKey()
    {
        QFETCH(QString, edit);
        QFETCH(QString, button);
        QFETCH(int, page);
        QFETCH(QString, typed);
        QFETCH(bool, clicks);
        ShownForm form;
        form.ui.MainFrame->setCurrentIndex(page);
        auto* field = form.window.findChild<QLineEdit*>(edit);
        auto* target = form.window.findChild<QAbstractButton*>(button);
        QVERIFY(field && target);
        target->setEnabled(true);
        QSignalSpy spy(target, &QAbstractButton::clicked);
        field->setFocus();
        QTest::keyClicks(field, typed);
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(target->isDown(), clicks); // the pressed look of the animated click
        QTRY_COMPARE(spy.count(), int(clicks));
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
