#ifndef DRVP_TESTS_MODALCATCHER_H
#define DRVP_TESTS_MODALCATCHER_H

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QStringList>
#include <QTimer>

// Closes every modal message box with its OK button while it exists, and
// keeps what each box showed.
class ModalCatcher
{
public:
    ModalCatcher()
    {
        timer.setInterval(20);
        QObject::connect(&timer, &QTimer::timeout, &timer, [this] { closeActiveBox(); });
        timer.start();
    }

    QStringList texts;
    QStringList informativeTexts;
    QList<Qt::WindowFlags> flags;

private:
    void closeActiveBox()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box)
            return;
        texts.append(box->text());
        informativeTexts.append(box->informativeText());
        flags.append(box->windowFlags());
        if (QAbstractButton* ok = box->button(QMessageBox::Ok))
            ok->click();
        else
            box->reject();
    }

    QTimer timer;
};

#endif
