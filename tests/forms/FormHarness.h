#pragma once

#include <QFile>
#include <QLineEdit>
#include <QString>
#include <QTest>
#include <QToolButton>

inline QString applicationStyleSheet()
{
    QFile file(QStringLiteral(":/qss/style.qss"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

// A line edit fades its clear button in and out on an animation without a
// parent, reported as a leak when still running at exit: tests that type wait
// until each clear button shows its end state (opacity 1 with text, else 0).
inline bool animationsSettled(const QWidget* root)
{
    const auto settled = [root] {
        for (const QLineEdit* edit : root->findChildren<QLineEdit*>())
            for (const QToolButton* button : edit->findChildren<QToolButton*>())
                if (button->property("opacity").toReal() != (edit->text().isEmpty() ? 0.0 : 1.0))
                    return false;
        return true;
    };
    const bool done = QTest::qWaitFor(settled);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    return done;
}
