// The command buttons each card kind and type gets, without a window.

#include "ui/MainWindowRules.h"

#include <QtTest>

using namespace MainWindowRules;

Q_DECLARE_METATYPE(MainWindowRules::ButtonState)

class TestMainWindowRules : public QObject
{
    Q_OBJECT

private slots:
    void buttons_data()
    {
        QTest::addColumn<ButtonState>("state");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("type");
        // Upload, Read, AutoUnblock, Checking, UnblockCard, Cancel.
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

    void buttons()
    {
        QFETCH(ButtonState, state);
        QFETCH(int, kind);
        QFETCH(int, type);
        const CommandButtons b = commandButtons(state, quint8(kind), quint8(type));
        QString got;
        for (bool on : {b.upload, b.read, b.autoUnblock, b.checking, b.unblock, b.cancel})
            got += on ? '1' : '0';
        QTEST(got, "expected");
    }
};

QTEST_GUILESS_MAIN(TestMainWindowRules)
#include "tst_mainwindow_rules.moc"
