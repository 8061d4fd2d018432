// Feeds arbitrary bytes to everything the upload client reads from the web
// services: the login page (token, login-form check) and the JSON-RPC replies
// (error code, message and data, the created record number, the processing
// state, message ids and bodies). First byte: bit 0 chooses a UTF-8 content
// type for the page; the rest is the reply body.
// Checks that a token never breaks out of its form field and that a record
// number is a positive integer the reply really holds, or 0.

#include "net/UploadForm.h"
#include "net/UploadRpc.h"

#include <QJsonDocument>
#include <QJsonValue>
#include <QUrl>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

void check(bool holds)
{
    if (!holds)
        std::abort();
}

void readLoginPage(const QByteArray &page, bool utf8)
{
    const QString token =
        UploadForm::csrfToken(page, utf8 ? QByteArrayLiteral("text/html; charset=utf-8") : QByteArrayLiteral("text/html"));
    check(!token.contains(QLatin1String("\"/>")));
    const SecretBytes form = UploadForm::loginBody(token, QStringLiteral("user"), SecretBytes("secret"));
    const QByteArray& body = form.bytes();
    const QByteArray field = body.mid(int(qstrlen("csrf_token=")), body.indexOf('&') - int(qstrlen("csrf_token=")));
    check(body.startsWith("csrf_token=") && body.endsWith("&login=user&password=secret&redirect="));
    check(QUrl::fromPercentEncoding(field) == token);
    (void)UploadForm::isLoginForm(page);
}

void readError(const QJsonObject &error)
{
    const QString code = UploadRpc::errorCode(error);
    check(!code.isEmpty() && code.size() <= 13);
    (void)error.value("message").toString().toHtmlEscaped();
    const QJsonObject data = error.value("data").toObject();
    if (data.contains("arguments"))
        (void)QString::fromUtf8(QJsonDocument(data.value("arguments").toArray()).toJson()).toHtmlEscaped();
}

void readResult(const QJsonValue &result)
{
    const int record = UploadRpc::recordNumber(result);
    check(record == 0 || (record > 0 && result.isDouble() && double(record) == result.toDouble()));

    const QJsonObject first = result.toArray().at(0).toObject();
    (void)(first.value("state").toString() == QLatin1String("error"));
    const QJsonValue ids = first.value("message_ids");
    if (ids.isArray()) {
        for (const QJsonValue &id : ids.toArray())
            (void)id.toInt(0);
    }
    (void)first.value("body").toString().toHtmlEscaped();
}

} // namespace

// Qt is built without frame pointers: only the slow unwinder sees that a leak
// lies inside QJsonDocument::fromJson, which the leak suppressions name.
extern "C" const char *__asan_default_options()
{
    return "fast_unwind_on_malloc=0";
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *input, size_t size)
{
    if (size < 1)
        return 0;
    const QByteArray body(reinterpret_cast<const char *>(input + 1), int(size - 1));
    readLoginPage(body, input[0] & 1);

    const QJsonObject reply = UploadRpc::replyObject(body);
    if (reply.contains("error"))
        readError(reply.value("error").toObject());
    readResult(reply.value("result"));
    return 0;
}
