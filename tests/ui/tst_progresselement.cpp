#include "ui/services/MultiProgressElement.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>

namespace {

// Five step labels with pictures for the first four only, and none for state
// 3 of step 1. The picture of state t is t + 1 pixels wide, so shown() reads
// each step's state back (-1: no picture).
struct Row
{
    explicit Row(const QTemporaryDir& dir)
    {
        QVector<QVector<QString>> paths(4);
        for (int step = 0; step < 4; ++step)
            for (int state = 0; state < 4; ++state)
                paths[step].append(step == 1 && state == 3 ? QString() : dir.filePath(QString::number(state)));
        element.init({&icons[0], &icons[1], &icons[2], &icons[3], &icons[4]}, paths, &message);
    }
    QVector<int> shown() const
    {
        QVector<int> states;
        for (const QLabel& icon : icons)
            states.append(icon.pixmap(Qt::ReturnByValue).width() - 1);
        return states;
    }

    QLabel icons[5];
    QLabel message{QStringLiteral("form text")};
    MultiProgressElement element;
};

} // namespace

class TestProgressElement : public QObject
{
    Q_OBJECT

    QTemporaryDir dir;

private slots:
    void initTestCase()
    {
        for (int state = 0; state < 4; ++state) {
            QImage image(state + 1, 1, QImage::Format_ARGB32);
            image.fill(Qt::red);
            QVERIFY(image.save(dir.filePath(QString::number(state)), "PNG"));
        }
    }

    void stepSemantics()
    {
        // r reset(text, a), s setStep(a, text, b), n nextStep(text, b), c setCurrentState(b, text), m setMessage(text)
        struct Call { char op; int a, b; const char* text; QVector<int> shown; int current; const char* message; };
        const Call calls[] = {
            {'r', 0, 0, "prompt", {0, 0, 0, 0, -1}, 0, "prompt"},
            {'c', 0, 1, "started", {1, 0, 0, 0, -1}, 0, "started"},
            {'n', 0, 2, "second", {2, 1, 0, 0, -1}, 1, "second"},
            {'s', 3, 2, "jumped", {2, 2, 0, 1, -1}, 3, "jumped"}, // closes the current step, skips the rest
            {'m', 0, 0, "only text", {2, 2, 0, 1, -1}, 3, "only text"},
            {'s', 0, 3, "again", {1, 2, 0, 1, -1}, 0, "again"}, // back to 0: the old current keeps its state
            {'n', 0, 2, "one", {2, 1, 0, 1, -1}, 1, "one"},
            {'c', 0, 3, "no picture", {2, -1, 0, 1, -1}, 1, "no picture"},
            {'s', 4, 2, "last", {2, 2, 0, 1, -1}, 4, "last"},
            {'n', 0, 2, "past the end", {2, 2, 0, 1, -1}, 4, "last"},
            {'s', 1, 4, "bad state", {2, 2, 0, 1, -1}, 4, "last"},
            {'c', 0, 4, "bad state", {2, 2, 0, 1, -1}, 4, "last"},
            {'r', 7, 0, "start", {0, 0, 0, 0, -1}, 7, "start"}, // a current step past the row: text only
            {'c', 0, 3, "error text", {0, 0, 0, 0, -1}, 7, "error text"},
            {'r', 3, 0, "file chosen", {0, 0, 0, 0, -1}, 3, "file chosen"},
            {'c', 0, 1, "connecting", {0, 0, 0, 1, -1}, 3, "connecting"},
        };
        Row row(dir);
        MultiProgressElement& element = row.element;
        QCOMPARE(row.message.text(), QStringLiteral("form text")); // init shows nothing yet
        QCOMPARE(row.message.textFormat(), Qt::PlainText);           // messages carry server texts
        QCOMPARE(row.shown(), QVector<int>({-1, -1, -1, -1, -1}));
        for (const Call& call : calls) {
            const QString text = QString::fromUtf8(call.text);
            switch (call.op) {
            case 'r': element.reset(text, quint8(call.a)); break;
            case 's': element.setStep(quint8(call.a), text, quint8(call.b)); break;
            case 'n': element.nextStep(text, quint8(call.b)); break;
            case 'c': element.setCurrentState(quint8(call.b), text); break;
            default: element.setMessage(text); break;
            }
            QVERIFY2(row.shown() == call.shown && element.current == call.current, call.text);
            QCOMPARE(row.message.text(), QString::fromUtf8(call.message));
        }
    }

    void workerCallsKeepTheirOrderTillAReset()
    {
        Row row(dir);
        auto doomed = std::make_unique<Row>(dir);
        row.element.reset(QString(), 0);
        QStringList seen; // at each queued call of the worker: current step, message and pictures
        QObject receiver;
        const auto progressed = [&] { // posted as a queued signal would be
            QMetaObject::invokeMethod(&receiver, [&] {
                QString line;
                QDebug(&line) << int(row.element.current) << row.message.text() << row.shown();
                seen << line;
            }, Qt::QueuedConnection);
        };
        std::unique_ptr<QThread> worker(QThread::create([&] {
            row.element.setCurrentState(1, QStringLiteral("w0"));
            progressed();
            for (int i = 1; i < 4; ++i) {
                row.element.nextStep(QStringLiteral("w%1").arg(i), 2);
                progressed();
            }
            row.element.setMessage(QStringLiteral("almost"));
            row.element.setCurrentState(3, QStringLiteral("failed"));
            progressed();
            doomed->element.nextStep(QStringLiteral("late"), 2);
        }));
        worker->start();
        QVERIFY(worker->wait(60000));
        QVERIFY(seen.isEmpty()); // the GUI thread has handled nothing yet

        // A GUI-thread call waits for the calls queued before it; calls still
        // queued when their element goes away are dropped.
        row.element.reset(QStringLiteral("new run"), 0);
        doomed.reset();
        QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 5, 30000);
        QCOMPARE(seen, QStringList({R"(0 "w0" QVector(1, 0, 0, 0, -1) )", R"(1 "w1" QVector(2, 1, 0, 0, -1) )",
                                    R"(2 "w2" QVector(2, 2, 1, 0, -1) )", R"(3 "w3" QVector(2, 2, 2, 1, -1) )",
                                    R"(3 "failed" QVector(2, 2, 2, 3, -1) )"}));
        QCoreApplication::sendPostedEvents();
        QCOMPARE(row.message.text(), QStringLiteral("new run"));
        QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 0, -1}));
        QCOMPARE(row.element.current, quint8(0));

        // A reset from the GUI thread hands the element to the next operation:
        // the calls of a worker bound before it are dropped, queued or not.
        const auto onWorker = [](const std::function<void()>& work) {
            std::unique_ptr<QThread> thread(QThread::create(work));
            thread->start();
            thread->wait();
        };
        onWorker([&] {
            row.element.bindWorker();
            row.element.setCurrentState(3, QStringLiteral("old failed"));
        });
        row.element.reset(QStringLiteral("next run"), 0);
        onWorker([&] { row.element.nextStep(QStringLiteral("old late"), 2); });
        QCoreApplication::sendPostedEvents();
        QCOMPARE(row.message.text(), QStringLiteral("next run"));
        QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 0, -1}));

        onWorker([&] {
            row.element.bindWorker();
            row.element.setCurrentState(1, QStringLiteral("next"));
        });
        QCoreApplication::sendPostedEvents();
        QCOMPARE(row.message.text(), QStringLiteral("next"));
        QCOMPARE(row.shown(), QVector<int>({1, 0, 0, 0, -1}));
    }
};

QTEST_MAIN(TestProgressElement)
#include "tst_progresselement.moc"
