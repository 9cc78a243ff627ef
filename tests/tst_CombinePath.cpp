#include <QtTest>

#include "app/CombinePath.h"

class TestCombinePath : public QObject
{
    Q_OBJECT
private slots:
    void JoinsWithExactlyOneSeparator_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("expected");
        QTest::newRow("neither brings one") << "C:/a" << "b" << "C:/a/b";
        QTest::newRow("first's slash dropped, second's backslash kept") << "C:/a/" << "\\b" << "C:/a\\b";
        QTest::newRow("empty first") << "" << "b" << "/b";
        QTest::newRow("first's backslash dropped, second's slash kept") << "C:\\a\\" << "/b" << "C:\\a/b";
        QTest::newRow("only one of doubled separators dropped") << "a//" << "/b" << "a//b";
        QTest::newRow("inner separators and dots untouched") << "x\\y/." << "../q\\r" << "x\\y/./../q\\r";
    }
    void JoinsWithExactlyOneSeparator()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, expected);
        QCOMPARE(CombinePath(first, second), expected);
    }
};

QTEST_APPLESS_MAIN(TestCombinePath)
#include "tst_CombinePath.moc"
