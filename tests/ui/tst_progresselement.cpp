#include "ui/services/MultiProgressElement.h"

#include <QImage>
#include <QLabel>
#include <QTemporaryDir>
#include <QThread>
#include <QtTest>

#include <memory>
#include <vector>

namespace {

class Emitter : public QObject
{
    Q_OBJECT
signals:
    void progressed();
};

// A row of step labels whose pictures tell the state they show: the picture
// of state t is (t + 1) pixels wide.
struct Row
{
    explicit Row(const QTemporaryDir& dir, int stepCount = 5, int pathLists = 5)
    {
        QVector<QLabel*> labels;
        QVector<QVector<QString>> paths;
        for (int step = 0; step < stepCount; ++step) {
            icons.push_back(std::make_unique<QLabel>());
            labels.append(icons.back().get());
            if (step < pathLists)
                paths.append({dir.filePath("0.png"), dir.filePath("1.png"), dir.filePath("2.png"),
                              step == 1 ? QString() : dir.filePath("3.png")});
        }
        element.init(labels, paths, &message);
    }
    QVector<int> shown() const
    {
        QVector<int> states;
        for (const auto& icon : icons) {
            const QPixmap pixmap = icon->property("pixmap").value<QPixmap>();
            states.append(pixmap.isNull() ? -1 : pixmap.width() - 1);
        }
        return states;
    }

    std::vector<std::unique_ptr<QLabel>> icons;
    QLabel message{QStringLiteral("form text")};
    MultiProgressElement element;
};

} // namespace

class TestProgressElement : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void stepsMoveAndClose();
    void edgesChangeNothing();
    void workerCallsTakeEffectBeforeItsLaterSignals();
    void guiCallAfterQueuedWorkerCallsKeepsCallOrder();

private:
    QTemporaryDir dir;
};

void TestProgressElement::initTestCase()
{
    for (int state = 0; state < 4; ++state) {
        QImage image(state + 1, 1, QImage::Format_ARGB32);
        image.fill(Qt::red);
        QVERIFY(image.save(dir.filePath(QStringLiteral("%1.png").arg(state))));
    }
}

void TestProgressElement::stepsMoveAndClose()
{
    Row row(dir, 5, 4);
    MultiProgressElement& element = row.element;
    QCOMPARE(row.message.text(), QStringLiteral("form text"));
    QCOMPARE(row.shown(), QVector<int>({-1, -1, -1, -1, -1}));

    element.reset(QStringLiteral("prompt"), 0);
    QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 0, -1}));
    QCOMPARE(row.message.text(), QStringLiteral("prompt"));

    element.setCurrentState(1, QStringLiteral("started"));
    element.nextStep(QStringLiteral("second"), 2);
    QCOMPARE(element.current, quint8(1));
    QCOMPARE(row.shown(), QVector<int>({2, 1, 0, 0, -1}));
    QCOMPARE(row.message.text(), QStringLiteral("second"));

    // A jump closes the current step and leaves the skipped ones alone.
    element.setStep(3, QStringLiteral("jumped"), 2);
    QCOMPARE(row.shown(), QVector<int>({2, 2, 0, 1, -1}));
    QCOMPARE(row.message.text(), QStringLiteral("jumped"));

    element.setMessage(QStringLiteral("only text"));
    QCOMPARE(row.shown(), QVector<int>({2, 2, 0, 1, -1}));
    QCOMPARE(element.current, quint8(3));

    // Back to step 0: the step that was current keeps its state.
    element.setStep(0, QStringLiteral("again"), 3);
    QCOMPARE(element.current, quint8(0));
    QCOMPARE(row.shown(), QVector<int>({1, 2, 0, 1, -1}));

    // A later start (file already chosen): every step idle until it runs.
    element.reset(QStringLiteral("file chosen"), 3);
    QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 0, -1}));
    element.setCurrentState(1, QStringLiteral("connecting"));
    QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 1, -1}));
    QCOMPARE(element.current, quint8(3));
}

void TestProgressElement::edgesChangeNothing()
{
    Row row(dir);
    MultiProgressElement& element = row.element;
    element.reset(QString(), 0);
    element.setStep(1, QString(), 2);
    element.setCurrentState(3, QStringLiteral("no picture for this state"));
    QCOMPARE(row.shown(), QVector<int>({2, -1, 0, 0, 0}));
    element.setStep(4, QStringLiteral("last"), 2);
    element.setCurrentState(2, QStringLiteral("done"));
    const QVector<int> before{2, 2, 0, 0, 2};
    QCOMPARE(row.shown(), before);

    element.nextStep(QStringLiteral("past the end"), 2);
    element.setStep(5, QStringLiteral("no such step"), 2);
    element.setStep(1, QStringLiteral("bad state"), 4);
    element.setCurrentState(4, QStringLiteral("bad state"));
    element.setCurrentState(255, QStringLiteral("bad state"));
    QCOMPARE(row.shown(), before);
    QCOMPARE(element.current, quint8(4));
    QCOMPARE(row.message.text(), QStringLiteral("done"));

    // A current step past the row touches no step but still shows its text.
    element.reset(QStringLiteral("start"), 7);
    element.setCurrentState(3, QStringLiteral("error text"));
    element.nextStep(QStringLiteral("nowhere"), 2);
    QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 0, 0}));
    QCOMPARE(row.message.text(), QStringLiteral("error text"));
    QCOMPARE(element.current, quint8(7));
}

void TestProgressElement::workerCallsTakeEffectBeforeItsLaterSignals()
{
    Row row(dir);
    MultiProgressElement& element = row.element;
    element.reset(QString(), 0);

    QVector<QPair<int, QString>> seen;
    QVector<QVector<int>> seenStates;
    Emitter emitter;
    QObject receiver;
    connect(&emitter, &Emitter::progressed, &receiver, [&] {
        seen.append({element.current, row.message.text()});
        seenStates.append(row.shown());
    });

    // The GUI thread handles nothing until the worker has made every call.
    std::unique_ptr<QThread> worker(QThread::create([&] {
        element.setCurrentState(1, QStringLiteral("w0"));
        emit emitter.progressed();
        for (int i = 1; i < 5; ++i) {
            element.nextStep(QStringLiteral("w%1").arg(i), 2);
            emit emitter.progressed();
        }
        element.setMessage(QStringLiteral("almost"));
        element.setCurrentState(3, QStringLiteral("failed"));
        emit emitter.progressed();
    }));
    worker->start();
    QVERIFY(worker->wait(60000));
    QVERIFY(seen.isEmpty());

    QTRY_COMPARE_WITH_TIMEOUT(seen.size(), 6, 30000);
    for (int i = 0; i < 5; ++i) {
        QCOMPARE(seen.at(i), qMakePair(i, QStringLiteral("w%1").arg(i)));
        for (int step = 0; step < 5; ++step)
            QCOMPARE(seenStates.at(i).at(step), step < i ? 2 : step == i ? 1 : 0);
    }
    QCOMPARE(seen.last(), qMakePair(4, QStringLiteral("failed")));
    QCOMPARE(seenStates.last(), QVector<int>({2, 2, 2, 2, 3}));
}

void TestProgressElement::guiCallAfterQueuedWorkerCallsKeepsCallOrder()
{
    Row row(dir);
    auto doomed = std::make_unique<Row>(dir);
    row.element.reset(QString(), 0);
    std::unique_ptr<QThread> worker(QThread::create([&] {
        row.element.nextStep(QStringLiteral("w1"), 2);
        doomed->element.nextStep(QStringLiteral("late"), 2);
    }));
    worker->start();
    QVERIFY(worker->wait(60000));

    row.element.reset(QStringLiteral("new run"), 0);
    // Calls still queued when their element goes away are dropped.
    doomed.reset();
    QCoreApplication::sendPostedEvents();
    QCOMPARE(row.message.text(), QStringLiteral("new run"));
    QCOMPARE(row.shown(), QVector<int>({0, 0, 0, 0, 0}));
    QCOMPARE(row.element.current, quint8(0));
}

QTEST_MAIN(TestProgressElement)
#include "tst_progresselement.moc"
