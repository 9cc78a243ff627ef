#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <optional>
#include <vector>

#include "ScriptedDialogs.h"
#include "TestTones.h"
#include "audio/SoundResult.h"
#include "audio/SoundSystem.h"
#include "player/Exception.h"
#include "player/FModPlayerWidget.h"
#include "player/Player.h"
#include "player/Slider.h"

namespace
{
constexpr qint64 secondFrames = 44100;
constexpr qint64 tenthFrames = 4410;
constexpr uint trackLength = 205000;  // 3 minutes 25 seconds

// The engine's text of the exception the call throws, or "nothing thrown".
template<typename Call>
QString Thrown(Call call)
{
    try {
        call();
    } catch (const Exception &error) {
        return QString::fromStdString(error.GetMessage());
    }
    return QStringLiteral("nothing thrown");
}

// Whether this process holds a descriptor open on the file.
bool HoldsOpen(const QString &path)
{
    const QString target = QFileInfo(path).canonicalFilePath();
    const QDir descriptors(QStringLiteral("/proc/self/fd"));
    for (const QFileInfo &entry : descriptors.entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot))
        if (entry.symLinkTarget() == target)
            return true;
    return false;
}

void Send(Slider *pSlider, QEvent::Type type, int x, Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF point(x, 7);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : buttons;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton
                                 : buttons & Qt::LeftButton    ? Qt::LeftButton
                                                               : Qt::MouseButton(int(buttons));
    QMouseEvent event(type, point, pSlider->mapToGlobal(point), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(pSlider, &event);
}

// What SDL's disk driver wrote: interleaved floats, one per output channel.
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
        for (qint64 frame = 0; frame < count; ++frame)
            for (int channel = 0; channel < SoundSystem::outputChannels; ++channel) {
                const float expected = TestTones::Sample((toneFrame + frame) % toneLength, channel) * gain;
                if (At(start + frame, channel) != expected)
                    return QStringLiteral("frame %1 channel %2: %3 instead of %4").arg(frame).arg(channel)
                        .arg(double(At(start + frame, channel)), 0, 'g', 9).arg(double(expected), 0, 'g', 9);
            }
        return QString();
    }
};

// The player strip, with its sliders and label reached as its children.
struct Strip
{
    Strip()
    {
        widget.resize(600, 30);
        widget.show();
    }
    FModPlayerWidget widget;
    Slider *volume = widget.findChildren<Slider *>().value(0);
    Slider *position = widget.findChildren<Slider *>().value(1);
    QLabel *label = widget.findChild<QLabel *>();
};
}

// The sound engine, the player, the player strip and its sliders on SDL's dummy driver; what is
// heard goes through SDL's disk driver into a file and is compared sample by sample with the tone.
class TestAudio : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    QString File(const char *name) const { return folder.filePath(QLatin1String(name)); }

    // Players made between these two calls write what they play to a file named after the test row.
    QString OutputFile() const
    {
        return folder.filePath(QString::fromLatin1(QTest::currentTestFunction()) + '-'
                               + QString::fromLatin1(QTest::currentDataTag()) + ".raw");
    }
    void SendOutputToFile()
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(OutputFile()));
    }
    Output TakeOutput() const
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        QFile file(OutputFile());
        const QByteArray bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        const auto *pSamples = reinterpret_cast<const float *>(bytes.constData());
        return Output{std::vector<float>(pSamples, pSamples + bytes.size() / qsizetype(sizeof(float)))};
    }

private slots:
    void initTestCase()
    {
        // Milliseconds per block on the disk driver instead of real time (23 ms).
        qputenv("SDL_DISKAUDIODELAY", "5");
        QVERIFY(TestTones::WriteExact(File("second.wav"), secondFrames));
        QVERIFY(TestTones::WriteExact(File("tenth.wav"), tenthFrames));
        QVERIFY(TestTones::Write(File("mono22k.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 55125, 22050, 1));
        QVERIFY(TestTones::Write(File("odd.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 80008, 8000, 1));
        QVERIFY(TestTones::Write(File("pcm16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 48000, 2));
        QVERIFY(TestTones::Write(File("track.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, qint64(trackLength) * 8, 8000, 1));
        QFile ogg(File("mono22k.ogg"));
        QVERIFY(ogg.open(QIODevice::ReadOnly));
        QVERIFY(TestTones::WriteBytes(File("truncated.ogg"), ogg.read(1000)));
        QVERIFY(TestTones::WriteBytes(File("empty.wav"), QByteArray()));
        QVERIFY(TestTones::WriteBytes(File("text.ogg"), "not a sound at all\n"));
        QVERIFY(QDir(folder.path()).mkdir("folder.wav"));
    }

    void EngineEndsTheChannelOfAReleasedStreamAndNamesUnknownCodes()
    {
        // A code beyond the known ones must not index past the texts.
        QCOMPARE(QString::fromLatin1(SoundResult::Text(-1)), QStringLiteral("Unknown error."));
        QCOMPARE(QString::fromLatin1(SoundResult::Text(SoundResult::PositionOutOfRange + 1)), QStringLiteral("Unknown error."));
        // The player's destructor releases a stream that may still play: its channel must go with it.
        std::unique_ptr<SoundSystem> system;
        QCOMPARE(SoundSystem::Create(system), int(SoundResult::Ok));
        QCOMPARE(system->Init(1), int(SoundResult::Ok));
        SoundSystem::SoundHandle sound = 0;
        SoundSystem::ChannelHandle channel = 0;
        const QByteArray path = QFile::encodeName(File("second.wav"));
        QCOMPARE(system->CreateStream(path.constData(), SoundSystem::LoopNormal, &sound), int(SoundResult::Ok));
        QCOMPARE(system->PlaySound(sound, false, &channel), int(SoundResult::Ok));
        QCOMPARE(system->ReleaseSound(sound), int(SoundResult::Ok));
        bool bPlaying = true;
        QCOMPARE(system->IsPlaying(channel, &bPlaying), int(SoundResult::InvalidHandle));
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
            player.PlayFile(File(bLong ? "second.wav" : "tenth.wav"));
            QTRY_VERIFY(player.GetFramesOutput() >= quint64(heard));
            QTRY_COMPARE(player.IsPlaying(), bRepeat);
            QTest::qWait(30);  // some blocks after the end
        }  // closing the device completes the file
        const Output output = TakeOutput();
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
            player.PlayFile(File("second.wav"));
            QTRY_VERIFY(player.GetFramesOutput() >= 8192);
            player.SetPaused(true);
            beforePause = player.GetFramesOutput();
            const uint position = player.GetPosition();
            QTest::qWait(100);  // about twenty blocks of output
            QCOMPARE(player.GetFramesOutput(), beforePause);
            QCOMPARE(player.GetPosition(), position);
            player.SetPaused(false);
            QTRY_VERIFY(player.GetFramesOutput() >= beforePause + 8192);
        }
        const Output output = TakeOutput();
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

    void FailedStartStopsThePreviousFileAndKeepsItsName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString bad = QStringLiteral("Error loading file. ");
        QTest::newRow("missing file") << "missing.wav" << "File not found. ";
        QTest::newRow("empty file") << "empty.wav"
                                    << "End of file unexpectedly reached while trying to read essential data (truncated data?). ";
        QTest::newRow("text") << "text.ogg" << "Unsupported file or audio format. ";
        QTest::newRow("truncated ogg") << "truncated.ogg" << bad;
        QTest::newRow("folder") << "folder.wav" << bad;
    }
    void FailedStartStopsThePreviousFileAndKeepsItsName()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        Player player;
        QCOMPARE(Thrown([&] { player.PlayFile(); }), QStringLiteral("File not found. "));
        player.PlayFile(File("second.wav"));
        QVERIFY(player.IsPlaying() && HoldsOpen(File("second.wav")));
        QCOMPARE(Thrown([&] { player.PlayFile(folder.filePath(name)); }), text);
        QVERIFY(!player.IsPlaying());
        QVERIFY(!HoldsOpen(File("second.wav")) && !HoldsOpen(folder.filePath(name)));
        player.PlayFile();  // the name stays that of the last file that started
        QCOMPARE(player.GetLength(), 1000u);
        player.Stop();
        player.Stop();
        QVERIFY(!HoldsOpen(File("second.wav")));
    }

    void VolumeIsClampedAndStored_data()
    {
        QTest::addColumn<bool>("bSlider");
        QTest::addColumn<float>("argument");
        QTest::addColumn<float>("stored");
        QTest::newRow("below 0") << false << -0.5f << 0.0f;
        QTest::newRow("above 1") << false << 3.0f << 1.0f;
        QTest::newRow("NaN is silence") << false << std::nanf("") << 0.0f;
        QTest::newRow("slider 250") << true << 250.0f << 0.25f;
        QTest::newRow("slider beyond 1000") << true << 4000.0f << 1.0f;
    }
    void VolumeIsClampedAndStored()
    {
        QFETCH(bool, bSlider);
        QFETCH(float, argument);
        QFETCH(float, stored);
        Player player;
        // Idle first, then while playing, where the channel answers.
        for (const bool bPlaying : {false, true}) {
            if (bPlaying)
                player.PlayFile(File("second.wav"));
            player.SetVolume(0.5f);
            bSlider ? player.SetVolumeFromSlider(uint(argument)) : player.SetVolume(argument);
            QCOMPARE(player.GetVolume(), stored);
        }
    }

    void RepeatSwitchedOffWhilePlayingEndsTheStream()
    {
        Player player;
        player.SetPaused(true);  // idle: neither applied nor stored
        player.PlayFile(File("tenth.wav"));
        QVERIFY(!player.IsPaused());
        player.SetRepeat(false);
        QTRY_VERIFY(!player.IsPlaying());
        QCOMPARE(player.GetPosition(), 0u);
        player.Stop();
        player.PlayFile(File("tenth.wav"));  // repeat stays off for the next stream
        QTRY_VERIFY(!player.IsPlaying());
    }

    // Each format plays with its length and moves on; paused, a seek reads back exactly, and one
    // at or beyond the end is refused and changes nothing.
    void PlaysAndSeeksEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("length");
        QTest::addColumn<bool>("bSlider");  // the target is a percentage of the length
        QTest::addColumn<uint>("target");
        QTest::addColumn<uint>("position");
        QTest::newRow("float wav, the end") << "second.wav" << 1000u << false << 1000u << 400u;
        QTest::newRow("16-bit wav at 48 kHz, last ms") << "pcm16.wav" << 1000u << false << 999u << 999u;
        QTest::newRow("mono ogg at 22.05 kHz") << "mono22k.ogg" << 2500u << false << 1234u << 1234u;
        QTest::newRow("ogg, far beyond") << "mono22k.ogg" << 2500u << false << 4000000000u << 400u;
        QTest::newRow("mono flac at 8 kHz, odd length, last ms") << "odd.flac" << 10001u << false << 10000u << 10000u;
        QTest::newRow("slider 50") << "odd.flac" << 10001u << true << 50u << 5000u;
        QTest::newRow("slider 100 lands 1 ms before the end") << "odd.flac" << 10001u << true << 100u << 10000u;
        QTest::newRow("slider 150 counts as 100") << "odd.flac" << 10001u << true << 150u << 10000u;
    }
    void PlaysAndSeeksEveryFormat()
    {
        QFETCH(QString, name);
        QFETCH(uint, length);
        QFETCH(bool, bSlider);
        QFETCH(uint, target);
        QFETCH(uint, position);
        Player player;
        player.PlayFile(folder.filePath(name));
        QCOMPARE(player.GetLength(), length);
        QTRY_VERIFY(player.GetFramesOutput() >= 4410);
        QVERIFY2(player.GetPosition() > 0 && player.GetPosition() < length, qPrintable(QString::number(player.GetPosition())));
        player.SetPaused(true);  // nothing moves after the seek
        player.SetPosition(400);
        bSlider ? player.SetPositionFromSlider(target) : player.SetPosition(target);
        QCOMPARE(player.GetPosition(), position);
        player.SetPosition(length);
        QCOMPARE(player.GetPosition(), position);
    }

    void FormatsTime_data()
    {
        QTest::addColumn<uint>("milliseconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("just under a minute") << 59999u << "00:59";
        QTest::newRow("an hour") << 3600000u << "01:00:00";
        QTest::newRow("largest") << 4294967295u << "1193:02:47";
    }
    void FormatsTime()
    {
        QFETCH(uint, milliseconds);
        QFETCH(QString, text);
        QCOMPARE(FModPlayerWidget::FormatTime(milliseconds), text);
    }

    // One track: paused, a drag previews while the timer waits and the release at either end
    // seeks there; then a stop or a failed play resets the strip.
    void StripPlaysDragsSeeksAndStops_data()
    {
        QTest::addColumn<bool>("bRightEnd");
        QTest::addColumn<bool>("bStop");  // else a failed play ends the track
        QTest::newRow("right end: 1 ms before the end; stop") << true << true;
        QTest::newRow("left end: the start; failed play") << false << false;
    }
    void StripPlaysDragsSeeksAndStops()
    {
        QFETCH(bool, bRightEnd);
        QFETCH(bool, bStop);
        const uint position = bRightEnd ? trackLength - 1 : 0;
        const QString text = bRightEnd ? QStringLiteral("03:24 / 03:25") : QStringLiteral("00:00 / 03:25");
        ScriptedDialogs dialogs;
        Strip strip;
        QSignalSpy stopped(&strip.widget, &FModPlayerWidget::PlayingStopped);
        strip.widget.Break();  // nothing plays: nothing happens
        QVERIFY(strip.widget.Play(File("track.wav")));
        QCOMPARE(strip.position->Maximum(), trackLength);
        QTRY_VERIFY(strip.position->Value() > 0 && strip.label->isVisible());
        QCOMPARE(strip.label->text(), QStringLiteral("00:00 / 03:25"));

        strip.widget.Break();
        const int width = strip.position->width();
        Send(strip.position, QEvent::MouseButtonPress, width / 2);
        Send(strip.position, QEvent::MouseMove, width / 4);
        const uint dragged = strip.position->Value();
        const QString preview = FModPlayerWidget::FormatTime(dragged) + " / 03:25";
        QCOMPARE(strip.label->text(), preview);
        QTest::qWait(150);  // three ticks of the timer
        QCOMPARE(strip.position->Value(), dragged);
        QCOMPARE(strip.label->text(), preview);
        const int end = bRightEnd ? width + 10 : -10;
        Send(strip.position, QEvent::MouseMove, end);
        Send(strip.position, QEvent::MouseButtonRelease, end);
        QCOMPARE(strip.label->text(), text);
        // The timer takes over from the seek, and the pause keeps the position there.
        QTRY_COMPARE(strip.position->Value(), position);
        QTest::qWait(120);
        QCOMPARE(strip.position->Value(), position);
        strip.widget.Break();
        QTRY_VERIFY(strip.position->Value() != position);

        if (bStop)
            strip.widget.Stop();
        else
            QVERIFY(!strip.widget.Play(File("missing.wav")));
        QCOMPARE(stopped.count(), bStop ? 1 : 0);
        QCOMPARE(dialogs.Log(), bStop ? QStringList() : QStringList{"Error: File not found. "});
        QVERIFY(!strip.widget.IsPlaying());
        for (int check = 0; check < 2; ++check) {  // the timer shows nothing any more
            QCOMPARE(strip.position->Value(), 0u);
            QVERIFY(!strip.label->isVisible());
            QTest::qWait(120);
        }
    }

    void StripWorksWithoutOutputDevice_data()
    {
        QTest::addColumn<bool>("bBusy");
        QTest::newRow("no driver") << false;
        QTest::newRow("device busy") << true;
    }
    void StripWorksWithoutOutputDevice()
    {
        QFETCH(bool, bBusy);
        ScriptedDialogs dialogs;
        std::optional<Player> holder;
        if (bBusy)
            holder.emplace();
        else
            qputenv("SDL_AUDIODRIVER", "no-such-driver");
        Strip strip;
        const QString failure = QStringLiteral("Error: Error initializing output device. ");
        QCOMPARE(dialogs.Log(), QStringList{failure});

        QSignalSpy stopped(&strip.widget, &FModPlayerWidget::PlayingStopped);
        Send(strip.volume, QEvent::MouseButtonPress, 30);
        Send(strip.volume, QEvent::MouseButtonRelease, 30);
        QCOMPARE(strip.volume->Value(), 400u);
        strip.widget.Break();
        QVERIFY(!strip.widget.Play(File("track.wav")));
        strip.widget.Stop();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(dialogs.Log(), (QStringList{failure, failure}));

        // Once the device is free, playing works without restarting.
        holder.reset();
        qputenv("SDL_AUDIODRIVER", "dummy");
        QVERIFY(strip.widget.Play(File("track.wav")));
        QTRY_VERIFY(strip.label->isVisible());
        QCOMPARE(dialogs.Log().size(), 2);
    }

    // Pressed at 30 (at 0 without width), dragged to x and back, released at x: the signals in
    // order, then the value. Only the left button alone presses.
    void SliderPointerSetsTheValue_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<uint>("maximum");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("events");
        const int left = Qt::LeftButton;
        QTest::newRow("inside, rounded down") << 75 << 1000u << left << 38 << "pressed 400, moved 506, moved 400, released 506, value 506";
        QTest::newRow("left of the start") << 75 << 1000u << left << -20 << "pressed 400, moved 0, moved 400, released 0, value 0";
        QTest::newRow("right of the end") << 75 << 1000u << left << 90
                                          << "pressed 400, moved 1000, moved 400, released 1000, value 1000";
        QTest::newRow("an hour on a wide slider does not overflow") << 2000 << 3600000u << left << 1999
            << "pressed 54000, moved 3598200, moved 54000, released 3598200, value 3598200";
        QTest::newRow("without width") << 0 << 1000u << left << 3 << "pressed 0, moved 1000, moved 0, released 1000, value 1000";
        QTest::newRow("left with right held") << 75 << 1000u << int(Qt::LeftButton | Qt::RightButton) << 37 << "value 0";
    }
    void SliderPointerSetsTheValue()
    {
        QFETCH(int, width);
        QFETCH(uint, maximum);
        QFETCH(int, buttons);
        QFETCH(int, x);
        QFETCH(QString, events);
        QWidget parent;
        parent.resize(2100, 30);
        auto *pSlider = new Slider(&parent);
        pSlider->setGeometry(0, 0, width, 15);
        parent.show();
        pSlider->SetMaximum(maximum);
        QStringList log;
        const auto logger = [&](const char *name) { return [&log, name](uint value) { log << name + QString::number(value); }; };
        connect(pSlider, &Slider::SliderPressed, logger("pressed "));
        connect(pSlider, &Slider::SliderMoved, logger("moved "));
        connect(pSlider, &Slider::SliderReleased, logger("released "));
        const int start = width > 0 ? 30 : 0;
        Send(pSlider, QEvent::MouseButtonPress, start, Qt::MouseButtons(buttons));
        Send(pSlider, QEvent::MouseMove, x);
        Send(pSlider, QEvent::MouseMove, start);  // the release takes its own point, not the last one dragged to
        Send(pSlider, QEvent::MouseButtonRelease, x);
        log << QStringLiteral("value %1").arg(pSlider->Value());
        QCOMPARE(log.join(QStringLiteral(", ")), events);
    }

    void SliderValueIsClampedAndIgnoredWhilePressed()
    {
        Slider slider;
        slider.resize(75, 15);
        slider.show();
        slider.SetValue(5000);
        QCOMPARE(slider.Value(), 1000u);
        slider.SetMaximum(0);
        QCOMPARE(slider.Maximum(), 1000u);
        slider.SetMaximum(180000);
        Send(&slider, QEvent::MouseButtonPress, 60);
        QCOMPARE(slider.Value(), 144000u);
        // While pressed the value is neither set nor pulled into a smaller range.
        slider.SetMaximum(1000);
        slider.SetValue(123);
        QCOMPARE(slider.Value(), 144000u);
        Send(&slider, QEvent::MouseButtonRelease, 60);
        QCOMPARE(slider.Value(), 800u);
        slider.SetValue(123);
        QCOMPARE(slider.Value(), 123u);
        // An hour on a wide slider: the handle's place needs more than 32 bits on the way.
        slider.resize(2000, 15);
        slider.SetMaximum(3600000);
        slider.SetValue(3000000);
        QRect done;
        QRect rest;
        slider.PartRects(&done, &rest);
        QCOMPARE(done.right(), 1665);
    }
};

QTEST_MAIN(TestAudio)
#include "tst_Audio.moc"
