#include "ui/PassPhraseDialog.h"

#include "ui/services/drvpInputDialog.h"

#include <QLineEdit>

bool askPassPhrase(QByteArray &passPhrase)
{
    drvpInputDialog dialog;
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Password);
    dialog.setLabelText(QStringLiteral("Пароль закрытого ключа"));
    dialog.setCancelButtonText(QStringLiteral("Отменить"));
    const bool accepted = dialog.exec() == QDialog::Accepted;
    QString typed = dialog.textValue();
    dialog.setTextValue(QString());
    if (accepted)
        passPhrase = typed.toUtf8();
    typed.fill(QChar(0));
    return accepted;
}
