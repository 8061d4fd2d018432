#include "net/UploadForm.h"

#include <QUrl>

#include <cstring>

namespace UploadForm {

namespace {

const QString tokenMarker = QStringLiteral("name=\"csrf_token\" value=\"");
const QString tokenEnd = QStringLiteral("\"/>");
const QByteArray loginInput = QByteArrayLiteral("input type=\"text\" name=\"login\" id=\"login\"");
const QByteArray passwordInput = QByteArrayLiteral("input type=\"password\" name=\"password\" id=\"password\"");

QByteArray formValue(const QString& value)
{
    return QUrl::toPercentEncoding(value);
}

}

QString csrfToken(const QByteArray& page, const QByteArray& contentType)
{
    // Decoding stops at the first zero byte, as a C string would.
    const int zero = page.indexOf('\0');
    const QByteArray bytes = zero < 0 ? page : page.left(zero);
    const QString text = contentType.contains("charset=utf-8") ? QString::fromUtf8(bytes)
                                                               : QString::fromLatin1(bytes);
    const int marker = text.indexOf(tokenMarker);
    if (marker < 0)
        return QString();
    const int start = marker + tokenMarker.size();
    const int end = text.indexOf(tokenEnd, start);
    // A token without its end is a broken page, not the rest of the page.
    if (end < 0)
        return QString();
    return text.mid(start, end - start);
}

// Built in the secret's own buffer, so no copy of the password is left.
SecretBytes loginBody(const QString& token, const QString& login, const SecretBytes& password)
{
    const QByteArray head = "csrf_token=" + formValue(token) + "&login=" + formValue(login) + "&password=";
    const QByteArray tail = QByteArrayLiteral("&redirect=");
    QByteArray encoded = password.bytes().toPercentEncoding();
    SecretBytes body = SecretBytes::filled(head.size() + encoded.size() + tail.size(), '\0');
    char* at = body.data();
    const QByteArray* parts[] = {&head, &encoded, &tail};
    for (const QByteArray* part : parts) {
        std::memcpy(at, part->constData(), size_t(part->size()));
        at += part->size();
    }
    SecretBytes::overwrite(encoded);
    return body;
}

bool isLoginForm(const QByteArray& reply)
{
    return reply.contains(loginInput) && reply.contains(passwordInput);
}

}
