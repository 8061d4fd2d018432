#ifndef DRVP_MULTIPROGRESSELEMENT_H
#define DRVP_MULTIPROGRESSELEMENT_H

#include "ui/services/ProgressStep.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <memory>

class QLabel;
class QObject;

// Progress display of one multi-step operation: a row of step icons and a
// message label, all made by the main window's form.
//
// Step states: 0 idle, 1 running, 2 done (or ended with a warning), 3 failed.
//
// Every operation may be called from the GUI thread or from a worker thread.
// Labels are touched in the GUI thread only: a call from the GUI thread
// takes effect at once unless earlier calls are still on their way, a call
// from any other thread is queued to the GUI thread. Either way the calls
// take effect in the order they were made, and before any queued signal
// that the calling thread emits afterwards is handled in the GUI thread.
//
// A reset from the GUI thread gives the element to a new operation: calls of
// a worker bound to it before (bindWorker) are dropped from then on, so an
// operation the window no longer waits for cannot write over the next one.
//
// The element is never copied; callers pass it by pointer.
class MultiProgressElement
{
public:
    explicit MultiProgressElement();
    ~MultiProgressElement();

    MultiProgressElement(const MultiProgressElement&) = delete;
    MultiProgressElement& operator=(const MultiProgressElement&) = delete;

    // Builds the steps (one per label, paths[i] holds up to four pictures of
    // step i, by state) and makes the message label plain text; shows no
    // text or picture yet. Called once, in the GUI thread.
    void init(const QVector<QLabel*>& labels, const QVector<QVector<QString>>& paths, QLabel* message);

    void reset(const QString& text, quint8 index);
    void setStep(quint8 index, const QString& text, quint8 state);
    void nextStep(const QString& text, quint8 state);
    void setCurrentState(quint8 state, const QString& text);
    void setMessage(const QString& text);

    // Called by a worker thread as it starts an operation on the element:
    // its calls from then on belong to the operation the element shows now.
    void bindWorker();
    // Changes with every reset from the GUI thread: a GUI-thread caller that
    // acts for one operation compares it before writing.
    quint32 currentGeneration() const { return generation.load(); }

    bool isValidStep(quint8 index) const;
    bool isValidState(quint8 state) const;

    // Index of the current step. Read it in the GUI thread only: it is kept
    // there, in step with the labels.
    quint8 current = 0;

private:
    void applyState(quint8 state, const QString& text);
    void resetNow(const QString& text, quint8 index);
    void setStepNow(quint8 index, const QString& text, quint8 state);
    void setCurrentStateNow(quint8 state, const QString& text);
    void setMessageNow(const QString& text);
    void run(std::function<void()> operation);

    QVector<ProgressStep> steps;
    QLabel* message = nullptr;

    // Lives in the GUI thread; queued operations are delivered through it and
    // dropped with it when the element goes away.
    std::unique_ptr<QObject> guiContext;
    std::atomic<int> queued{0};
    // Bumped by every reset from the GUI thread.
    std::atomic<quint32> generation{0};
    // Touched by the bound worker thread only.
    bool workerBound = false;
    quint32 workerGeneration = 0;
};

#endif
