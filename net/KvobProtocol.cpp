#include "net/KvobProtocol.h"

#include <QByteArray>
#include <QRegularExpression>

namespace KvobProtocol {

const QMap<QString, quint8>& kvobRequestCodes()
{
    static const QMap<QString, quint8> codes{
        {QStringLiteral("findPUK"), CodeWithParams},
        {QStringLiteral("getStatus"), CodeWithoutParams},
    };
    return codes;
}

quint8 requestCode(const QString& cmd)
{
    return kvobRequestCodes().value(cmd, CodeWithParams);
}

bool isSafeParam(const QString& param)
{
    for (const QChar c : param) {
        if (c == QLatin1Char('\'') || c == QLatin1Char('\\') || c.category() == QChar::Other_Control)
            return false;
    }
    return true;
}

QString buildParamRequest(const QString& cmd, const QString& param1, const QString& param2)
{
    return QStringLiteral("%1('%2','%3')").arg(cmd, param1, param2);
}

QString buildPlainRequest(const QString& cmd)
{
    return QStringLiteral("%1()").arg(cmd);
}

QByteArray frameRequest(const QString& requestText)
{
    const QString header = QStringLiteral("[SIZE]:%1;\r\n").arg(requestText.size());
    return (header + QStringLiteral("[BODY]:") + requestText).toUtf8();
}

bool isErrorReply(const QString& body)
{
    static const QRegularExpression pattern(QStringLiteral(R"(^ERROR\((?<err>'[^']*')\)$)"));
    return pattern.match(body).hasMatch();
}

bool parseFindPukResponse(const QString& body, QStringList& result)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^<(?<num>RUD\d{11}[0-9A-Z]{2}|RUKGAI\d{7}[0-9A-Z]{3}|RUKFSNT\d{6}[0-9A-Z]{3}|RU[MP]\d{9}[0-9A-Z]{4})/>)"
        R"(<(?<skzi>\d{3}[АаAa]?-\d{5,7})/>)"
        R"(<(?<puk>\d{8}|None)/>)"
        R"(<(?<err>None|(.+))/>)"
        R"(<(?<src>.*)/>)"
        R"(<(?<counter>\d{1,5})/>$)"));
    const QRegularExpressionMatch match = pattern.match(body);
    if (!match.hasMatch())
        return false;
    for (const char* name : {"num", "skzi", "puk", "err", "src", "counter"})
        result.append(match.captured(QLatin1String(name)));
    return true;
}

bool parseStatusResponse(const QString& body, QStringList& result)
{
    static const QRegularExpression pattern(QStringLiteral(
        R"(^<(?<counter>((-[1-9])?[0-9]{1,2}|[0-9]{1,3}))/><(?<status>(('.+',){4}'.+'\r\n)*)/>$)"));
    const QRegularExpressionMatch match = pattern.match(body);
    if (!match.hasMatch())
        return false;
    result.append(match.captured(QStringLiteral("counter")));
    result.append(match.captured(QStringLiteral("status")));
    return true;
}

Reply interpretReply(const QString& cmd, const QString& body)
{
    Reply reply;
    if (isErrorReply(body)) {
        reply.kind = ReplyKind::ServerError;
        return reply;
    }
    const bool parsed = requestCode(cmd) == CodeWithoutParams ? parseStatusResponse(body, reply.result)
                                                              : parseFindPukResponse(body, reply.result);
    reply.kind = parsed ? ReplyKind::Result : ReplyKind::FormatError;
    if (!parsed)
        reply.result.clear();
    return reply;
}

} // namespace KvobProtocol
