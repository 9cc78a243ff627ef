#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <numeric>
#include <optional>
#include <thread>
#include <sys/stat.h>

#include "ScriptedDialogs.h"
#include "TestTones.h"
#include "audio/AudioConverter.h"
#include "audio/SoundResult.h"
#include "audio/SoundSystem.h"
#include "player/Exception.h"
#include "player/FModPlayerWidget.h"
#include "player/Player.h"
#include "player/Slider.h"
#include "waveform/WaveformPeaks.h"

Q_DECLARE_METATYPE(AudioForm)

namespace
{
constexpr qint64 tenthFrames = 4410;
constexpr uint trackLength = 205000;  // 3 minutes 25 seconds
constexpr int vorbis = SF_FORMAT_OGG | SF_FORMAT_VORBIS;
constexpr int opus = SF_FORMAT_OGG | SF_FORMAT_OPUS;
constexpr int flac16 = SF_FORMAT_FLAC | SF_FORMAT_PCM_16;
using SndFile = std::unique_ptr<SNDFILE, int (*)(SNDFILE *)>;

// Whether this process holds a descriptor open on the file.
bool HoldsOpen(const QString &path)
{
    const auto open = QDir(QStringLiteral("/proc/self/fd")).entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot);
    const QString target = QFileInfo(path).canonicalFilePath();
    return std::any_of(open.begin(), open.end(), [&](const QFileInfo &entry) { return entry.symLinkTarget() == target; });
}

QByteArray Contents(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Every sample of a file, and its header.
std::vector<float> ReadAll(const QString &path, SF_INFO &info)
{
    info = SF_INFO {};
    const SndFile file(sf_open(QFile::encodeName(path).constData(), SFM_READ, &info), &sf_close);
    std::vector<float> samples(std::size_t(info.frames * info.channels));
    return file && sf_readf_float(file.get(), samples.data(), info.frames) == info.frames ? samples : std::vector<float>();
}

void Send(Slider *pSlider, QEvent::Type type, int x, Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF point(x, 7);
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, pSlider->mapToGlobal(point), button,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(pSlider, &event);
}

// What SDL's disk driver wrote: interleaved floats, one per output channel.
struct Output
{
    std::vector<float> samples;
    // The first frame from `from` on that is not silence; -1 when there is none.
    qint64 FirstSound(qint64 from = 0) const
    {
        const auto begin = samples.begin() + std::min(from * SoundSystem::outputChannels, qint64(samples.size()));
        const auto sound = std::find_if(begin, samples.end(), [](float sample) { return sample != 0.0f; });
        return sound == samples.end() ? -1 : qint64(sound - samples.begin()) / SoundSystem::outputChannels;
    }
    // Empty when frames [start, start + count) hold the tone from toneFrame on, times gain (a
    // looping tone of toneLength frames starts again at 0); else the first difference.
    QString CompareWithTone(qint64 start, qint64 count, float gain, qint64 toneLength, qint64 toneFrame = 0) const
    {
        const int channels = SoundSystem::outputChannels;
        if (start < 0 || (start + count) * channels > qint64(samples.size()))
            return QStringLiteral("only %1 samples of output").arg(samples.size());
        for (qint64 sample = 0; sample < count * channels; ++sample) {
            const float expected = TestTones::Sample((toneFrame + sample / channels) % toneLength, int(sample % channels)) * gain;
            const float heard = samples[std::size_t(start * channels + sample)];
            if (heard != expected)
                return QStringLiteral("sample %1: %2 instead of %3").arg(sample).arg(double(heard), 0, 'g', 9)
                    .arg(double(expected), 0, 'g', 9);
        }
        return QString();
    }
};
}

// Reading sound files: the engine, the player, its strip and sliders, the converter and the outline.
class TestAudio : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    QString File(const char *name) const { return folder.filePath(QLatin1String(name)); }
    // Players made after this write what they play into output.raw, read back by Heard().
    void ToDisk() const { qputenv("SDL_AUDIODRIVER", "disk"); qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(File("output.raw"))); }
    Output Heard() const
    {
        qputenv("SDL_AUDIODRIVER", "dummy");
        const QByteArray bytes = Contents(File("output.raw"));
        const auto *pSamples = reinterpret_cast<const float *>(bytes.constData());
        return Output{std::vector<float>(pSamples, pSamples + bytes.size() / qsizetype(sizeof(float)))};
    }

private slots:
    void initTestCase()
    {
        // Milliseconds per block on the disk driver instead of real time (23 ms).
        qputenv("SDL_DISKAUDIODELAY", "5");
        // Float WAVs at the output's own rate and layout play without any conversion.
        QVERIFY(TestTones::Write(File("second.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, 44100));
        QVERIFY(TestTones::Write(File("tenth.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, tenthFrames));
        QVERIFY(TestTones::Write(File("mono22k.ogg"), vorbis, 55125, 22050, 1));
        QVERIFY(TestTones::Write(File("odd.flac"), flac16, 80008, 8000, 1));
        QVERIFY(TestTones::Write(File("track.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, qint64(trackLength) * 8, 8000, 1));
        QVERIFY(TestTones::WriteBytes(File("truncated.ogg"), Contents(File("mono22k.ogg")).left(1000)));
        QVERIFY(TestTones::WriteBytes(File("empty.wav"), QByteArray()));
        QVERIFY(TestTones::WriteBytes(File("text.ogg"), "not a sound at all\n"));
        QVERIFY(QDir(folder.path()).mkdir("folder.wav"));
        QVERIFY(mkfifo(QFile::encodeName(File("pipe")).constData(), 0600) == 0 && QFile::link(File("pipe"), File("pipe.wav")));
    }

    void EngineEndsTheChannelOfAReleasedStream()
    {
        // The player's destructor releases a stream that may still play: its channel must go with it.
        std::unique_ptr<SoundSystem> system;
        QCOMPARE(SoundSystem::Create(system), int(SoundResult::Ok));
        QCOMPARE(system->Init(1), int(SoundResult::Ok));
        SoundSystem::SoundHandle sound = 0;
        SoundSystem::ChannelHandle channel = 0;
        QCOMPARE(system->CreateStream(QFile::encodeName(File("second.wav")).constData(), SoundSystem::LoopNormal, &sound),
                 int(SoundResult::Ok));
        QCOMPARE(system->PlaySound(sound, false, &channel), int(SoundResult::Ok));
        QCOMPARE(system->ReleaseSound(sound), int(SoundResult::Ok));
        bool bPlaying = true;
        QCOMPARE(system->IsPlaying(channel, &bPlaying), int(SoundResult::InvalidHandle));
    }

    // The volume is set while idle: it must be kept and reach the stream from its first block; out
    // of range it is clamped, NaN counting as silence. A pause is silence, and after it the tone goes
    // on with the frame that came next, at the volume set meanwhile. The tone loops without a seam.
    // What is heard goes through SDL's disk driver into a file and is compared sample by sample.
    void PlaysTheToneScaledPausedOrLooped_data()
    {
        QTest::addColumn<bool>("bSlider");  // the volume on the slider's scale of 0..1000
        QTest::addColumn<float>("volume");
        QTest::addColumn<float>("stored");
        QTest::addColumn<bool>("bPause");
        QTest::newRow("a quarter from the slider") << true << 250.0f << 0.25f << false;
        QTest::newRow("above 1 is full scale") << false << 3.0f << 1.0f << false;
        QTest::newRow("below 0 is silence") << false << -0.5f << 0.0f << false;
        QTest::newRow("NaN is silence") << false << std::nanf("") << 0.0f << false;
        QTest::newRow("paused, resumed at half") << false << 1.0f << 1.0f << true;
    }
    void PlaysTheToneScaledPausedOrLooped()
    {
        QFETCH(bool, bSlider); QFETCH(float, volume); QFETCH(float, stored); QFETCH(bool, bPause);
        ToDisk();
        qint64 heard = 4 * tenthFrames;
        {
            Player player;
            player.SetVolume(0.5f);
            bSlider ? player.SetVolumeFromSlider(uint(volume)) : player.SetVolume(volume);
            QCOMPARE(player.GetVolume(), stored);
            player.PlayFile(File("tenth.wav"));
            QCOMPARE(player.GetVolume(), stored);  // now the channel's
            if (bPause) {
                QTRY_VERIFY(player.GetFramesOutput() >= 8192);
                player.SetPaused(true);
                heard = qint64(player.GetFramesOutput());
                QTest::qWait(100);  // about twenty blocks of output
                QCOMPARE(player.GetFramesOutput(), quint64(heard));
                player.SetVolume(0.5f);
                player.SetPaused(false);
            }
            QTRY_VERIFY(player.GetFramesOutput() >= quint64(bPause ? heard + 8192 : heard));
        }  // closing the device completes the file
        const Output output = Heard();
        const qint64 start = output.FirstSound();
        QString difference = stored == 0.0f ? (start == -1 ? QString() : QStringLiteral("silent, yet heard"))
                                            : output.CompareWithTone(start, heard, stored, tenthFrames);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        if (bPause) {
            const qint64 resumed = output.FirstSound(start + heard);
            QVERIFY2(resumed - (start + heard) >= 1024, "the pause left no silence");
            difference = output.CompareWithTone(resumed, 8192, 0.5f, tenthFrames, heard);
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
        }
    }

    // A repeat starts at the loop start the player was given: what is heard after the first lap is
    // the loop region again and again, not the start. Each frame's sample tells its number.
    void RepeatsFromTheLoopStart_data()
    {
        QTest::addColumn<qint64>("loopStart");
        QTest::addColumn<qint64>("repeatFrom");
        QTest::newRow("none: from the start") << qint64(-1) << qint64(0);
        QTest::newRow("from frame 1000") << qint64(1000) << qint64(1000);
        QTest::newRow("beyond the end: from the start") << tenthFrames + 5 << qint64(0);
    }
    void RepeatsFromTheLoopStart()
    {
        QFETCH(qint64, loopStart); QFETCH(qint64, repeatFrom);
        const auto numbered = [](qint64 frame, int) { return float(frame + 1) / 8192.0f; };  // exact in a float
        QVERIFY(TestTones::Write(File("numbered.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, tenthFrames, 44100, 2, 0.4, numbered));
        ToDisk();
        const qint64 lap = tenthFrames - repeatFrom;
        {
            Player player;
            player.PlayFile(File("numbered.wav"), loopStart);
            QTRY_VERIFY(player.GetFramesOutput() >= quint64(tenthFrames + 3 * lap + 1024));
        }
        const Output output = Heard();
        const qint64 start = output.FirstSound();
        QVERIFY(start >= 0 && (start + tenthFrames + 3 * lap) * SoundSystem::outputChannels <= qint64(output.samples.size()));
        for (qint64 heard = 0; heard < tenthFrames + 3 * lap; ++heard) {
            const qint64 frame = heard < tenthFrames ? heard : repeatFrom + (heard - tenthFrames) % lap;
            const float sample = output.samples[std::size_t((start + heard) * SoundSystem::outputChannels)];
            QVERIFY2(sample == numbered(frame, 0), qPrintable(QString("frame %1 heard %2, not %3").arg(heard).arg(sample * 8192 - 1).arg(frame)));
        }
    }

    // A file that is not audio is refused with the engine's text, by the converter and the outline
    // too, and the player stops the previous file and holds neither open. A playable one plays with
    // its length and moves on; paused, a seek reads back exactly and one at or beyond the end
    // changes nothing.
    void PlaysOrRefusesEveryFile_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");  // the engine's refusal; empty: it plays
        QTest::addColumn<uint>("length");
        QTest::addColumn<uint>("target");
        QTest::addColumn<uint>("position");
        QTest::newRow("missing file") << "missing.wav" << "File not found. " << 0u << 0u << 0u;
        QTest::newRow("empty file") << "empty.wav"
            << "End of file unexpectedly reached while trying to read essential data (truncated data?). " << 0u << 0u << 0u;
        QTest::newRow("text") << "text.ogg" << "Unsupported file or audio format. " << 0u << 0u << 0u;
        QTest::newRow("truncated ogg") << "truncated.ogg" << "Error loading file. " << 0u << 0u << 0u;
        QTest::newRow("folder") << "folder.wav" << "Error loading file. " << 0u << 0u << 0u;
        QTest::newRow("link to a pipe, which nobody writes") << "pipe.wav" << "Error loading file. " << 0u << 0u << 0u;
        QTest::newRow("float wav, the end") << "second.wav" << "" << 1000u << 1000u << 400u;
        QTest::newRow("mono ogg at 22.05 kHz") << "mono22k.ogg" << "" << 2500u << 1234u << 1234u;
        QTest::newRow("ogg, far beyond") << "mono22k.ogg" << "" << 2500u << 4000000000u << 400u;
        QTest::newRow("mono flac at 8 kHz, odd length, last ms") << "odd.flac" << "" << 10001u << 10000u << 10000u;
    }
    void PlaysOrRefusesEveryFile()
    {
        QFETCH(QString, name); QFETCH(QString, text); QFETCH(uint, length); QFETCH(uint, target); QFETCH(uint, position);
        const QString path = folder.filePath(name);
        Player player;
        player.SetPaused(true);  // idle: neither applied nor stored
        player.PlayFile(File("tenth.wav"));
        QVERIFY(player.IsPlaying() && HoldsOpen(File("tenth.wav")));
        try {
            player.PlayFile(path);
            QCOMPARE(QString(), text);
        } catch (const Exception &error) {
            QCOMPARE(QString::fromStdString(error.GetMessage()), text);
        }
        QVERIFY(!HoldsOpen(File("tenth.wav")));
        QCOMPARE(HoldsOpen(path), text.isEmpty());
        // Replacing refuses the file on the converter's reason before anything changes.
        QCOMPARE(AudioConverter::UnreadableReason(path).isNull(), text.isEmpty());
        QCOMPARE(WaveformPeaks::Compute(path, 100).IsValid(), text.isEmpty());
        QCOMPARE(player.IsPlaying(), text.isEmpty());
        QCOMPARE(player.GetLength(), length);
        if (!text.isEmpty())
            return;
        QTRY_VERIFY(player.GetFramesOutput() >= 4410);
        QVERIFY2(player.GetPosition() > 0 && player.GetPosition() < length, qPrintable(QString::number(player.GetPosition())));
        player.SetPaused(true);  // nothing moves after the seek
        player.SetPosition(400);
        player.SetPosition(target);
        QCOMPARE(player.GetPosition(), position);
        player.SetPosition(length);
        QCOMPARE(player.GetPosition(), position);
    }

    // A file's refusal keeps its own reason while the waveform's worker opens other files.
    void RefusalKeepsItsReasonWhileAnotherThreadOpens()
    {
        const QString reason = AudioConverter::UnreadableReason(File("text.ogg"));
        std::atomic<bool> bDone{false};
        std::thread worker([&] {
            while (!bDone)
                AudioConverter::FormOf(File("tenth.wav"));
        });
        QStringList reasons;
        for (int i = 0; i < 2000; ++i)
            reasons << AudioConverter::UnreadableReason(File("text.ogg"));
        bDone = true;
        worker.join();
        reasons.removeDuplicates();
        QCOMPARE(reasons, QStringList{reason});
    }

    // Without an output device the strip still opens and says why at each play, and plays once the
    // device is free. Then one track: paused, a drag previews while the timer waits and the release
    // at either end seeks there; then a stop or a failed play resets the strip.
    void StripStartsWithoutDeviceThenPlaysDragsSeeksAndStops_data()
    {
        QTest::addColumn<QByteArray>("driver");  // "busy": the dummy, held by another player
        QTest::addColumn<bool>("bRightEnd");
        QTest::addColumn<bool>("bStop");  // else a failed play ends the track
        QTest::newRow("no driver; right end: 1 ms before the end; stop") << QByteArray("no-such-driver") << true << true;
        QTest::newRow("device busy; left end: the start; failed play") << QByteArray("busy") << false << false;
    }
    void StripStartsWithoutDeviceThenPlaysDragsSeeksAndStops()
    {
        QFETCH(QByteArray, driver); QFETCH(bool, bRightEnd); QFETCH(bool, bStop);
        const uint position = bRightEnd ? trackLength - 1 : 0;
        ScriptedDialogs dialogs;
        std::optional<Player> holder;
        if (driver == "busy")
            holder.emplace();
        else
            qputenv("SDL_AUDIODRIVER", driver);
        FModPlayerWidget widget;
        widget.resize(600, 30);
        widget.show();
        Slider *volume = widget.findChildren<Slider *>().value(0);
        Slider *slider = widget.findChildren<Slider *>().value(1);
        const QLabel *label = widget.findChild<QLabel *>();
        QSignalSpy stopped(&widget, &FModPlayerWidget::PlayingStopped);
        widget.Break();  // nothing plays: nothing happens
        Send(volume, QEvent::MouseButtonPress, 30);
        Send(volume, QEvent::MouseButtonRelease, 30);
        QCOMPARE(volume->Value(), 400u);
        QVERIFY(!widget.Play(File("track.wav")));
        widget.Stop();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(dialogs.Log(), QStringList(2, QStringLiteral("Error: Error initializing output device. ")));
        holder.reset();
        qputenv("SDL_AUDIODRIVER", "dummy");
        stopped.clear();
        dialogs.shown.clear();
        QVERIFY(widget.Play(File("track.wav")));
        QTRY_VERIFY(slider->Value() > 0 && label->isVisible());
        QCOMPARE(label->text(), QStringLiteral("00:00 / 03:25"));

        widget.Break();
        const int width = slider->width();
        Send(slider, QEvent::MouseButtonPress, width / 2);
        Send(slider, QEvent::MouseMove, width / 4);
        const uint dragged = slider->Value();
        const QString preview = FModPlayerWidget::FormatTime(dragged) + " / 03:25";
        QCOMPARE(label->text(), preview);
        QTest::qWait(150);  // three ticks of the timer
        QCOMPARE(slider->Value(), dragged);
        QCOMPARE(label->text(), preview);
        const int end = bRightEnd ? width + 10 : -10;
        Send(slider, QEvent::MouseMove, end);
        Send(slider, QEvent::MouseButtonRelease, end);
        QCOMPARE(label->text(), bRightEnd ? QStringLiteral("03:24 / 03:25") : QStringLiteral("00:00 / 03:25"));
        QTRY_COMPARE(slider->Value(), position);  // the timer takes over from the seek
        widget.Break();
        QTRY_VERIFY(slider->Value() != position);

        if (bStop)
            widget.Stop();
        else
            QVERIFY(!widget.Play(File("missing.wav")));
        QCOMPARE(stopped.count(), bStop ? 1 : 0);
        QCOMPARE(dialogs.Log(), bStop ? QStringList() : QStringList{"Error: File not found. "});
        QVERIFY(!widget.IsPlaying());
        QTest::qWait(120);  // the timer shows nothing any more
        QCOMPARE(slider->Value(), 0u);
        QVERIFY(!label->isVisible());
        QCOMPARE(FModPlayerWidget::FormatTime(3600000), QStringLiteral("01:00:00"));  // longer files count hours
    }

    // Pressed at 30 (at 0 without width), dragged to x and back, released at x: the signals in
    // order, then the value and the last pixel drawn for it. Only the left button alone presses.
    void SliderPointerSetsTheValue_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<uint>("maximum");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("events");
        const int left = Qt::LeftButton;
        QTest::newRow("inside, rounded down") << 75 << 1000u << left << 38
                                              << "pressed 400, moved 506, moved 400, released 506, value 506 drawn to 36";
        QTest::newRow("left of the start") << 75 << 1000u << left << -20
                                           << "pressed 400, moved 0, moved 400, released 0, value 0 drawn to -1";
        QTest::newRow("right of the end") << 75 << 1000u << left << 90
                                          << "pressed 400, moved 1000, moved 400, released 1000, value 1000 drawn to 74";
        QTest::newRow("an hour on a wide slider does not overflow") << 2000 << 3600000u << left << 1999
            << "pressed 54000, moved 3598200, moved 54000, released 3598200, value 3598200 drawn to 1998";
        QTest::newRow("without width") << 0 << 1000u << left << 3
                                       << "pressed 0, moved 1000, moved 0, released 1000, value 1000 drawn to -1";
        QTest::newRow("no maximum keeps 1000") << 75 << 0u << left << 38
                                               << "pressed 400, moved 506, moved 400, released 506, value 506 drawn to 37";
        QTest::newRow("left with right held") << 75 << 1000u << int(Qt::LeftButton | Qt::RightButton) << 37 << "value 0 drawn to -1";
    }
    void SliderPointerSetsTheValue()
    {
        QFETCH(int, width); QFETCH(uint, maximum); QFETCH(int, buttons); QFETCH(int, x); QFETCH(QString, events);
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
        // Drawn from the value again: the handle's place needs more than 32 bits on the way.
        pSlider->SetMaximum(maximum);
        QRect done, rest;
        pSlider->PartRects(&done, &rest);
        log << QStringLiteral("value %1 drawn to %2").arg(pSlider->Value()).arg(done.right());
        QCOMPARE(log.join(QStringLiteral(", ")), events);
    }

    // Conversions into the archive's forms, from real files in the containers libsndfile writes.
    void ConvertsIntoTheFormWithItsLengthAndLevel_data()
    {
        QTest::addColumn<int>("format");
        QTest::addColumn<AudioForm>("input");      // its rate and channels
        QTest::addColumn<AudioForm>("form");
        QTest::addColumn<QList<double>>("levels"); // RMS of each output channel; none: the very samples of the input
        const AudioForm sound {false, 22050, 1};
        const AudioForm track {true, 44100, 2};
        const double left = 0.5 / M_SQRT2, right = left / 2, mixed = (left + right) / 2;
        QTest::newRow("stereo FLAC to a sound") << flac16 << AudioForm {false, 44100, 2} << sound << QList<double>{mixed};
        QTest::newRow("mono WAV to a stereo track") << (SF_FORMAT_WAV | SF_FORMAT_PCM_16) << AudioForm {false, 22050, 1} << track << QList<double>{left, left};
        QTest::newRow("Opus named .ogg to a track") << opus << AudioForm {false, 48000, 2} << track << QList<double>{left, right};
        QTest::newRow("16-bit mono FLAC at the sound's rate") << flac16 << AudioForm {false, 22050, 1} << sound << QList<double>{};
        QTest::newRow("stereo Vorbis to a mono track") << vorbis << AudioForm {false, 44100, 2} << AudioForm {true, 32000, 1} << QList<double>{mixed};
    }
    void ConvertsIntoTheFormWithItsLengthAndLevel()
    {
        QFETCH(int, format); QFETCH(AudioForm, input); QFETCH(AudioForm, form); QFETCH(QList<double>, levels);
        QTemporaryDir scratch;
        const QString source = scratch.filePath(format == opus ? "opus.ogg" : "source");
        const QString target = scratch.filePath("old.ogg");
        QVERIFY(TestTones::WriteBytes(target, "old entry"));
        QVERIFY(TestTones::Write(source, format, input.sampleRate, input.sampleRate, input.channels));  // one second
        QVERIFY(AudioConverter::UnreadableReason(source).isNull() && !AudioConverter::HasForm(source, form));
        // Aborted at the first progress, it leaves the old file and nothing beside it.
        std::atomic_bool bCancel {false};
        auto result = AudioConverter::Convert(source, target, form, bCancel, [&](int) { bCancel = true; });
        QCOMPARE(int(result.outcome), int(AudioConverter::Outcome::Aborted));
        QCOMPARE(QDir(scratch.path()).entryList(QDir::Files | QDir::Hidden), (QStringList{"old.ogg", QFileInfo(source).fileName()}));
        QCOMPARE(Contents(target), QByteArray("old entry"));
        bCancel = false;
        int lastPercent = -1;  // the last progress reported
        result = AudioConverter::Convert(source, target, form, bCancel, [&](int percent) { lastPercent = percent; });
        QCOMPARE(std::make_pair(result.message, lastPercent), std::make_pair(QString(), 100));
        SF_INFO info, in;
        const std::vector<float> samples = ReadAll(target, info);
        QCOMPARE(info.format, form.bTrack ? vorbis : SF_FORMAT_WAV | SF_FORMAT_PCM_16);
        QCOMPARE(std::make_pair(info.samplerate, info.channels), std::make_pair(form.sampleRate, form.channels));
        // A resampler may end a frame or two off.
        QVERIFY2(std::abs(info.frames - form.sampleRate) <= 2, qPrintable(QString::number(info.frames)));
        for (int channel = 0; channel < levels.size(); ++channel) {
            double sum = 0.0;
            for (std::size_t i = std::size_t(channel); i < samples.size(); i += std::size_t(form.channels))
                sum += double(samples[i]) * samples[i];
            const double level = std::sqrt(sum / double(info.frames));
            QVERIFY2(std::abs(level - levels[channel]) < 0.03 * levels[channel], qPrintable(QString::number(level)));
        }
        if (levels.isEmpty())
            QVERIFY(ReadAll(source, in) == samples);  // no dither noise on samples that fit
        QCOMPARE(QDir(scratch.path()).entryList(QDir::Files).size(), 2);  // nothing left beside it
    }

    // A converted replacement takes on the original's loudness, by integrated loudness or, for
    // short sounds, by RMS level; the gain stops where the true peak, found between the samples,
    // would pass the original's or -1 dBTP. Checked on the written samples, not by the meter.
    void MatchesTheOriginalsLoudness_data()
    {
        QTest::addColumn<bool>("bTrack");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<double>("originalLevel");  // amplitude of the original's tone; 0: silence
        QTest::addColumn<bool>("bClick");           // the replacement is two samples of `level` in silence, else a tone
        QTest::addColumn<double>("level");
        QTest::addColumn<bool>("bMatch");
        QTest::addColumn<double>("gain");           // dB
        const double louder = 0.1 * std::pow(10.0, 0.6), quieter = 0.1 / std::pow(10.0, 0.6);
        const double click = 20.0 * std::log10(0.5 * 4.0 / M_PI);  // its true peak, between its two samples
        QTest::newRow("sound 12 dB louder") << false << 1.0 << 0.1 << false << louder << true << -12.0;
        QTest::newRow("track 12 dB quieter") << true << 2.0 << 0.1 << false << quieter << true << 12.0;
        QTest::newRow("short click held at -1 dBTP") << false << 0.2 << 0.5 << true << 0.5 << true << -1.0 - click;
        QTest::newRow("short click held at the original's peak") << false << 0.2 << 0.95 << true << 0.5 << true << 20.0 * std::log10(0.95) - click;
        QTest::newRow("silent original") << false << 1.0 << 0.0 << false << louder << true << 0.0;
        QTest::newRow("silent replacement") << false << 1.0 << 0.1 << false << 0.0 << true << 0.0;
        QTest::newRow("matching off") << false << 1.0 << 0.1 << false << louder << false << 0.0;
    }
    void MatchesTheOriginalsLoudness()
    {
        QFETCH(bool, bTrack); QFETCH(double, seconds); QFETCH(double, originalLevel); QFETCH(bool, bClick);
        QFETCH(double, level); QFETCH(bool, bMatch); QFETCH(double, gain);
        QTemporaryDir scratch;
        const int rate = bTrack ? 44100 : 22050, frames = int(seconds * rate);
        const auto tone = [](double amplitude, int toneRate) {
            return [=](qint64 frame, int) { return float(amplitude * std::sin(2.0 * M_PI * 441.0 * double(frame) / toneRate)); };
        };
        const QString original = scratch.filePath("original"), replacement = scratch.filePath("new"), target = scratch.filePath("old");
        QVERIFY(TestTones::Write(original, bTrack ? vorbis : SF_FORMAT_WAV | SF_FORMAT_PCM_16, frames, rate, bTrack ? 2 : 1, 0.4,
                                 tone(originalLevel, rate)));
        // A sound's tone comes at another rate and channel count, its click at the sound's own.
        const int sourceRate = bTrack || bClick ? rate : 2 * rate;
        const std::function<float(qint64, int)> click = [=](qint64 frame, int) { return frame / 2 == 500 ? float(level) : 0.0f; };
        QVERIFY(TestTones::Write(replacement, bTrack ? flac16 : SF_FORMAT_WAV | SF_FORMAT_FLOAT, qint64(frames) * sourceRate / rate,
                                 sourceRate, bClick ? 1 : 2, 0.4, bClick ? click : tone(level, sourceRate)));
        QVERIFY(TestTones::WriteBytes(target, "old"));
        const std::atomic_bool bCancel {false};
        const auto result = AudioConverter::Convert(replacement, target, {bTrack, rate, bTrack ? 2 : 1, 0, bMatch ? original : ""}, bCancel, {});
        QCOMPARE(int(result.outcome), int(AudioConverter::Outcome::Done));
        QVERIFY2(std::abs(result.gainDb - gain) < 0.5, qPrintable(QString::number(result.gainDb)));
        SF_INFO info;
        const std::vector<float> written = ReadAll(target, info);
        const auto rmsDb = [](const std::vector<float> &samples) {
            return 10.0 * std::log10(std::inner_product(samples.begin(), samples.end(), samples.begin(), 0.0) / double(samples.size()));
        };
        QVERIFY(level == 0.0 || std::abs(rmsDb(written) - rmsDb(ReadAll(replacement, info)) - gain) < 0.5);
        QVERIFY(!bMatch || bClick || originalLevel * level == 0.0 || std::abs(rmsDb(written) - rmsDb(ReadAll(original, info))) < 0.5);
        const float peak = *std::max_element(written.begin(), written.end(), [](float a, float b) { return std::abs(a) < std::abs(b); });
        QVERIFY2(std::abs(peak) <= std::max(originalLevel, std::pow(10.0, -0.05)) * 1.01, qPrintable(QString::number(double(peak))));
    }

    // Float samples read back exactly: a full-scale square wave with a period of 100 frames on every
    // channel, or silence with one sample of 0.8 at clickFrame of clickChannel.
    void PeaksLandInTheirColumns_data()
    {
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("clickFrame");  // -1: the square wave
        QTest::addColumn<int>("clickChannel");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("expectedColumns");
        QTest::addColumn<int>("clickColumn");
        QTest::newRow("stereo square wave") << 2 << 1000 << -1 << 0 << 7 << 7 << -1;
        QTest::newRow("click mid-column, second of three channels") << 3 << 1000 << 537 << 1 << 10 << 10 << 5;
        QTest::newRow("click on the first frame of a column") << 1 << 1000 << 333 << 0 << 3 << 3 << 1;
        QTest::newRow("click on the last frame of a column") << 1 << 1000 << 332 << 0 << 3 << 3 << 0;
        QTest::newRow("click in the last frame") << 1 << 1000 << 999 << 0 << 10 << 10 << 9;
        QTest::newRow("fewer frames than columns") << 1 << 5 << 2 << 0 << 100 << 5 << 2;
    }
    void PeaksLandInTheirColumns()
    {
        QFETCH(int, channels); QFETCH(int, frames); QFETCH(int, clickFrame); QFETCH(int, clickChannel);
        QFETCH(int, columns); QFETCH(int, expectedColumns); QFETCH(int, clickColumn);
        const bool bSquare = clickFrame < 0;
        const auto signal = [&](qint64 frame, int channel) {
            return bSquare ? (frame % 100 < 50 ? 1.0f : -1.0f) : frame == clickFrame && channel == clickChannel ? 0.8f : 0.0f;
        };
        QVERIFY(TestTones::Write(File("signal.wav"), SF_FORMAT_WAV | SF_FORMAT_FLOAT, frames, 1000, channels, 0, signal));
        const WaveformPeaks peaks = WaveformPeaks::Compute(File("signal.wav"), columns);
        QVERIFY2(peaks.IsValid(), qPrintable(peaks.Error()));
        QCOMPARE(peaks.Columns(), expectedColumns);
        for (int channel = 0; channel < channels; ++channel) {
            for (int column = 0; column < expectedColumns; ++column) {
                const bool bClick = column == clickColumn && channel == clickChannel;
                QCOMPARE(peaks.Maximum(channel, column), bSquare ? 1.0f : bClick ? 0.8f : 0.0f);
                // A column of one frame has that frame as its lowest sample too.
                QCOMPARE(peaks.Minimum(channel, column), bSquare ? -1.0f : bClick && frames < columns ? 0.8f : 0.0f);
            }
        }
    }
};

QTEST_MAIN(TestAudio)
#include "tst_Audio.moc"
