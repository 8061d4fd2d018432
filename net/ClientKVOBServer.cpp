#include "net/ClientKVOBServer.h"

#include "card/TextExcerpt.h"
#include "config/Config.h"
#include "net/KvobProtocol.h"
#include "net/KvobReplyReader.h"
#include "ui/services/MultiProgressElement.h"

#include <QMetaObject>
#include <QMetaType>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslError>
#include <QSslSocket>

namespace {

const int defaultTimeout = 18000;

enum : uchar { LogInfo = 0, LogError = 2 };
enum : quint8 { StateDone = 2, StateFailed = 3 };

const QString connectFailedText = QStringLiteral("Ошибка подключения к серверу разблокировки");
const QString formatStepText = QStringLiteral("Ошибка формата ответа сервера");
const QString formatLogText = QStringLiteral("Ошибка в формате ответа сервера разблокировки.");

} // namespace

ClientKVOBServer::ClientKVOBServer(QObject* parent)
    : QObject(parent)
{
    // makeCommand arrives queued from the reader-manager thread.
    qRegisterMetaType<MultiProgressElement*>("MultiProgressElement*");
    qRegisterMetaType<SecretBytes>();
    timer.setSingleShot(true);
    // A coarse timer may end a command up to a twentieth of its limit early.
    timer.setTimerType(Qt::PreciseTimer);
}

ClientKVOBServer::~ClientKVOBServer()
{
    // Tear the connection down without letting it call back into a half
    // destroyed object; nothing is emitted.
    if (socket) {
        socket->disconnect(this);
        delete socket;
    }
}

void ClientKVOBServer::setConfig(const Config* cfg)
{
    config = cfg;
}

void ClientKVOBServer::on_MakeCommand(MultiProgressElement* prg_element, const QString& command,
                                      const QStringList& params)
{
    pending.enqueue(Command{prg_element, prg_element ? prg_element->currentGeneration() : 0, command, params});
    scheduleNextCommand();
}

void ClientKVOBServer::scheduleNextCommand()
{
    // Started from the event loop, so a result never reaches a caller from
    // inside its own makeCommand, nor a command starts inside another's result.
    if (active || startScheduled || pending.isEmpty())
        return;
    startScheduled = true;
    QMetaObject::invokeMethod(this, &ClientKVOBServer::startNextCommand, Qt::QueuedConnection);
}

void ClientKVOBServer::startNextCommand()
{
    startScheduled = false;
    if (active || pending.isEmpty())
        return;
    beginCommand(pending.dequeue());
    if (checkParams())
        connectToServer();
}

void ClientKVOBServer::beginCommand(const Command& command)
{
    active = true;
    progress = command.progress;
    progressGeneration = command.generation;
    cmd = command.cmd;
    param1 = command.params.value(0);
    param2 = command.params.value(1);
    reply = std::make_unique<KvobReplyReader>();
}

bool ClientKVOBServer::checkParams()
{
    if (KvobProtocol::requestCode(cmd) == KvobProtocol::CodeWithoutParams)
        return true;
    if (KvobProtocol::isSafeParam(param1) && KvobProtocol::isSafeParam(param2))
        return true;
    fail(QStringLiteral("Недопустимые символы в параметрах запроса"),
         QStringLiteral("Запрос \"%1\" не отправлен на сервер разблокировки: параметры содержат недопустимые символы.")
             .arg(cmd));
    return false;
}

void ClientKVOBServer::connectToServer()
{
    setMessage(QStringLiteral("Подключение к серверу разблокировки"));

    // The configured authority is the only one trusted; without it every
    // server is refused.
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    QList<QSslCertificate> authorities;
    if (config) {
        tls.setPrivateKey(config->userKey);
        tls.setLocalCertificate(config->userCert);
        if (!config->caCert.isNull())
            authorities << config->caCert;
    }
    tls.setCaCertificates(authorities);
    tls.setProtocol(QSsl::TlsV1_2);
    tls.setPeerVerifyMode(QSslSocket::VerifyPeer);
    tls.setPeerVerifyDepth(1);

    socket = new QSslSocket(this);
    socket->setSslConfiguration(tls);
    connect(socket, &QSslSocket::encrypted, this, &ClientKVOBServer::on_Encrypted);
    connect(socket, &QSslSocket::peerVerifyError, this, &ClientKVOBServer::on_peerVerifyError);
    connect(socket, QOverload<const QList<QSslError>&>::of(&QSslSocket::sslErrors), this,
            &ClientKVOBServer::on_sslErrors);
#if QT_VERSION >= QT_VERSION_CHECK(5, 15, 0)
    connect(socket, &QAbstractSocket::errorOccurred, this, &ClientKVOBServer::on_error);
#else
    connect(socket, QOverload<QAbstractSocket::SocketError>::of(&QAbstractSocket::error), this,
            &ClientKVOBServer::on_error);
#endif

    armTimer(&ClientKVOBServer::on_ConnectTimeout);
    const quint16 port = quint16(setting(QStringLiteral("Port")).toUInt() % 65536);
    socket->connectToHostEncrypted(setting(QStringLiteral("Server")), port, QIODevice::ReadWrite,
                                   QAbstractSocket::IPv4Protocol);
}

void ClientKVOBServer::on_Encrypted()
{
    disarmTimer();
    setCurrentState(StateDone, QStringLiteral("Установлено соединение с сервером"));
    log(LogInfo, QStringLiteral("Установлено защищенное соединение с сервером разблокировки - %1:%2")
                     .arg(setting(QStringLiteral("Server")), setting(QStringLiteral("Port"))));
    connect(socket, &QIODevice::readyRead, this, &ClientKVOBServer::on_Response);
    sendRequest();
}

void ClientKVOBServer::sendRequest()
{
    nextStep(QStringLiteral("Отправка запроса на сервер"));

    QString request;
    if (KvobProtocol::requestCode(cmd) == KvobProtocol::CodeWithoutParams) {
        request = KvobProtocol::buildPlainRequest(cmd);
        log(LogInfo, QStringLiteral("Отправка запроса \"%1\" на сервер разблокировки.").arg(cmd));
    } else {
        request = KvobProtocol::buildParamRequest(cmd, param1, param2);
        log(LogInfo, QStringLiteral("Отправка запроса \"%1\" по карте %2 / %3 на сервер разблокировки.")
                         .arg(cmd, param1, param2));
    }

    // The timer runs before the bytes go out, so no reply can beat it. The
    // write only queues the bytes; the event loop sends them.
    armTimer(&ClientKVOBServer::on_ResponseTimeout);
    const QByteArray frame = KvobProtocol::frameRequest(request);
    if (socket->write(frame) != frame.size()) {
        fail(connectFailedText, QStringLiteral("%1 - %2").arg(int(socket->error())).arg(socket->errorString()));
        return;
    }

    nextStep(QStringLiteral("Ожидание ответа сервера"));
    log(LogInfo, QStringLiteral("Запрос \"%1\" успешно отправлен на сервер разблокировки.").arg(cmd));
}

void ClientKVOBServer::on_Response()
{
    if (!active || !socket || !reply)
        return;
    const bool firstChunk = !reply->headerReceived();
    if (firstChunk)
        setMessage(QStringLiteral("Прием ответа сервера"));

    QByteArray chunk = socket->readAll();
    const KvobReplyReader::State state = reply->feed(chunk);
    SecretBytes::overwrite(chunk);
    switch (state) {
    case KvobReplyReader::State::FormatError:
        fail(formatStepText, formatLogText);
        return;
    case KvobReplyReader::State::Incomplete:
        if (firstChunk && reply->headerReceived())
            setMessage(QStringLiteral("Прием ответа сервера %1").arg(reply->expectedLength()));
        // The response time-out measures the silence since the last chunk.
        armTimer(&ClientKVOBServer::on_ResponseTimeout);
        return;
    case KvobReplyReader::State::Complete:
        if (firstChunk)
            setMessage(QStringLiteral("Прием ответа сервера %1").arg(reply->expectedLength()));
        closeConnection();
        QString body = reply->body();
        checkResponse(body);
        SecretBytes::overwrite(body);
        return;
    }
}

namespace {

// The PUK leaves the reply as bytes in a holder of its own, and the text it
// was in is overwritten.
SecretBytes takePuk(QStringList& findPukResult)
{
    constexpr int pukIndex = 2;
    if (findPukResult.value(pukIndex) == QLatin1String("None"))
        return SecretBytes();
    QString& text = findPukResult[pukIndex];
    const SecretBytes puk = SecretBytes::fromText(text);
    SecretBytes::overwrite(text);
    text.clear();
    return puk;
}

} // namespace

void ClientKVOBServer::checkResponse(const QString& body)
{
    setMessage(QStringLiteral("Ответ сервера получен"));
    KvobProtocol::Reply parsed = KvobProtocol::interpretReply(cmd, body);
    switch (parsed.kind) {
    case KvobProtocol::ReplyKind::ServerError:
        // The frame allows an error text of millions of characters, which
        // would hold up the log view for minutes.
        fail(QStringLiteral("Команда не выполнена"),
             QStringLiteral("Команда \"%1\" выполнена с ошибкой. Ответ сервера разблокировки: %2")
                 .arg(cmd, textExcerpt(body)));
        return;
    case KvobProtocol::ReplyKind::FormatError:
        fail(formatStepText, formatLogText);
        return;
    case KvobProtocol::ReplyKind::Result: {
        setCurrentState(StateDone, QStringLiteral("Команда выполнена успешно"));
        log(LogInfo, QStringLiteral("Получен ответ сервера разблокировки на запрос \"%1\".").arg(cmd));
        QStringList result = std::move(parsed.result);
        const SecretBytes puk = cmd == QLatin1String("findPUK") ? takePuk(result) : SecretBytes();
        finishCommand(true, result, puk);
        return;
    }
    }
}

// A refused handshake raises peerVerifyError, then sslErrors, then the
// socket error: each is logged, and the socket error ends the command.
void ClientKVOBServer::on_peerVerifyError(const QSslError& err)
{
    setCurrentState(StateFailed, connectFailedText);
    log(LogError, QStringLiteral("Ошибка подключения к серверу разблокировки: %1 - %2")
                      .arg(int(err.error()))
                      .arg(err.errorString()));
}

void ClientKVOBServer::on_sslErrors(const QList<QSslError>& errs)
{
    QString text;
    for (const QSslError& err : errs)
        text += QStringLiteral("%1 - %2\n").arg(int(err.error())).arg(err.errorString());
    setCurrentState(StateFailed, connectFailedText);
    log(LogError, text);
}

void ClientKVOBServer::on_error(QAbstractSocket::SocketError)
{
    if (!socket)
        return;
    // A server that closes right after its reply: take the reply first.
    if (socket->bytesAvailable() > 0 && socket->isEncrypted())
        on_Response();
    if (!active || !socket)
        return;
    fail(connectFailedText, QStringLiteral("%1 - %2").arg(int(socket->error())).arg(socket->errorString()));
}

void ClientKVOBServer::on_ConnectTimeout()
{
    fail(QStringLiteral("Истеклов время подключения к серверу"),
         QStringLiteral("Истекло время ожидания подключения к серверу разблокировки."));
}

void ClientKVOBServer::on_ResponseTimeout()
{
    fail(QStringLiteral("Истеклов время ожидания ответа сервера"),
         QStringLiteral("Истекло время ожидания получения ответа от сервера разблокировки."));
}

void ClientKVOBServer::on_InterruptAllOperation()
{
    const QString stepText = QStringLiteral("Выполнение прервано пользователем");
    const QString logText = QStringLiteral("Процесс прерван пользователем.");
    if (active)
        fail(stepText, logText);
    // Waiting commands are ended too, so that every caller hears back.
    while (!pending.isEmpty()) {
        beginCommand(pending.dequeue());
        fail(stepText, logText);
    }
}

void ClientKVOBServer::fail(const QString& stepText, const QString& logText)
{
    closeConnection();
    setCurrentState(StateFailed, stepText);
    log(LogError, logText);
    finishCommand(false);
}

void ClientKVOBServer::finishCommand(bool ok, const QStringList& result, const SecretBytes& puk)
{
    closeConnection();
    active = false;
    progress = nullptr;
    // The reply's texts held the PUK: overwritten before they are let go.
    reply.reset();
    emit commandResult(cmd, ok, result, puk);
    scheduleNextCommand();
}

void ClientKVOBServer::closeConnection()
{
    disarmTimer();
    if (!socket)
        return;
    // Nothing from this connection may reach a later command.
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
    socket = nullptr;
}

void ClientKVOBServer::armTimer(void (ClientKVOBServer::*onExpiry)())
{
    timer.disconnect(this);
    connect(&timer, &QTimer::timeout, this, onExpiry);
    timer.start(timeout());
}

void ClientKVOBServer::disarmTimer()
{
    timer.stop();
    timer.disconnect(this);
}

int ClientKVOBServer::timeout() const
{
    bool ok = false;
    const int ms = setting(QStringLiteral("Timeout")).toInt(&ok);
    return ok && ms > 0 ? ms : defaultTimeout;
}

QString ClientKVOBServer::setting(const QString& key) const
{
    return config ? config->unblockServer.value(key) : QString();
}

void ClientKVOBServer::log(uchar type, const QString& msg)
{
    emit logginMessage(type, msg);
}

bool ClientKVOBServer::showsProgress() const
{
    return progress && progress->currentGeneration() == progressGeneration;
}

void ClientKVOBServer::setMessage(const QString& text)
{
    if (showsProgress())
        progress->setMessage(text);
}

void ClientKVOBServer::setCurrentState(quint8 state, const QString& text)
{
    if (showsProgress())
        progress->setCurrentState(state, text);
}

void ClientKVOBServer::nextStep(const QString& text)
{
    if (showsProgress())
        progress->nextStep(text, StateDone);
}
