#include <QTemporaryDir>
#include <QTest>

#include <limits>

#include "TestTones.h"
#include "audio/SoundResult.h"
#include "audio/SoundSystem.h"

// The engine on SDL's dummy driver: texts of results and handle life. Formats, seeking and
// failing files are checked through the player, what is heard in tst_AudioOutput.
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
