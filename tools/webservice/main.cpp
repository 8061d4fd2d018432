// Local stand-in for the upload web services, for tests.
//
// Prints "PORT <n>" once it listens on 127.0.0.1, and ends when its
// standard input closes, so it never outlives the test that started it.

#include "ServiceOptions.h"
#include "WebService.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTextStream>

#include <unistd.h>

namespace {

bool parse(const QCoreApplication& app, ServiceOptions* options)
{
    QCommandLineParser parser;
    parser.setApplicationDescription("Web-service double: login form and JSON-RPC upload calls.");
    parser.addHelpOption();
    const QCommandLineOption dir("dir", "Work folder: requests.jsonl and uploads/.", "folder");
    const QCommandLineOption user("user", "Accepted login.", "login", options->user);
    const QCommandLineOption password("password", "Accepted password.", "password", options->password);
    const QCommandLineOption refuse("refuse-login", "Refuse every login.");
    const QCommandLineOption broken("broken-token", "Login page whose token element is never closed.");
    const QCommandLineOption state("state", "State of the records read back (\"error\": failed).", "text",
                                   options->state);
    const QCommandLineOption http500("http500", "Answer HTTP 500 at the step.", "step");
    const QCommandLineOption rpcError("rpc-error", "Answer a JSON-RPC error at the step.", "step");
    const QCommandLineOption html("html", "Answer an HTML page at the step.", "step");
    const QCommandLineOption stall("stall", "Never answer at the step.", "step");
    const QCommandLineOption flood("flood", "Answer an endless flood of bytes at the step.", "step");
    const QCommandLineOption trickle("trickle", "Answer an endless trickle of bytes at the step.", "step");
    const QCommandLineOption code("error-code", "Code of the JSON-RPC error.", "number", "200");
    const QCommandLineOption createResult("create-result", "JSON value returned by create.", "json");
    const QCommandLineOption textLength("text-length", "The service's texts as this many letters x.", "characters",
                                        "0");
    const QCommandLineOption cert("cert", "Serve TLS with this certificate.", "pem");
    const QCommandLineOption key("key", "Private key of the certificate.", "pem");
    parser.addOptions({dir, user, password, refuse, broken, state, http500, rpcError, html, stall, flood, trickle, code,
                       createResult, textLength, cert, key});
    parser.process(app);

    options->dir = parser.value(dir);
    options->user = parser.value(user);
    options->password = parser.value(password);
    options->refuseLogin = parser.isSet(refuse);
    options->brokenToken = parser.isSet(broken);
    options->state = parser.value(state);
    options->http500At = parser.value(http500);
    options->rpcErrorAt = parser.value(rpcError);
    options->htmlAt = parser.value(html);
    options->stallAt = parser.value(stall);
    options->floodAt = parser.value(flood);
    options->trickleAt = parser.value(trickle);
    options->errorCode = parser.value(code).toDouble();
    options->createResult = parser.value(createResult).toUtf8();
    options->textLength = parser.value(textLength).toInt();
    options->certFile = parser.value(cert);
    options->keyFile = parser.value(key);
    return !options->dir.isEmpty() && options->certFile.isEmpty() == options->keyFile.isEmpty();
}

}

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    ServiceOptions options;
    QTextStream err(stderr);
    if (!parse(app, &options)) {
        err << "webservice: --dir is required, --cert and --key go together\n";
        return 2;
    }
    WebService service(options);
    if (!service.listen(QHostAddress::LocalHost, 0)) {
        err << "webservice: " << service.errorString() << '\n';
        return 1;
    }

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });

    QTextStream out(stdout);
    out << "PORT " << service.serverPort() << '\n';
    out.flush();
    return app.exec();
}
