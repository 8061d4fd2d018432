#include "ui/services/drvpFileDialog.h"
#include "ui/services/drvpInputDialog.h"
#include "ui/services/drvpMessageBox.h"
#include "ui/services/drvpProgressDialog.h"

#include <QtTest>

class TestDialogs : public QObject
{
    Q_OBJECT

private slots:
    // What a lost resource or a native dialog would break; the window flags
    // are plain settings of the constructors.
    void iconAndOwnFileDialog()
    {
        const QImage icon = QImage(":/icons/shortlogo.ico").convertToFormat(QImage::Format_ARGB32);
        QVERIFY(!icon.isNull());
        drvpMessageBox box;
        drvpInputDialog input;
        drvpFileDialog file;
        drvpProgressDialog progress;
        for (QDialog* dialog : std::initializer_list<QDialog*>{&box, &input, &file, &progress})
            QCOMPARE(dialog->windowIcon().pixmap(icon.size()).toImage().convertToFormat(QImage::Format_ARGB32), icon);
        QVERIFY(file.testOption(QFileDialog::DontUseNativeDialog)); // so that the style sheet reaches it
    }
};

QTEST_MAIN(TestDialogs)
#include "tst_dialogs.moc"
