#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

class QByteArray;

// The wire format of the PIN-unblock server: request texts, the frame that
// carries them, and the reading of a complete reply body.
namespace KvobProtocol {

// Command name to request code; a command missing here is sent and parsed
// like code 0.
const QMap<QString, quint8>& kvobRequestCodes();
quint8 requestCode(const QString& cmd);

enum : quint8 { CodeWithParams = 0, CodeWithoutParams = 1 };

// A parameter goes between apostrophes unescaped, so anything that could
// close the quote or break the line is refused before sending.
bool isSafeParam(const QString& param);

QString buildParamRequest(const QString& cmd, const QString& param1, const QString& param2);
QString buildPlainRequest(const QString& cmd);

// "[SIZE]:n;\r\n[BODY]:text" in UTF-8; n counts UTF-16 code units.
QByteArray frameRequest(const QString& requestText);

enum class ReplyKind { Result, ServerError, FormatError };

struct Reply {
    ReplyKind kind = ReplyKind::FormatError;
    QStringList result;
};

// Read in time linear in the body's length, whatever its size; nothing may
// follow the last element.
bool isErrorReply(const QString& body);
// On a match append the captures to result and return true.
bool parseFindPukResponse(const QString& body, QStringList& result);
bool parseStatusResponse(const QString& body, QStringList& result);

// Error reply first, then the grammar of the command's code.
Reply interpretReply(const QString& cmd, const QString& body);

} // namespace KvobProtocol
