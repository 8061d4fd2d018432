#pragma once

#include <QLineEdit>
#include <QFile>
#include <QTest>
#include <QToolButton>
#include <QString>
#include <QStringList>
#include <QtGlobal>
#include <QSet>
#include <QTranslator>

// Collects the warnings Qt prints while a test case runs, so that a style
// sheet that does not parse or a slot without its signal fails the test.
class WarningCatcher
{
public:
    WarningCatcher()
    {
        caught().clear();
        previous() = qInstallMessageHandler(&WarningCatcher::handle);
    }
    ~WarningCatcher() { qInstallMessageHandler(previous()); }
    WarningCatcher(const WarningCatcher&) = delete;
    WarningCatcher& operator=(const WarningCatcher&) = delete;

    static QStringList& caught()
    {
        static QStringList list;
        return list;
    }

private:
    static QtMessageHandler& previous()
    {
        static QtMessageHandler handler = nullptr;
        return handler;
    }
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text)
    {
        // The offscreen platform reports what it cannot do; that is no fault of ours.
        if (type != QtDebugMsg && type != QtInfoMsg && !text.startsWith(QLatin1String("QStandardPaths:"))
            && !text.startsWith(QLatin1String("This plugin does not support")))
            caught().append(text);
        if (previous())
            previous()(type, context, text);
    }
};

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

// Translates nothing; records the contexts it was asked in.
class ContextRecorder : public QTranslator
{
public:
    bool isEmpty() const override { return false; }
    QString translate(const char* context, const char*, const char*, int) const override
    {
        contexts.insert(QString::fromLatin1(context));
        return QString();
    }
    mutable QSet<QString> contexts;
};
