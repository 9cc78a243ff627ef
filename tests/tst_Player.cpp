#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>

#include "ScriptedDialogs.h"
#include "TestTones.h"
#include "player/Exception.h"
#include "player/Player.h"

namespace
{
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
}

// The player over the engine on SDL's dummy driver.
class TestPlayer : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    QString File(const char *name) const { return folder.filePath(QLatin1String(name)); }

private slots:
    void initTestCase()
    {
        QVERIFY(TestTones::WriteExact(File("second.wav"), 44100));
        QVERIFY(TestTones::WriteExact(File("tenth.wav"), 4410));
        QVERIFY(TestTones::Write(File("mono22k.ogg"), SF_FORMAT_OGG | SF_FORMAT_VORBIS, 55125, 22050, 1));
        QVERIFY(TestTones::Write(File("odd.flac"), SF_FORMAT_FLAC | SF_FORMAT_PCM_16, 80008, 8000, 1));
        QVERIFY(TestTones::Write(File("pcm16.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 48000, 48000, 2));
        QFile wav(File("pcm16.wav"));
        QFile ogg(File("mono22k.ogg"));
        QVERIFY(wav.open(QIODevice::ReadOnly) && ogg.open(QIODevice::ReadOnly));
        const QByteArray header = wav.read(44);
        QVERIFY(TestTones::WriteBytes(File("header-only.wav"), header));
        QVERIFY(TestTones::WriteBytes(File("broken-header.wav"), header.left(20)));
        QVERIFY(TestTones::WriteBytes(File("truncated.ogg"), ogg.read(1000)));
        QVERIFY(TestTones::WriteBytes(File("empty.wav"), QByteArray()));
        QVERIFY(TestTones::WriteBytes(File("text.ogg"), "not a sound at all\n"));
        QVERIFY(QDir(folder.path()).mkdir("folder.wav"));
    }

    void FailedStartStopsThePreviousFileAndKeepsItsName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        const QString bad = QStringLiteral("Error loading file. ");
        const QString eof = QStringLiteral("End of file unexpectedly reached while trying to read essential data (truncated data?). ");
        QTest::newRow("missing file") << "missing.wav" << "File not found. ";
        QTest::newRow("empty file") << "empty.wav" << eof;
        QTest::newRow("header without samples") << "header-only.wav" << eof;
        QTest::newRow("text") << "text.ogg" << "Unsupported file or audio format. ";
        QTest::newRow("broken header") << "broken-header.wav" << bad;
        QTest::newRow("truncated ogg") << "truncated.ogg" << bad;
        QTest::newRow("folder") << "folder.wav" << bad;
    }
    void FailedStartStopsThePreviousFileAndKeepsItsName()
    {
        QFETCH(QString, name);
        QFETCH(QString, text);
        ScriptedDialogs dialogs;
        Player player;
        QCOMPARE(dialogs.Log(), QStringList());  // the engine's version is the expected one
        QCOMPARE(Thrown([&] { player.PlayFile(); }), QStringLiteral("File not found. "));
        player.PlayFile(File("second.wav"));
        QVERIFY(player.IsPlaying() && HoldsOpen(File("second.wav")));
        QCOMPARE(Thrown([&] { player.PlayFile(folder.filePath(name)); }), text);
        QVERIFY(!player.IsPlaying());
        QVERIFY(!HoldsOpen(File("second.wav")) && !HoldsOpen(folder.filePath(name)));
        // The name stays that of the last file that started.
        player.PlayFile();
        QVERIFY(player.IsPlaying());
        QCOMPARE(player.GetLength(), 1000u);
        player.Stop();
        player.Stop();
        QVERIFY(!HoldsOpen(File("second.wav")));
    }

    void VolumeIsClampedAndStored_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<float>("argument");
        QTest::addColumn<float>("stored");
        QTest::newRow("below 0") << "float" << -0.5f << 0.0f;
        QTest::newRow("above 1") << "float" << 3.0f << 1.0f;
        QTest::newRow("NaN is silence") << "float" << std::nanf("") << 0.0f;
        QTest::newRow("without argument") << "none" << 0.0f << 1.0f;
        QTest::newRow("slider 250") << "slider" << 250.0f << 0.25f;
        QTest::newRow("slider beyond 1000") << "slider" << 4000.0f << 1.0f;
    }
    void VolumeIsClampedAndStored()
    {
        QFETCH(QString, call);
        QFETCH(float, argument);
        QFETCH(float, stored);
        Player player;
        // Idle first, then while playing, where the channel answers.
        for (const bool bPlaying : {false, true}) {
            if (bPlaying)
                player.PlayFile(File("second.wav"));
            player.SetVolume(0.5f);
            if (call == "float")
                player.SetVolume(argument);
            else if (call == "slider")
                player.SetVolumeFromSlider(uint(argument));
            else
                player.SetVolume();
            QCOMPARE(player.GetVolume(), stored);
        }
    }

    // Ending without repeat while idle is heard in tst_AudioOutput; here repeat goes off mid-stream.
    void RepeatSwitchedOffWhilePlayingEndsTheStream()
    {
        Player player;
        player.SetPaused(true);  // idle: neither applied nor stored
        player.PlayFile(File("tenth.wav"));
        QVERIFY(!player.IsPaused());
        QCOMPARE(player.GetLength(), 100u);
        player.SetRepeat(false);
        QTRY_VERIFY(!player.IsPlaying());
        // Ended: the queries give their defaults, while the stream is still there to stop.
        QCOMPARE(player.GetLength(), 0u);
        QCOMPARE(player.GetPosition(), 0u);
        QVERIFY(!player.IsPaused());
        player.SetVolume(0.5f);
        QCOMPARE(player.GetVolume(), 0.5f);
        player.Stop();
        // Repeat stays off for the next stream.
        player.PlayFile(File("tenth.wav"));
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
        QTest::newRow("float wav, 1 ms at 44.1 kHz") << "second.wav" << 1000u << false << 1u << 1u;
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
        if (bSlider)
            player.SetPositionFromSlider(target);
        else
            player.SetPosition(target);
        QCOMPARE(player.GetPosition(), position);
        player.SetPosition(length);
        QCOMPARE(player.GetPosition(), position);
    }
};

QTEST_MAIN(TestPlayer)
#include "tst_Player.moc"
