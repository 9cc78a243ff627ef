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
private:
    QString Path(const QString &name) const { return folder.filePath(name); }
    QByteArray Name(const QString &name) const { return QFile::encodeName(Path(name)); }
    std::unique_ptr<SoundSystem> Initialised();
    void Start(SoundSystem &system, const QString &name, quint32 mode, SoundSystem::SoundHandle *pSound,
               SoundSystem::ChannelHandle *pChannel);

    QTemporaryDir folder;

private slots:
    void initTestCase();
    void TextsOfResults_data();
    void TextsOfResults();
    void OpenFailuresGiveTheirCodes_data();
    void OpenFailuresGiveTheirCodes();
    void PlaysEveryFormatWithItsLength_data();
    void PlaysEveryFormatWithItsLength();
    void SeekReadsBackExactly_data();
    void SeekReadsBackExactly();
    void HandlesOfStoppedAndReleasedObjectsAreInvalid();
};

std::unique_ptr<SoundSystem> TestSoundSystem::Initialised()
{
    std::unique_ptr<SoundSystem> system;
    if (SoundSystem::Create(system) != SoundResult::Ok || system->Init(1) != SoundResult::Ok)
        return nullptr;
    return system;
}

void TestSoundSystem::Start(SoundSystem &system, const QString &name, quint32 mode,
                            SoundSystem::SoundHandle *pSound, SoundSystem::ChannelHandle *pChannel)
{
    QCOMPARE(system.CreateStream(Name(name).constData(), mode, pSound), int(SoundResult::Ok));
    QCOMPARE(system.PlaySound(*pSound, false, pChannel), int(SoundResult::Ok));
    QVERIFY(*pChannel != 0);
}

void TestSoundSystem::initTestCase()
{
    QVERIFY(folder.isValid());
    QVERIFY(TestTones::WriteExact(Path("second.wav"), 44100));
    QVERIFY(TestTones::WriteExact(Path("short.wav"), 4410));
    QVERIFY(TestTones::Write(Path("mono22k.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 55125, 22050, 1));
    QVERIFY(TestTones::Write(Path("odd.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 80008, 8000, 1));
    QVERIFY(TestTones::Write(Path("pcm16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 48000, 2));
    QFile wav(Path("pcm16.wav"));
    QVERIFY(wav.open(QIODevice::ReadOnly));
    QVERIFY(TestTones::WriteBytes(Path("broken-header.wav"), wav.read(20)));
    QVERIFY(TestTones::WriteBytes(Path("empty.wav"), QByteArray()));
    QVERIFY(TestTones::WriteBytes(Path("text.ogg"), "not a sound at all\n"));
    QFile ogg(Path("mono22k.ogg"));
    QVERIFY(ogg.open(QIODevice::ReadOnly));
    QVERIFY(TestTones::WriteBytes(Path("truncated.ogg"), ogg.readAll().left(3000)));
    QVERIFY(QDir(folder.path()).mkdir("folder.wav"));
}

// The player's tests see the texts of missing files, truncated files and missing devices.
void TestSoundSystem::TextsOfResults_data()
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

void TestSoundSystem::TextsOfResults()
{
    QFETCH(int, code);
    QFETCH(QString, text);
    QCOMPARE(QString::fromLatin1(SoundResult::Text(code)), text);
}

void TestSoundSystem::OpenFailuresGiveTheirCodes_data()
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

void TestSoundSystem::OpenFailuresGiveTheirCodes()
{
    QFETCH(QString, name);
    QFETCH(int, result);
    auto system = Initialised();
    QVERIFY(system);
    SoundSystem::SoundHandle sound = 77;
    const QByteArray path = name.isEmpty() ? QByteArray() : Name(name);
    QCOMPARE(system->CreateStream(path.constData(), SoundSystem::LoopNormal, &sound), result);
    QCOMPARE(sound, 0u);
}

void TestSoundSystem::PlaysEveryFormatWithItsLength_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<uint>("length");
    QTest::newRow("float wav at the output's rate") << "second.wav" << 1000u;
    QTest::newRow("16-bit wav at 48 kHz") << "pcm16.wav" << 1000u;
    QTest::newRow("mono ogg at 22.05 kHz") << "mono22k.ogg" << 2500u;
    QTest::newRow("mono flac at 8 kHz, odd length") << "odd.flac" << 10001u;
}

void TestSoundSystem::PlaysEveryFormatWithItsLength()
{
    QFETCH(QString, name);
    QFETCH(uint, length);
    auto system = Initialised();
    QVERIFY(system);
    SoundSystem::SoundHandle sound = 0;
    SoundSystem::ChannelHandle channel = 0;
    Start(*system, name, SoundSystem::LoopNormal, &sound, &channel);
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

void TestSoundSystem::SeekReadsBackExactly_data()
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

void TestSoundSystem::SeekReadsBackExactly()
{
    QFETCH(QString, name);
    QFETCH(uint, target);
    QFETCH(int, result);
    auto system = Initialised();
    QVERIFY(system);
    SoundSystem::SoundHandle sound = 0;
    QCOMPARE(system->CreateStream(Name(name).constData(), SoundSystem::LoopNormal, &sound), int(SoundResult::Ok));
    SoundSystem::ChannelHandle channel = 0;
    // Paused, so that nothing moves between the seek and the reading.
    QCOMPARE(system->PlaySound(sound, true, &channel), int(SoundResult::Ok));
    QCOMPARE(system->SetPosition(channel, 400), int(SoundResult::Ok));
    QCOMPARE(system->SetPosition(channel, target), result);
    quint32 position = 0;
    QCOMPARE(system->GetPosition(channel, &position), int(SoundResult::Ok));
    QCOMPARE(position, result == SoundResult::Ok ? target : 400u);
}

void TestSoundSystem::HandlesOfStoppedAndReleasedObjectsAreInvalid()
{
    auto system = Initialised();
    QVERIFY(system);
    SoundSystem::SoundHandle sound = 0;
    SoundSystem::ChannelHandle channel = 0;
    Start(*system, "second.wav", SoundSystem::LoopNormal, &sound, &channel);
    bool flag = false;
    quint32 value = 0;
    QCOMPARE(system->IsPlaying(0, &flag), int(SoundResult::InvalidHandle));
    QCOMPARE(system->GetLength(0, &value), int(SoundResult::InvalidHandle));

    QCOMPARE(system->Stop(channel), int(SoundResult::Ok));
    QCOMPARE(system->IsPlaying(channel, &flag), int(SoundResult::InvalidHandle));
    QCOMPARE(system->Stop(channel), int(SoundResult::InvalidHandle));
    QCOMPARE(system->SetPaused(channel, true), int(SoundResult::InvalidHandle));
    QCOMPARE(system->GetPosition(channel, &value), int(SoundResult::InvalidHandle));

    // A new channel for the same stream; releasing the stream ends it.
    SoundSystem::ChannelHandle again = 0;
    QCOMPARE(system->PlaySound(sound, false, &again), int(SoundResult::Ok));
    QVERIFY(again != channel);
    QCOMPARE(system->ReleaseSound(sound), int(SoundResult::Ok));
    QCOMPARE(system->IsPlaying(again, &flag), int(SoundResult::InvalidHandle));
    QCOMPARE(system->GetLength(sound, &value), int(SoundResult::InvalidHandle));
    QCOMPARE(system->ReleaseSound(sound), int(SoundResult::InvalidHandle));
    QCOMPARE(system->PlaySound(sound, false, &again), int(SoundResult::InvalidHandle));

    // A second stream takes the one channel over.
    SoundSystem::SoundHandle first = 0;
    SoundSystem::SoundHandle second = 0;
    SoundSystem::ChannelHandle firstChannel = 0;
    SoundSystem::ChannelHandle secondChannel = 0;
    Start(*system, "second.wav", SoundSystem::LoopNormal, &first, &firstChannel);
    Start(*system, "short.wav", SoundSystem::LoopNormal, &second, &secondChannel);
    QCOMPARE(system->IsPlaying(firstChannel, &flag), int(SoundResult::InvalidHandle));
    QCOMPARE(system->IsPlaying(secondChannel, &flag), int(SoundResult::Ok));
    QVERIFY(flag);
}

QTEST_GUILESS_MAIN(TestSoundSystem)
#include "tst_SoundSystem.moc"
