#include "card/TextExcerpt.h"

#include <QtTest>

class TstTextExcerpt : public QObject
{
    Q_OBJECT

private slots:
    void excerpts_data();
    void excerpts();
};

void TstTextExcerpt::excerpts_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("keep");
    QTest::addColumn<QString>("expected");
    QTest::newRow("short, whole") << "Ошибка" << 6 << "Ошибка";
    QTest::newRow("long, start and length") << "Ошибка сервера" << 6 << "Ошибка… (всего символов: 14)";
    // "a😀b": the emoji is two UTF-16 units.
    QTest::newRow("never half a character") << QString::fromUtf8("a\xF0\x9F\x98\x80" "b") << 2
                                            << "a… (всего символов: 4)";
}

void TstTextExcerpt::excerpts()
{
    QFETCH(QString, text);
    QFETCH(int, keep);
    QFETCH(QString, expected);
    QCOMPARE(textExcerpt(text, keep), expected);
}


QTEST_APPLESS_MAIN(TstTextExcerpt)
#include "tst_textexcerpt.moc"
