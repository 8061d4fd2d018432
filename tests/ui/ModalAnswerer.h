#pragma once

#include <QApplication>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>

// Answers every modal dialog that opens while it lives, from a polling timer,
// so a test can drive slots that run a dialog's own event loop.
class ModalAnswerer
{
public:
    using Answer = std::function<void(QWidget* dialog)>;

    explicit ModalAnswerer(Answer answer)
        : answer(std::move(answer))
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog || dialog == last)
                return;
            last = dialog;
            ++count;
            this->answer(dialog);
        });
        timer.start(20);
    }

    int count = 0;

private:
    Answer answer;
    QPointer<QWidget> last;
    QTimer timer;
};
