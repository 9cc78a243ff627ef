#include <QTest>

#include <sndfile.h>

#include "DemoGame.h"

using namespace GameAudioFiles;

// The real window with the real tools over a game folder made by the demo generator: unpack an
// archive, play an entry, replace another, save, unpack again, and find exactly that change.
class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void ReplacedEntrySurvivesSaveAndReload_data();
    void ReplacedEntrySurvivesSaveAndReload();
};

void TestEndToEnd::ReplacedEntrySurvivesSaveAndReload_data()
{
    QTest::addColumn<int>("group"); // 0: SFX packages, their sounds in banks; 1: stream packs
    QTest::addColumn<int>("leaf");
    QTest::addColumn<bool>("useKivoMetadata");
    QTest::addColumn<QString>("folder"); // the archive's folder in the working directory
    QTest::newRow("SFX sound by a WAV") << 0 << 1 << true << "GENRL";
    QTest::newRow("stream track by an OGG, station folders") << 1 << 0 << true << "Tone Radio 101";
    QTest::newRow("stream track by an OGG, pack folders") << 1 << 1 << false << "RE";
}

void TestEndToEnd::ReplacedEntrySurvivesSaveAndReload()
{
    QFETCH(int, group);
    QFETCH(int, leaf);
    QFETCH(bool, useKivoMetadata);
    QFETCH(QString, folder);
    const int bankRow = group == 0 ? 1 : -1;
    const QString replaced = group == 0 ? "Bank_002/sound_002.wav" : "Track_002.ogg";
    DemoGame game;
    QVERIFY(game.IsReady());
    game.Start(useKivoMetadata);
    QVERIFY(game.Unpack(group, leaf));
    QCOMPARE(game.dialogs->Log(), QStringList());
    const QString archiveFolder = game.Work() + "/" + folder;
    const auto unpacked = Snapshot(archiveFolder);
    QVERIFY(unpacked.contains(replaced));
    QCOMPARE(game.Entry(bankRow, 1).data().toString(), replaced);
    // The demo describes its entries under the paths the window builds for them.
    game.View("archiveView")->setCurrentIndex(game.ArchiveNode(group, leaf));
    const QString virtualPath = game.window->GetVirtualItemPath(game.Entry(bankRow, 1));
    QVERIFY2(ReadFile(QCoreApplication::applicationDirPath() + "/MetaData.xml").contains(virtualPath.toUtf8()),
             qPrintable(virtualPath));

    // Play one entry, replace the next one.
    QVERIFY(game.window->Play(game.Entry(bankRow, 0)));
    const QString replacement = game.Root() + (bankRow < 0 ? "/new.ogg" : "/new.wav");
    const QVector<qint16> newSamples = Tone(5000, 523.25, 11025, 15000);
    QVERIFY(bankRow < 0 ? WriteFile(replacement, OggVorbis(1.5, 987.77))
                        : WriteSoundFile(replacement, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 11025, newSamples));
    game.Replace(game.Entry(bankRow, 1), replacement);
    QCOMPARE(game.StatusBar()->currentMessage(), QStringLiteral("Item was successfull replaced."));
    game.window->StopPlaying();

    // Save into the game folder, then unpack again instead of reusing the folder.
    game.window->SaveArchive();
    QCOMPARE(game.StatusBar()->currentMessage(), group == 0 ? "Save was successfull." : "Save was successfull");
    QCOMPARE(game.dialogs->Log().filter("Error"), QStringList());
    game.dialogs->buttons.enqueue(QMessageBox::No);
    game.dialogs->shown.clear();
    QVERIFY(QFile::remove(archiveFolder + "/" + replaced)); // must come back from the archive
    QVERIFY(game.Unpack(group, leaf));
    QCOMPARE(game.dialogs->Log(), QStringList{"Load existing files: The archiv, that you want to export, already exist in "
                                              "your working directory.\nDo you want load the existing archiv from your "
                                              "working directory?"});

    const auto reloaded = Snapshot(archiveFolder);
    QCOMPARE(reloaded.keys(), unpacked.keys());
    for (const QString &file : unpacked.keys())
        QVERIFY2(file == replaced || file.endsWith(".ini") || reloaded[file] == unpacked[file], qPrintable(file + " changed"));
    if (bankRow < 0) {
        QCOMPARE(reloaded[replaced], ReadFile(replacement));
    } else {
        const Wav wav = ReadWav(archiveFolder + "/" + replaced);
        QCOMPARE(wav.rate, 11025);
        QCOMPARE(wav.samples, newSamples);
    }
    QVERIFY(QFile::exists(game.Game() + (bankRow < 0 ? "/audio/CONFIG/TrakLkup.dat.bak" : "/audio/CONFIG/BankLkup.dat.bak")));
}

QTEST_MAIN(TestEndToEnd)
#include "tst_EndToEnd.moc"
