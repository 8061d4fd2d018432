#pragma once

#include "tests/support/ModalBoxes.h"
#include "tests/support/UnblockServerProcess.h"

#include <QFile>
#include <QIcon>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTest>

// The pass phrase of the test user's key file.
inline QString keyPassPhrase()
{
    QFile file(UnblockServerProcess::certPath("passphrase.txt"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).trimmed() : QString();
}

// Answers the pass-phrase dialog by typing into it, then accepts or cancels;
// *left gets the last text the dialog's edit held before it went away.
inline ModalAnswer typePassPhrase(const QString& phrase, bool accept, QString* left)
{
    return [=](QDialog* dialog) {
        auto* input = qobject_cast<QInputDialog*>(dialog);
        auto* edit = input ? input->findChild<QLineEdit*>() : nullptr;
        if (!edit)
            return;
        QObject::connect(edit, &QLineEdit::textChanged, [left](const QString& text) { *left = text; });
        QTest::keyClicks(edit, phrase);
        if (accept)
            input->accept();
        else
            input->reject();
    };
}

// The state (0 to 3) of the step picture an icon or a step label shows, or -1.
inline int iconState(const QIcon& icon, const QString& kind)
{
    const QImage shown = icon.pixmap(16, 16).toImage();
    for (int state = 0; state < 4; ++state) {
        if (QIcon(QStringLiteral(":/imgs/step_%1%2.png").arg(kind).arg(state)).pixmap(16, 16).toImage() == shown)
            return state;
    }
    return -1;
}

inline int stepState(const QLabel* label, const QString& kind)
{
    return label ? iconState(QIcon(label->pixmap(Qt::ReturnByValue)), kind) : -1;
}
