#pragma once

#include "card/SecretBytes.h"

#include <QByteArray>
#include <QString>

// The web services' login form: the token on the login page, the posted
// form, and the sign that a login was refused.
namespace UploadForm {

// Token of the login page; empty when the page holds no complete token.
QString csrfToken(const QByteArray& page, const QByteArray& contentType);

// The form body, each value percent-encoded as a browser encodes a form.
SecretBytes loginBody(const QString& token, const QString& login, const SecretBytes& password);

// True when the reply is the login form again, the services' way to refuse.
bool isLoginForm(const QByteArray& reply);

}
