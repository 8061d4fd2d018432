#pragma once

#include <QApplication>
#include <QVector>

// The bench's application object. It times every log line that reaches the
// event logger from another thread, from the logger taking it to the
// window showing it; the GUI thread does nothing else meanwhile.
class TimedApplication : public QApplication
{
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override;

    // Milliseconds per line since the caller last emptied it.
    QVector<double> lineMs;
};
