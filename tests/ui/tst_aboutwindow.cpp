#include "config/Config.h"
#include "ui/AboutWindow.h"

#include <QLabel>
#include <QSignalSpy>
#include <QToolButton>
#include <QtTest>

class TestAboutWindow : public QObject
{
    Q_OBJECT

private slots:
    void showsTheRunningProgram()
    {
        QCoreApplication::setOrganizationName("ВОРНТЕХ");
        QCoreApplication::setOrganizationDomain("https://vorntech.example");
        QCoreApplication::setApplicationName("Дравек Про");
        QCoreApplication::setApplicationVersion("3.1.1.0");
        Config config;
        config.setDefaults();
        config.appInfo["AppDeveloperEmail"] = "info@example.ru";
        config.appInfo["AppDeveloperTechsupport"] = "help@example.ru";
        AboutWindow window;
        window.config = &config;
        window.on_ShowAbout();
        QStringList texts;
        for (const char *name : {"VersionLbl", "WebLbl", "EmailLbl", "TechSupLbl"})
            texts << window.findChild<QLabel *>(name)->text();
        QCOMPARE(texts, QStringList({"Версия 3.1.1.0, сборка от 07.06.2021",
                                     "Web: <a href=\"https://vorntech.example\">https://vorntech.example</a>",
                                     "По общим вопросам: <a href=\"mailto:info@example.ru\">info@example.ru</a>",
                                     "Техподдержка: <a href=\"mailto:help@example.ru\">help@example.ru</a>"}));
        // A click on an address reaches its link, which the label does not open itself.
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QStringList clicked;
        for (const char *name : {"WebLbl", "EmailLbl", "TechSupLbl"}) {
            auto *label = window.findChild<QLabel *>(name);
            QSignalSpy activated(label, &QLabel::linkActivated);
            // Right-aligned: the address ends at the label's right edge.
            QTest::mouseClick(label, Qt::LeftButton, {}, {label->contentsRect().right() - 3, label->height() / 2});
            clicked << (activated.isEmpty() ? "<none>" : activated.first().first().toString());
        }
        QCOMPARE(clicked,
                 QStringList({"https://vorntech.example", "mailto:info@example.ru", "mailto:help@example.ru"}));
        QTest::mouseClick(window.findChild<QToolButton *>("AboutOKBtn"), Qt::LeftButton);
        QVERIFY(!window.isVisible());
    }
};

QTEST_MAIN(TestAboutWindow)
#include "tst_aboutwindow.moc"
