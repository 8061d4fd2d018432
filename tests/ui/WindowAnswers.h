#pragma once

#include "tests/support/ModalBoxes.h"
#include "tests/support/UnblockServerProcess.h"

#include <QFile>
#include <QInputDialog>
#include <QLineEdit>
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
