#include "net/KvobProtocol.h"

#include <QByteArray>

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
