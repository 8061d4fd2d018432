#include "ui/services/MultiProgressElement.h"

#include <QCoreApplication>
#include <QLabel>
#include <QObject>
#include <QPixmap>
#include <QThread>

namespace {
constexpr int kStateCount = 4;
}

MultiProgressElement::MultiProgressElement()
    : guiContext(std::make_unique<QObject>())
{
    if (QCoreApplication* app = QCoreApplication::instance())
        guiContext->moveToThread(app->thread());
}

MultiProgressElement::~MultiProgressElement() = default;

void MultiProgressElement::init(const QVector<QLabel*>& labels, const QVector<QVector<QString>>& paths,
                                QLabel* message)
{
    current = 0;
    this->message = message;
    // Messages carry server and card texts; none of them is markup.
    if (message)
        message->setTextFormat(Qt::PlainText);
    for (int i = 0; i < labels.size(); ++i) {
        const QVector<QString> given = i < paths.size() ? paths.at(i) : QVector<QString>();
        ProgressStep step;
        step.icon = labels.at(i);
        for (int j = 0; j < kStateCount; ++j)
            step.iconPaths.append(given.value(j));
        steps.append(step);
    }
}

void MultiProgressElement::reset(const QString& text, quint8 index)
{
    // At once, not when the reset takes effect: worker calls still queued
    // belong to the operation this one replaces.
    if (QThread::currentThread() == guiContext->thread())
        ++generation;
    run([this, text, index] { resetNow(text, index); });
}

void MultiProgressElement::bindWorker()
{
    workerBound = true;
    workerGeneration = generation.load();
}

void MultiProgressElement::setStep(quint8 index, const QString& text, quint8 state)
{
    run([this, index, text, state] { setStepNow(index, text, state); });
}

void MultiProgressElement::nextStep(const QString& text, quint8 state)
{
    // The index is taken when the call takes effect, after the calls
    // queued before it have moved the current step.
    run([this, text, state] { setStepNow(quint8(current + 1), text, state); });
}

void MultiProgressElement::setCurrentState(quint8 state, const QString& text)
{
    run([this, state, text] { setCurrentStateNow(state, text); });
}

void MultiProgressElement::setMessage(const QString& text)
{
    run([this, text] { setMessageNow(text); });
}

bool MultiProgressElement::isValidStep(quint8 index) const
{
    return index < steps.size();
}

bool MultiProgressElement::isValidState(quint8 state) const
{
    return state < kStateCount;
}

void MultiProgressElement::run(std::function<void()> operation)
{
    QObject* context = guiContext.get();
    if (QThread::currentThread() == context->thread() && queued.load() == 0) {
        operation();
        return;
    }
    // Queued events of one thread are delivered in posting order, so this
    // runs before any signal the caller queues to the GUI thread later.
    const bool fromWorker = QThread::currentThread() != context->thread();
    const bool bound = fromWorker && workerBound;
    const quint32 owner = workerGeneration;
    ++queued;
    QMetaObject::invokeMethod(
        context,
        [this, operation, bound, owner] {
            if (!bound || owner == generation.load())
                operation();
            --queued;
        },
        Qt::QueuedConnection);
}

void MultiProgressElement::applyState(quint8 state, const QString& text)
{
    // reset() keeps any index it is given; a current step past the row has
    // no picture to change, but its text is still worth showing.
    if (isValidStep(current)) {
        ProgressStep& step = steps[current];
        step.state = state;
        if (step.icon)
            step.icon->setPixmap(QPixmap(step.iconPaths.at(state)));
    }
    setMessageNow(text);
}

void MultiProgressElement::resetNow(const QString& text, quint8 index)
{
    current = index;
    for (ProgressStep& step : steps) {
        step.state = 0;
        if (step.icon)
            step.icon->setPixmap(QPixmap(step.iconPaths.at(0)));
    }
    setMessageNow(text);
}

void MultiProgressElement::setStepNow(quint8 index, const QString& text, quint8 state)
{
    if (!isValidStep(index) || !isValidState(state))
        return;
    if (index != 0)
        applyState(state, QString());
    current = index;
    applyState(1, text);
}

void MultiProgressElement::setCurrentStateNow(quint8 state, const QString& text)
{
    if (isValidState(state))
        applyState(state, text);
}

void MultiProgressElement::setMessageNow(const QString& text)
{
    if (message)
        message->setText(text);
}
