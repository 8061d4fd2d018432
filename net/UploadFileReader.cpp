#include "net/UploadFileReader.h"

#include "config/SmallFile.h"
#include "net/UploadRpc.h"

#include <QFileInfo>
#include <QThread>

#include <utility>

namespace {

// Far above any card's .ddd file (some hundred kilobytes); the upload holds
// the file, its base64 text and the request in memory at once.
constexpr qint64 maxDddFileBytes = 64 * 1024 * 1024;

// Only a regular file of card data goes out: a pipe or a device would hang
// or flood the upload, and an empty or unreadable file must not be reported
// as sent.
void readAndBuild(const QString& path, const QByteArray& rpcTemplate, UploadFileReader::Outcome& outcome)
{
    SmallFile file(path, maxDddFileBytes, SmallFile::Empty::Refused);
    outcome.read = file.read();
    outcome.errorString = file.errorString();
    if (outcome.read && !QThread::currentThread()->isInterruptionRequested())
        outcome.body = UploadRpc::createBody(rpcTemplate, file.bytes(), QFileInfo(path).fileName());
}

} // namespace

UploadFileReader::UploadFileReader(QObject* parent)
    : QObject(parent)
{
}

UploadFileReader::~UploadFileReader()
{
    if (!thread)
        return;
    thread->requestInterruption();
    thread->wait();
    delete thread;
}

void UploadFileReader::start(const QString& path, const QByteArray& rpcTemplate)
{
    running = true;
    outcome = Outcome();
    thread = QThread::create([this, path, rpcTemplate] { readAndBuild(path, rpcTemplate, outcome); });
    connect(thread, &QThread::finished, this, &UploadFileReader::onThreadFinished);
    thread->start();
}

UploadFileReader::Outcome UploadFileReader::takeOutcome()
{
    return std::exchange(outcome, Outcome());
}

void UploadFileReader::onThreadFinished()
{
    // finished() comes from the thread just before it ends.
    thread->wait();
    delete thread;
    thread = nullptr;
    running = false;
    emit finished();
}
