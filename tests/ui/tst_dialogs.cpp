#include "ui/services/drvpFileDialog.h"
#include "ui/services/drvpInputDialog.h"
#include "ui/services/drvpMessageBox.h"
#include "ui/services/drvpProgressDialog.h"

#include <QIcon>
#include <QtTest>

#include <memory>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void frameAndIcon();
    void fileDialogIsNeverNative();
    void progressDialogKeepsItsDefaults();
};

void TestDialogs::frameAndIcon()
{
    std::unique_ptr<QDialog> dialogs[] = {std::make_unique<drvpMessageBox>(), std::make_unique<drvpInputDialog>(),
                                          std::make_unique<drvpFileDialog>(), std::make_unique<drvpProgressDialog>()};
    const QImage icon = QImage(QStringLiteral(":/icons/shortlogo.ico")).convertToFormat(QImage::Format_ARGB32);
    QVERIFY(!icon.isNull());
    for (const auto& dialog : dialogs) {
        QVERIFY(dialog->isWindow() && !dialog->parentWidget());
        const Qt::WindowFlags flags = dialog->windowFlags();
        QVERIFY(flags.testFlag(Qt::FramelessWindowHint));
        QVERIFY(flags.testFlag(Qt::BypassWindowManagerHint));
        QVERIFY(!flags.testFlag(Qt::NoDropShadowWindowHint));
        QCOMPARE(dialog->windowIcon().pixmap(icon.size()).toImage().convertToFormat(QImage::Format_ARGB32), icon);
    }
}

void TestDialogs::fileDialogIsNeverNative()
{
    drvpFileDialog dialog;
    QCOMPARE(dialog.options(), QFileDialog::Options(QFileDialog::DontUseNativeDialog));
}

void TestDialogs::progressDialogKeepsItsDefaults()
{
    drvpProgressDialog dialog;
    const QProgressDialog plain;
    QCOMPARE(dialog.labelText(), plain.labelText());
    QCOMPARE(dialog.maximum(), plain.maximum());
    QCOMPARE(dialog.value(), plain.value());
    QCOMPARE(dialog.minimumDuration(), plain.minimumDuration());
    QVERIFY(!dialog.isModal());
}

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
