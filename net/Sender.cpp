#include "net/Sender.h"

#include "card/TextExcerpt.h"
#include "net/UploadFileReader.h"
#include "net/UploadForm.h"
#include "net/UploadTables.h"
#include "ui/services/MultiProgressElement.h"

#include <QDebug>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

#include <utility>

namespace {

constexpr int defaultRequestTimeoutMsec = 60000;
// A login page or a JSON-RPC answer is a few kilobytes.
constexpr qint64 maxReplyBytes = 4 * 1024 * 1024;
// Room for the address and the server's status line, which the network layer
// puts into its error text however long the server made it.
constexpr int networkTextKeep = 400;

const QString timeoutText = QStringLiteral("Истекло время ожидания ответа сервера");
const QString tooLargeText = QStringLiteral("Ответ сервера превышает %1 МБ").arg(maxReplyBytes / (1024 * 1024));

}

Sender::Sender(QObject* parent)
    : QObject(parent)
    , manager(new QNetworkAccessManager(this))
    , fileReader(new UploadFileReader(this))
    , requestTimer(new QTimer(this))
{
    connect(fileReader, &UploadFileReader::finished, this, &Sender::onFileRead);
    manager->setCookieJar(new QNetworkCookieJar(manager));
    requestTimer->setSingleShot(true);
    requestTimer->setTimerType(Qt::PreciseTimer);
    requestTimer->setInterval(defaultRequestTimeoutMsec);
    connect(requestTimer, &QTimer::timeout, this, [this] { abortPending(timeoutText); });
    // Only reports TLS problems on the debug output; the failing request
    // reaches its step as an ordinary error.
    connect(manager, &QNetworkAccessManager::sslErrors, this, &Sender::ignoreSslErrors);
}

void Sender::setService(quint8 service)
{
    if (!isBusy())
        this->service = service;
}

void Sender::setServer(const QString& url)
{
    if (!isBusy())
        server = url;
}

void Sender::setFilePath(const QString& path)
{
    if (!isBusy())
        filePath = path;
}

void Sender::setRequestTimeout(int msec)
{
    requestTimer->setInterval(msec);
}

bool Sender::isBusy() const
{
    return pending != nullptr || fileReader->isRunning();
}

void Sender::acceptLogin(const QString& username, SecretBytes password, MultiProgressElement* progress)
{
    // Two chains would share the fields and the progress element.
    if (isBusy()) {
        log(1, QStringLiteral("\nПредупреждение: Предыдущая отправка файла ещё не завершена."));
        password.wipe();
        return;
    }
    this->progress = progress;
    login = username;
    this->password = password;
    fileReader->start(filePath, service == 1 ? rpcTachoDddFileCreateBody : rpcDddFileCreateBody);
}

void Sender::ignoreSslErrors(QNetworkReply*, QList<QSslError> errors)
{
    for (const QSslError& error : qAsConst(errors))
        qDebug() << "Ssl Errors" << error.errorString();
}

// The file is read before the login, so that a file that cannot be sent
// ends the upload before anything goes out.
void Sender::onFileRead()
{
    UploadFileReader::Outcome file = fileReader->takeOutcome();
    if (!file.read) {
        password.wipe();
        show(3, QStringLiteral("Ошибка чтения ddd-файла"));
        log(2, QStringLiteral("\nОшибка: Не удалось прочитать файл %1. %2").arg(filePath, file.errorString));
        return;
    }
    createBody = std::move(file.body);
    step01GetLoginPage();
}

void Sender::step01GetLoginPage()
{
    const QString text = uploadStepTexts.value(1).arg(server);
    show(1, text);
    log(0, text);
    await(manager->get(pageRequest(loginPath)), &Sender::step02Login);
}

void Sender::step02Login()
{
    const Answer answer = takeAnswer();
    if (answer.failed) {
        password.wipe();
        show(3, QStringLiteral("Ошибка подключения"));
        log(2, QStringLiteral("\nОшибка: ") + answer.errorText);
        return;
    }
    csrf_token = UploadForm::csrfToken(answer.body, answer.contentType);
    log(0, uploadStepTexts.value(2).arg(login));

    loginBody = UploadForm::loginBody(csrf_token, login, password);
    password.wipe();
    QNetworkRequest request = pageRequest(loginPath);
    request.setRawHeader("Content-Type", "application/x-www-form-urlencoded");
    request.setRawHeader("Content-Length", QByteArray::number(loginBody.size()));
    await(manager->post(request, loginBody.bytes()), &Sender::step03GetPostForm);
}

void Sender::step03GetPostForm()
{
    const Answer answer = takeAnswer();
    loginBody.wipe();
    if (answer.failed) {
        show(3, QStringLiteral("Ошибка подключения"));
        log(2, QStringLiteral("\nОшибка:") + answer.errorText);
        return;
    }
    if (UploadForm::isLoginForm(answer.body)) {
        show(3, QStringLiteral("Доступ отклонён!"));
        log(2, QStringLiteral("\nОшибка: Доступ отклонён!"));
        return;
    }
    step04PostDDD();
}

QNetworkRequest Sender::pageRequest(const QString& path) const
{
    QNetworkRequest request(QUrl(server + path, QUrl::TolerantMode));
    request.setRawHeader("Accept", "text/html, application/xhtml+xml, */*");
    request.setRawHeader("Accept-Language", "ru,en;q=0.8,en-US;q=0.5,ru-RU;q=0.3");
    return request;
}

QNetworkRequest Sender::rpcRequest(const QString& path, int length) const
{
    QNetworkRequest request(QUrl(server + path, QUrl::TolerantMode));
    request.setRawHeader("Accept", "application/json, text/javascript, */*; q=0.01");
    request.setRawHeader("Content-Type", "application/json");
    request.setRawHeader("Accept-Language", "ru,en;q=0.8,en-US;q=0.5,ru-RU;q=0.3");
    request.setRawHeader("Content-Length", QByteArray::number(length));
    return request;
}

void Sender::postRpc(const QString& path, const QByteArray& body, Step next)
{
    await(manager->post(rpcRequest(path, body.size()), body), next);
}

void Sender::await(QNetworkReply* reply, Step next)
{
    pending = reply;
    abortReason.clear();
    connect(reply, &QNetworkReply::finished, this, next);
    // A server that trickles or floods must not hold the upload or fill
    // memory: the limits are on the whole request and on the reply's size.
    connect(reply, &QNetworkReply::downloadProgress, this, &Sender::onReplyProgress);
    requestTimer->start();
}

void Sender::onReplyProgress(qint64 received, qint64 total)
{
    if (received > maxReplyBytes || total > maxReplyBytes)
        abortPending(tooLargeText);
}

void Sender::abortPending(const QString& reason)
{
    if (!pending || pending->isFinished())
        return;
    abortReason = reason;
    pending->abort();
}

Sender::Answer Sender::takeAnswer()
{
    QNetworkReply* reply = pending;
    pending = nullptr;
    requestTimer->stop();

    Answer answer;
    answer.failed = reply->error() != QNetworkReply::NoError;
    answer.errorText = abortReason.isEmpty() ? textExcerpt(reply->errorString(), networkTextKeep) : abortReason;
    answer.body = answer.failed ? QByteArray() : reply->readAll();
    answer.contentType = reply->rawHeader("Content-Type");
    abortReason.clear();
    reply->deleteLater();
    return answer;
}

void Sender::show(quint8 state, const QString& text)
{
    // The step texts are the log's, which open with a line break; the page's
    // one-line label would show only that empty first line.
    int start = 0;
    while (start < text.size() && (text.at(start) == QLatin1Char('\n') || text.at(start) == QLatin1Char('\r')))
        ++start;
    if (progress)
        progress->setCurrentState(state, text.mid(start));
}

void Sender::log(uchar type, const QString& text)
{
    emit logginMessage(type, text);
}
