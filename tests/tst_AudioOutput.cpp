#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cstring>
#include <vector>

#include "TestTones.h"
#include "audio/SoundSystem.h"
#include "player/Player.h"

// What actually leaves the program: SDL's disk driver writes every output block to a file, which
// is then compared sample by sample with the tone that was played.
class TestAudioOutput : public QObject
{
    Q_OBJECT
private:
    // Output frames are interleaved floats, one per output channel.
    struct Output
    {
        std::vector<float> samples;
        qint64 Frames() const { return qint64(samples.size()) / SoundSystem::outputChannels; }
        float At(qint64 frame, int channel) const
        {
            return samples[std::size_t(frame * SoundSystem::outputChannels + channel)];
        }
        bool IsSilent(qint64 frame) const { return At(frame, 0) == 0.0f && At(frame, 1) == 0.0f; }
        qint64 FirstSound() const
        {
            for (qint64 frame = 0; frame < Frames(); ++frame)
                if (!IsSilent(frame))
                    return frame;
            return -1;
        }
    };

    // The next Player writes its output to a file of this name.
    void OutputTo(const QString &name) { qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(folder.filePath(name))); }
    Output ReadOutput(const QString &name) const;
    // Empty when output frames [start, start + count) hold the tone from toneFrame on, times gain
    // (a looping tone of toneLength frames starts again at 0); else the first difference.
    static QString CompareWithTone(const Output &output, qint64 start, qint64 count, float gain,
                                   qint64 toneLength, qint64 toneFrame = 0);

    QTemporaryDir folder;
    QString second;
    QString tenth;
    static constexpr qint64 secondFrames = 44100;
    static constexpr qint64 tenthFrames = 4410;

private slots:
    void initTestCase();
    void PlaysTheToneScaled_data();
    void PlaysTheToneScaled();
    void PauseStopsTheOutputAndResumesWhereItStopped();
    void LoopGoesOnPastTheEnd();
    void WithoutRepeatSilenceFollowsTheEnd();
};

void TestAudioOutput::initTestCase()
{
    QVERIFY(folder.isValid());
    qputenv("SDL_AUDIODRIVER", "disk");
    // Milliseconds per output block instead of real time (23 ms): the tests run about 4x faster.
    qputenv("SDL_DISKAUDIODELAY", "5");
    second = folder.filePath("second.wav");
    tenth = folder.filePath("tenth.wav");
    QVERIFY(TestTones::WriteExact(second, secondFrames));
    QVERIFY(TestTones::WriteExact(tenth, tenthFrames));
}

TestAudioOutput::Output TestAudioOutput::ReadOutput(const QString &name) const
{
    Output output;
    QFile file(folder.filePath(name));
    if (!file.open(QIODevice::ReadOnly))
        return output;
    const QByteArray bytes = file.readAll();
    output.samples.resize(std::size_t(bytes.size()) / sizeof(float));
    std::memcpy(output.samples.data(), bytes.constData(), output.samples.size() * sizeof(float));
    return output;
}

QString TestAudioOutput::CompareWithTone(const Output &output, qint64 start, qint64 count, float gain,
                                         qint64 toneLength, qint64 toneFrame)
{
    if (start < 0 || start + count > output.Frames())
        return QStringLiteral("only %1 frames of output from %2").arg(output.Frames() - start).arg(start);
    for (qint64 frame = 0; frame < count; ++frame) {
        for (int channel = 0; channel < SoundSystem::outputChannels; ++channel) {
            const float expected = TestTones::Sample((toneFrame + frame) % toneLength, channel) * gain;
            const float actual = output.At(start + frame, channel);
            if (actual != expected)
                return QStringLiteral("frame %1 channel %2: %3 instead of %4")
                    .arg(frame).arg(channel).arg(double(actual), 0, 'g', 9).arg(double(expected), 0, 'g', 9);
        }
    }
    return QString();
}

void TestAudioOutput::PlaysTheToneScaled_data()
{
    QTest::addColumn<float>("volume");
    QTest::addColumn<bool>("mute");
    QTest::addColumn<float>("gain");
    QTest::newRow("full volume") << 1.0f << false << 1.0f;
    QTest::newRow("a quarter") << 0.25f << false << 0.25f;
    QTest::newRow("muted") << 1.0f << true << 0.0f;
}

void TestAudioOutput::PlaysTheToneScaled()
{
    QFETCH(float, volume);
    QFETCH(bool, mute);
    QFETCH(float, gain);
    const QString name = QString::fromLatin1(QTest::currentDataTag()) + ".raw";
    OutputTo(name);
    constexpr qint64 heard = 16384;
    {
        Player player;
        // Set while idle: they must reach the stream from its very first block.
        player.SetVolume(volume);
        player.SetMute(mute);
        player.PlayFile(second);
        QTRY_VERIFY(player.GetFramesOutput() >= quint64(heard));
    }   // closing the device completes the file
    const Output output = ReadOutput(name);
    const qint64 start = output.FirstSound();
    if (gain == 0.0f) {
        QCOMPARE(start, qint64(-1));
        QVERIFY(output.Frames() >= heard);
        return;
    }
    QVERIFY(start >= 0);
    const QString difference = CompareWithTone(output, start, heard, gain, secondFrames);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestAudioOutput::PauseStopsTheOutputAndResumesWhereItStopped()
{
    OutputTo("pause.raw");
    quint64 beforePause = 0;
    {
        Player player;
        player.PlayFile(second);
        QTRY_VERIFY(player.GetFramesOutput() >= 8192);
        player.SetPaused(true);
        beforePause = player.GetFramesOutput();
        const uint position = player.GetPosition();
        QTest::qWait(100);      // about twenty blocks of output
        QCOMPARE(player.GetFramesOutput(), beforePause);
        QCOMPARE(player.GetPosition(), position);
        QVERIFY(player.IsPaused());
        QVERIFY(player.IsPlaying());
        player.SetPaused(false);
        QTRY_VERIFY(player.GetFramesOutput() >= beforePause + 8192);
    }
    const Output output = ReadOutput("pause.raw");
    const qint64 start = output.FirstSound();
    QVERIFY(start >= 0);
    QString difference = CompareWithTone(output, start, qint64(beforePause), 1.0f, secondFrames);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    // The pause is silence, and after it the tone goes on with the frame that came next.
    qint64 resumed = start + qint64(beforePause);
    while (resumed < output.Frames() && output.IsSilent(resumed))
        ++resumed;
    QVERIFY2(resumed - (start + qint64(beforePause)) >= 1024, "the pause left no silence");
    difference = CompareWithTone(output, resumed, 8192, 1.0f, secondFrames, qint64(beforePause));
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestAudioOutput::LoopGoesOnPastTheEnd()
{
    OutputTo("loop.raw");
    constexpr qint64 laps = 4;
    {
        Player player;          // repeat is on from the start
        player.PlayFile(tenth);
        QTRY_VERIFY(player.GetFramesOutput() >= quint64(laps * tenthFrames));
        QVERIFY(player.IsPlaying());
    }
    const Output output = ReadOutput("loop.raw");
    const QString difference = CompareWithTone(output, output.FirstSound(), laps * tenthFrames, 1.0f, tenthFrames);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
}

void TestAudioOutput::WithoutRepeatSilenceFollowsTheEnd()
{
    OutputTo("once.raw");
    {
        Player player;
        player.SetRepeat(false);
        player.PlayFile(tenth);
        QTRY_VERIFY(!player.IsPlaying());
        QTest::qWait(30);       // some blocks after the end
    }
    const Output output = ReadOutput("once.raw");
    const qint64 start = output.FirstSound();
    const QString difference = CompareWithTone(output, start, tenthFrames, 1.0f, tenthFrames);
    QVERIFY2(difference.isEmpty(), qPrintable(difference));
    QVERIFY(output.Frames() > start + tenthFrames + 1024);
    for (qint64 frame = start + tenthFrames; frame < output.Frames(); ++frame)
        QVERIFY2(output.IsSilent(frame), qPrintable(QString::number(frame)));
}

QTEST_GUILESS_MAIN(TestAudioOutput)
#include "tst_AudioOutput.moc"
