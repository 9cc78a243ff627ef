#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <vector>

#include "TestTones.h"
#include "audio/SoundSystem.h"
#include "player/Player.h"

namespace
{
constexpr qint64 secondFrames = 44100;
constexpr qint64 tenthFrames = 4410;

// Output frames are interleaved floats, one per output channel.
struct Output
{
    std::vector<float> samples;
    qint64 Frames() const { return qint64(samples.size()) / SoundSystem::outputChannels; }
    float At(qint64 frame, int channel) const { return samples[std::size_t(frame * SoundSystem::outputChannels + channel)]; }
    bool IsSilent(qint64 frame) const { return At(frame, 0) == 0.0f && At(frame, 1) == 0.0f; }
    qint64 FirstSound() const
    {
        for (qint64 frame = 0; frame < Frames(); ++frame)
            if (!IsSilent(frame))
                return frame;
        return -1;
    }
    // Empty when frames [start, start + count) hold the tone from toneFrame on, times gain (a
    // looping tone of toneLength frames starts again at 0); else the first difference.
    QString CompareWithTone(qint64 start, qint64 count, float gain, qint64 toneLength, qint64 toneFrame = 0) const
    {
        if (start < 0 || start + count > Frames())
            return QStringLiteral("only %1 frames of output from %2").arg(Frames() - start).arg(start);
        for (qint64 frame = 0; frame < count; ++frame) {
            for (int channel = 0; channel < SoundSystem::outputChannels; ++channel) {
                const float expected = TestTones::Sample((toneFrame + frame) % toneLength, channel) * gain;
                if (At(start + frame, channel) != expected)
                    return QStringLiteral("frame %1 channel %2: %3 instead of %4").arg(frame).arg(channel)
                        .arg(double(At(start + frame, channel)), 0, 'g', 9).arg(double(expected), 0, 'g', 9);
            }
        }
        return QString();
    }
};
}

// What actually leaves the program: SDL's disk driver writes every output block to a file, which
// is then compared sample by sample with the tone that was played.
class TestAudioOutput : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    QString second;
    QString tenth;
    // The next Player writes its output to a file named after the test row.
    QString OutputFile() const
    {
        return folder.filePath(QString::fromLatin1(QTest::currentTestFunction()) + QLatin1Char('-')
                               + QString::fromLatin1(QTest::currentDataTag()) + QStringLiteral(".raw"));
    }
    void SendOutputToFile() { qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(OutputFile())); }
    Output ReadOutput() const
    {
        QFile file(OutputFile());
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const auto *pSamples = reinterpret_cast<const float *>(bytes.constData());
        return Output {std::vector<float>(pSamples, pSamples + bytes.size() / qsizetype(sizeof(float)))};
    }

private slots:
    void initTestCase()
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        // Milliseconds per output block instead of real time (23 ms): the tests run about 4x faster.
        qputenv("SDL_DISKAUDIODELAY", "5");
        second = folder.filePath("second.wav");
        tenth = folder.filePath("tenth.wav");
        QVERIFY(TestTones::WriteExact(second, secondFrames));
        QVERIFY(TestTones::WriteExact(tenth, tenthFrames));
    }

    // Volume, mute and repeat are set while idle: they must reach the stream from its first block.
    void PlaysTheToneScaledLoopedOrOnce_data()
    {
        QTest::addColumn<float>("volume");
        QTest::addColumn<bool>("bMute");
        QTest::addColumn<bool>("bRepeat");
        QTest::addColumn<bool>("bLong");  // the second-long tone, else the tenth looped or not
        QTest::newRow("a quarter") << 0.25f << false << true << true;
        QTest::newRow("muted") << 1.0f << true << true << true;
        QTest::newRow("repeat, on from the start") << 1.0f << false << true << false;
        QTest::newRow("no repeat, silence after the end") << 1.0f << false << false << false;
    }
    void PlaysTheToneScaledLoopedOrOnce()
    {
        QFETCH(float, volume);
        QFETCH(bool, bMute);
        QFETCH(bool, bRepeat);
        QFETCH(bool, bLong);
        SendOutputToFile();
        const qint64 length = bLong ? secondFrames : tenthFrames;
        const qint64 heard = bLong ? 16384 : bRepeat ? 4 * tenthFrames : tenthFrames;
        {
            Player player;
            player.SetVolume(volume);
            player.SetMute(bMute);
            player.SetRepeat(bRepeat);
            player.PlayFile(bLong ? second : tenth);
            QTRY_VERIFY(player.GetFramesOutput() >= quint64(heard));
            QTRY_COMPARE(player.IsPlaying(), bRepeat);
            QTest::qWait(30);  // some blocks after the end
        }  // closing the device completes the file
        const Output output = ReadOutput();
        QVERIFY(output.Frames() >= heard);
        const qint64 start = output.FirstSound();
        const QString difference = bMute ? (start == -1 ? QString() : QStringLiteral("muted, yet heard"))
                                         : output.CompareWithTone(start, heard, volume, length);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        if (bRepeat)
            return;
        QVERIFY(output.Frames() > start + tenthFrames + 1024);
        for (qint64 frame = start + tenthFrames; frame < output.Frames(); ++frame)
            QVERIFY2(output.IsSilent(frame), qPrintable(QString::number(frame)));
    }

    void PauseStopsTheOutputAndResumesWhereItStopped()
    {
        SendOutputToFile();
        quint64 beforePause = 0;
        {
            Player player;
            player.PlayFile(second);
            QTRY_VERIFY(player.GetFramesOutput() >= 8192);
            player.SetPaused(true);
            beforePause = player.GetFramesOutput();
            const uint position = player.GetPosition();
            QTest::qWait(100);  // about twenty blocks of output
            QCOMPARE(player.GetFramesOutput(), beforePause);
            QCOMPARE(player.GetPosition(), position);
            QVERIFY(player.IsPaused() && player.IsPlaying());
            player.SetPaused(false);
            QTRY_VERIFY(player.GetFramesOutput() >= beforePause + 8192);
        }
        const Output output = ReadOutput();
        const qint64 start = output.FirstSound();
        QString difference = output.CompareWithTone(start, qint64(beforePause), 1.0f, secondFrames);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        // The pause is silence, and after it the tone goes on with the frame that came next.
        qint64 resumed = start + qint64(beforePause);
        while (resumed < output.Frames() && output.IsSilent(resumed))
            ++resumed;
        QVERIFY2(resumed - (start + qint64(beforePause)) >= 1024, "the pause left no silence");
        difference = output.CompareWithTone(resumed, 8192, 1.0f, secondFrames, qint64(beforePause));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

};

QTEST_GUILESS_MAIN(TestAudioOutput)
#include "tst_AudioOutput.moc"
