#include "tools/daybench/VirtualCard.h"

#include "tests/support/VirtualCardProcess.h"

namespace {
constexpr int endMs = 15000;
}

VirtualCard::VirtualCard(int reader)
    : reader(reader)
{
}

VirtualCard::~VirtualCard()
{
    pull();
}

void VirtualCard::insert(const QString& profile, const QStringList& options)
{
    const int port = qEnvironmentVariableIntValue("DRVP_VPCD_PORT") + reader;
    process.start(qEnvironmentVariable("DRVP_TOOLS_DIR") + QStringLiteral("/vcard"),
                  QStringList{QStringLiteral("--port"), QString::number(port), QStringLiteral("--profile"), profile}
                      + options);
}

bool VirtualCard::pull()
{
    if (process.state() == QProcess::NotRunning)
        return true;
    process.terminate();
    if (process.waitForFinished(endMs))
        return true;
    process.kill();
    return process.waitForFinished(endMs);
}

QString VirtualCard::readerName() const
{
    return VirtualCardProcess::readerName(reader);
}
