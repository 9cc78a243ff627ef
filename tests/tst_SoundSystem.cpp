#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include "TestTones.h"
#include "audio/SoundResult.h"
#include "audio/SoundSystem.h"

// The engine on SDL's dummy driver: formats, exact seeking, handle life. Failing files are
// checked through the player, what is heard in tst_AudioOutput.
class TestSoundSystem : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    std::unique_ptr<SoundSystem> system;
    // Opens the file as a stream and plays it, paused or not, on the one channel.
    void Start(const QString &name, SoundSystem::SoundHandle *pSound, SoundSystem::ChannelHandle *pChannel,
               bool bPaused = false)
    {
        const QByteArray path = QFile::encodeName(folder.filePath(name));
        QCOMPARE(system->CreateStream(path.constData(), SoundSystem::LoopNormal, pSound), int(SoundResult::Ok));
        QCOMPARE(system->PlaySound(*pSound, bPaused, pChannel), int(SoundResult::Ok));
        QVERIFY(*pChannel != 0);
    }

private slots:
    void initTestCase()
    {
        const auto path = [this](const char *name) { return folder.filePath(QLatin1String(name)); };
        QVERIFY(TestTones::WriteExact(path("second.wav"), 44100));
        QVERIFY(TestTones::WriteExact(path("short.wav"), 4410));
        QVERIFY(TestTones::Write(path("mono22k.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 55125, 22050, 1));
        QVERIFY(TestTones::Write(path("odd.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 80008, 8000, 1));
        QVERIFY(TestTones::Write(path("pcm16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 48000, 2));
    }
    void init()
    {
        system.reset();
        QCOMPARE(SoundSystem::Create(system), int(SoundResult::Ok));
        QCOMPARE(system->Init(1), int(SoundResult::Ok));
    }
    void cleanup() { system.reset(); }

    // Codes no file failure produces; an unknown code must not index past the texts.
    void TextsOfResults_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ok") << int(SoundResult::Ok) << "No errors.";
        QTest::newRow("handle") << int(SoundResult::InvalidHandle) << "An invalid object handle was used. ";
        QTest::newRow("memory") << int(SoundResult::Memory) << "Not enough memory or resources. ";
        QTest::newRow("negative") << -1 << "Unknown error.";
        QTest::newRow("beyond the last") << int(SoundResult::PositionOutOfRange) + 1 << "Unknown error.";
        QTest::newRow("huge") << std::numeric_limits<int>::max() << "Unknown error.";
    }
    void TextsOfResults()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(QString::fromLatin1(SoundResult::Text(code)), text);
    }

    // Each format plays with its length and moves on; paused, a seek reads back exactly.
    void PlaysAndSeeksEveryFormat_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("length");
        QTest::addColumn<uint>("target");
        QTest::addColumn<int>("result");
        QTest::newRow("float wav, 1 ms at 44.1 kHz") << "second.wav" << 1000u << 1u << int(SoundResult::Ok);
        QTest::newRow("float wav, the end") << "second.wav" << 1000u << 1000u << int(SoundResult::PositionOutOfRange);
        QTest::newRow("16-bit wav at 48 kHz, last ms") << "pcm16.wav" << 1000u << 999u << int(SoundResult::Ok);
        QTest::newRow("mono ogg at 22.05 kHz") << "mono22k.ogg" << 2500u << 1234u << int(SoundResult::Ok);
        QTest::newRow("ogg, far beyond") << "mono22k.ogg" << 2500u << 4000000000u << int(SoundResult::PositionOutOfRange);
        QTest::newRow("mono flac at 8 kHz, odd length, last ms") << "odd.flac" << 10001u << 10000u << int(SoundResult::Ok);
    }
    void PlaysAndSeeksEveryFormat()
    {
        QFETCH(QString, name);
        QFETCH(uint, length);
        QFETCH(uint, target);
        QFETCH(int, result);
        SoundSystem::SoundHandle sound = 0;
        SoundSystem::ChannelHandle channel = 0;
        Start(name, &sound, &channel);
        quint32 value = 0;
        QCOMPARE(system->GetLength(sound, &value), int(SoundResult::Ok));
        QCOMPARE(value, length);
        quint64 frames = 0;
        QTRY_VERIFY((system->GetFramesOutput(channel, &frames), frames >= 4410));
        QCOMPARE(system->GetPosition(channel, &value), int(SoundResult::Ok));
        QVERIFY2(value > 0 && value < length, qPrintable(QString::number(value)));
        QCOMPARE(system->SetPaused(channel, true), int(SoundResult::Ok));  // nothing moves after the seek
        QCOMPARE(system->SetPosition(channel, 400), int(SoundResult::Ok));
        QCOMPARE(system->SetPosition(channel, target), result);
        QCOMPARE(system->GetPosition(channel, &value), int(SoundResult::Ok));
        QCOMPARE(value, result == SoundResult::Ok ? target : 400u);
    }

    void HandlesOfStoppedAndReleasedObjectsAreInvalid()
    {
        SoundSystem::SoundHandle sound = 0;
        SoundSystem::ChannelHandle channel = 0;
        Start("second.wav", &sound, &channel);
        bool flag = false;
        quint32 value = 0;
        const int invalid = SoundResult::InvalidHandle;
        QCOMPARE(system->IsPlaying(0, &flag), invalid);
        QCOMPARE(system->GetLength(0, &value), invalid);

        QCOMPARE(system->Stop(channel), int(SoundResult::Ok));
        QCOMPARE(system->IsPlaying(channel, &flag), invalid);
        QCOMPARE(system->Stop(channel), invalid);
        QCOMPARE(system->SetPaused(channel, true), invalid);
        QCOMPARE(system->GetPosition(channel, &value), invalid);

        // A new channel for the same stream; releasing the stream ends it.
        SoundSystem::ChannelHandle again = 0;
        QCOMPARE(system->PlaySound(sound, false, &again), int(SoundResult::Ok));
        QVERIFY(again != channel);
        QCOMPARE(system->ReleaseSound(sound), int(SoundResult::Ok));
        QCOMPARE(system->IsPlaying(again, &flag), invalid);
        QCOMPARE(system->GetLength(sound, &value), invalid);
        QCOMPARE(system->ReleaseSound(sound), invalid);
        QCOMPARE(system->PlaySound(sound, false, &again), invalid);

        // A second stream takes the one channel over.
        SoundSystem::ChannelHandle firstChannel = 0;
        SoundSystem::ChannelHandle secondChannel = 0;
        Start("second.wav", &sound, &firstChannel);
        Start("short.wav", &sound, &secondChannel);
        QCOMPARE(system->IsPlaying(firstChannel, &flag), invalid);
        QCOMPARE(system->IsPlaying(secondChannel, &flag), int(SoundResult::Ok));
        QVERIFY(flag);
    }
};

QTEST_GUILESS_MAIN(TestSoundSystem)
#include "tst_SoundSystem.moc"
