#include "app/archive/SoundBufferGrowth.h"

#include <QtTest>

// Which replacements are long enough to ask about before they grow the game's sound buffer.
class TestSoundBufferGrowth : public QObject
{
    Q_OBJECT
private slots:
    void AsksOnlyAboutSoundsLongerByASecondAndByHalf_data()
    {
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("originalSeconds");
        QTest::addColumn<bool>("bAsked");
        QTest::newRow("a click made a phrase") << 2.0 << 0.9 << true;
        QTest::newRow("twice as long, but by less than a second") << 0.9 << 0.4 << false;
        QTest::newRow("a second longer, but by less than half") << 12.0 << 10.0 << false;
        QTest::newRow("exactly a second and half longer") << 3.0 << 2.0 << false;
        QTest::newRow("shorter") << 1.0 << 4.0 << false;
        QTest::newRow("an original of no length") << 1.5 << 0.0 << true;
    }
    void AsksOnlyAboutSoundsLongerByASecondAndByHalf()
    {
        QFETCH(double, seconds);
        QFETCH(double, originalSeconds);
        QFETCH(bool, bAsked);
        QCOMPARE(SoundBufferGrowth::IsMuchLonger(seconds, originalSeconds), bAsked);
    }
};

QTEST_MAIN(TestSoundBufferGrowth)
#include "tst_SoundBufferGrowth.moc"
