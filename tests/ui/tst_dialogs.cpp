#include "ui/services/drvpFileDialog.h"
#include "ui/services/drvpInputDialog.h"
#include "ui/services/drvpMessageBox.h"
#include "ui/services/drvpProgressDialog.h"

#include <QtTest>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    void frameIconAndLook()
    {
        drvpMessageBox box;
        drvpInputDialog input;
        drvpFileDialog file;
        drvpProgressDialog progress;
        const QImage icon = QImage(":/icons/shortlogo.ico").convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!icon.isNull());
        for (QDialog* dialog : std::initializer_list<QDialog*>{&box, &input, &file, &progress}) {
            QVERIFY(dialog->isWindow() && !dialog->parentWidget());
            const Qt::WindowFlags flags = dialog->windowFlags();
            QVERIFY(flags.testFlag(Qt::FramelessWindowHint) && flags.testFlag(Qt::BypassWindowManagerHint));
            QVERIFY(!flags.testFlag(Qt::NoDropShadowWindowHint));
            QCOMPARE(dialog->windowIcon().pixmap(icon.size()).toImage().convertToFormat(QImage::Format_ARGB32), icon);
        }
        // Qt's own file dialog, so that the style sheet reaches it.
        QCOMPARE(file.options(), QFileDialog::Options(QFileDialog::DontUseNativeDialog));
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
