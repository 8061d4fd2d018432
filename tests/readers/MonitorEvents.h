#pragma once

#include "readers/CRAController.h"
#include "tests/support/SignalRecorder.h"

#include <memory>

// Starts a monitor whose signals the recorder keeps as "found:R1|R2",
// "gone:R1", "mounted:R1", "unmounted:R1", "error:R1:text" and, when asked,
// "context", "nocontext" and "using:R1:1".
inline std::unique_ptr<CRAController> startRecordedMonitor(SignalRecorder &recorder, bool contextAndUse = false)
{
    auto controller = std::make_unique<CRAController>();
    CardReaderAgent &agent = controller->agent();
    SignalRecorder *r = &recorder;
    QObject::connect(&agent, &CardReaderAgent::foundCardReaders, r,
                     [r](const QStringList &names) { r->record("found:" + names.join('|')); });
    QObject::connect(&agent, &CardReaderAgent::unmountedCardReader, r,
                     [r](const QStringList &names) { r->record("gone:" + names.join('|')); });
    QObject::connect(&agent, &CardReaderAgent::mountedCard, r, [r](const QString &name) { r->record("mounted:" + name); });
    QObject::connect(&agent, &CardReaderAgent::unmountedCard, r,
                     [r](const QString &name) { r->record("unmounted:" + name); });
    QObject::connect(&agent, &CardReaderAgent::errorCardReader, r,
                     [r](const QString &msg, const QString &name) { r->record("error:" + name + ':' + msg); });
    if (contextAndUse) {
        QObject::connect(&agent, &CardReaderAgent::contextEstablished, r,
                         [r](qulonglong context) { r->record(context ? "context" : "nocontext"); });
        QObject::connect(&agent, &CardReaderAgent::cardUsing, r, [r](const QString &name, bool used) {
            r->record(QStringLiteral("using:%1:%2").arg(name).arg(int(used)));
        });
    }
    controller->start();
    return controller;
}
