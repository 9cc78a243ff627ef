#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include "TestTones.h"
#include "audio/SoundResult.h"
#include "audio/SoundSystem.h"

// The engine on SDL's dummy driver: result codes, formats, exact seeking, handle life. Playing,
// pausing and looping are checked at the output (tst_AudioOutput) and through the player.
class TestSoundSystem : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    std::unique_ptr<SoundSystem> system;
    QByteArray Name(const QString &name) const { return QFile::encodeName(folder.filePath(name)); }
    // Opens the file as a stream and plays it, paused or not, on the one channel.
    void Start(const QString &name, SoundSystem::SoundHandle *pSound, SoundSystem::ChannelHandle *pChannel,
               bool bPaused = false)
    {
        QCOMPARE(system->CreateStream(Name(name).constData(), SoundSystem::LoopNormal, pSound), int(SoundResult::Ok));
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
        QFile wav(path("pcm16.wav"));
        QFile ogg(path("mono22k.ogg"));
        QVERIFY(wav.open(QIODevice::ReadOnly) && ogg.open(QIODevice::ReadOnly));
        QVERIFY(TestTones::WriteBytes(path("broken-header.wav"), wav.read(20)));
        QVERIFY(TestTones::WriteBytes(path("truncated.ogg"), ogg.readAll().left(3000)));
        QVERIFY(TestTones::WriteBytes(path("empty.wav"), QByteArray()));
        QVERIFY(TestTones::WriteBytes(path("text.ogg"), "not a sound at all\n"));
        QVERIFY(QDir(folder.path()).mkdir("folder.wav"));
    }
    void init()
    {
        system.reset();
        QCOMPARE(SoundSystem::Create(system), int(SoundResult::Ok));
        QCOMPARE(system->Init(1), int(SoundResult::Ok));
    }
    void cleanup() { system.reset(); }

    // The player's tests see the texts of missing files, truncated files and missing devices.
    void TextsOfResults_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("ok") << int(SoundResult::Ok) << "No errors.";
        QTest::newRow("format") << int(SoundResult::Format) << "Unsupported file or audio format. ";
        QTest::newRow("bad") << int(SoundResult::FileBad) << "Error loading file. ";
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

    void OpenFailuresGiveTheirCodes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("result");
        QTest::newRow("missing") << "missing.wav" << int(SoundResult::FileNotFound);
        QTest::newRow("empty name") << QString() << int(SoundResult::FileNotFound);
        QTest::newRow("empty file") << "empty.wav" << int(SoundResult::FileEof);
        QTest::newRow("text") << "text.ogg" << int(SoundResult::Format);
        QTest::newRow("broken header") << "broken-header.wav" << int(SoundResult::FileBad);
        QTest::newRow("truncated ogg") << "truncated.ogg" << int(SoundResult::FileBad);
        QTest::newRow("folder") << "folder.wav" << int(SoundResult::FileBad);
    }
    void OpenFailuresGiveTheirCodes()
    {
        QFETCH(QString, name);
        QFETCH(int, result);
        SoundSystem::SoundHandle sound = 77;
        const QByteArray path = name.isEmpty() ? QByteArray() : Name(name);
        QCOMPARE(system->CreateStream(path.constData(), SoundSystem::LoopNormal, &sound), result);
        QCOMPARE(sound, 0u);
    }

    void PlaysEveryFormatWithItsLength_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("length");
        QTest::newRow("float wav at the output's rate") << "second.wav" << 1000u;
        QTest::newRow("16-bit wav at 48 kHz") << "pcm16.wav" << 1000u;
        QTest::newRow("mono ogg at 22.05 kHz") << "mono22k.ogg" << 2500u;
        QTest::newRow("mono flac at 8 kHz, odd length") << "odd.flac" << 10001u;
    }
    void PlaysEveryFormatWithItsLength()
    {
        QFETCH(QString, name);
        QFETCH(uint, length);
        SoundSystem::SoundHandle sound = 0;
        SoundSystem::ChannelHandle channel = 0;
        Start(name, &sound, &channel);
        quint32 reported = 0;
        QCOMPARE(system->GetLength(sound, &reported), int(SoundResult::Ok));
        QCOMPARE(reported, length);
        // A tenth of a second of output, and the position moved along with it.
        quint64 frames = 0;
        QTRY_VERIFY((system->GetFramesOutput(channel, &frames), frames >= 4410));
        quint32 position = 0;
        QCOMPARE(system->GetPosition(channel, &position), int(SoundResult::Ok));
        QVERIFY2(position > 0 && position < length, qPrintable(QString::number(position)));
    }

    void SeekReadsBackExactly_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<uint>("target");
        QTest::addColumn<int>("result");
        QTest::newRow("1 ms at 44.1 kHz") << "second.wav" << 1u << int(SoundResult::Ok);
        QTest::newRow("last ms") << "second.wav" << 999u << int(SoundResult::Ok);
        QTest::newRow("end") << "second.wav" << 1000u << int(SoundResult::PositionOutOfRange);
        QTest::newRow("far beyond") << "second.wav" << 4000000000u << int(SoundResult::PositionOutOfRange);
        QTest::newRow("ogg middle") << "mono22k.ogg" << 1234u << int(SoundResult::Ok);
        QTest::newRow("flac last ms") << "odd.flac" << 10000u << int(SoundResult::Ok);
    }
    void SeekReadsBackExactly()
    {
        QFETCH(QString, name);
        QFETCH(uint, target);
        QFETCH(int, result);
        SoundSystem::SoundHandle sound = 0;
        SoundSystem::ChannelHandle channel = 0;
        Start(name, &sound, &channel, true);  // paused: nothing moves between the seek and the reading
        QCOMPARE(system->SetPosition(channel, 400), int(SoundResult::Ok));
        QCOMPARE(system->SetPosition(channel, target), result);
        quint32 position = 0;
        QCOMPARE(system->GetPosition(channel, &position), int(SoundResult::Ok));
        QCOMPARE(position, result == SoundResult::Ok ? target : 400u);
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
        SoundSystem::SoundHandle first = 0;
        SoundSystem::SoundHandle second = 0;
        SoundSystem::ChannelHandle firstChannel = 0;
        SoundSystem::ChannelHandle secondChannel = 0;
        Start("second.wav", &first, &firstChannel);
        Start("short.wav", &second, &secondChannel);
        QCOMPARE(system->IsPlaying(firstChannel, &flag), invalid);
        QCOMPARE(system->IsPlaying(secondChannel, &flag), int(SoundResult::Ok));
        QVERIFY(flag);
    }
};

QTEST_GUILESS_MAIN(TestSoundSystem)
#include "tst_SoundSystem.moc"
