#include "ui/PassPhraseDialog.h"

#include "ui/services/drvpInputDialog.h"

#include <QLineEdit>

bool askPassPhrase(SecretBytes &passPhrase)
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
        passPhrase = SecretBytes::fromText(typed);
    typed.fill(QChar(0));
    return accepted;
}
