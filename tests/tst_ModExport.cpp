#include "app/archive/LoopStarts.h"
#include "app/archive/ModExport.h"
#include "app/archive/ModFolder.h"
#include "app/archive/OperationFeedback.h"

#include <QtTest>

#include <sndfile.h>

#include "GameAudioFiles.h"

using Outcome = ModExport::Outcome;

namespace
{
using namespace GameAudioFiles;

// A slot table of a slot of `first` bytes, then one of `second`.
QByteArray Table(quint32 first, quint32 second)
{
    QByteArray table(2 + 2 * 4820, '\0');
    table[0] = 2;
    PutU32(table, 2 + 4, first);
    PutU32(table, 2 + 4820, first);
    PutU32(table, 2 + 4820 + 4, second);
    return table;
}

struct AbortingFeedback : OperationFeedback
{
    AudioConverter::Result Convert(const QString &, const QString &, const AudioForm &) override
    {
        return {AudioConverter::Outcome::Aborted, {}};
    }
    void Inform(const QString &, const QString &) override {}
    void Fail(const QString &) override {}
};

// An unpacked SFX archive of one bank: its first sound replaced by one three times as long
// (2000 bytes of sound data before, 6000 now), the second as unpacked.
struct Unpacked
{
    QTemporaryDir dir;
    const QString root = dir.path(), game = root + "/game", folder = root + "/work/GENRL", mod = root + "/mod";
    QList<ModExport::Entry> entries {{"Bank_001/sound_001.wav", "Bank_001", 1, 22050, true, "a;b"},
                                     {"Bank_001/sound_002.wav", "Bank_001", 2, 22050, false, ""}};

    explicit Unpacked(int channels = 1)
    {
        const int wav = SF_FORMAT_WAV | SF_FORMAT_PCM_16;
        for (const QString &path : {game + "/audio/SFX", game + "/audio/CONFIG", root + "/other", mod, folder + "/Bank_001",
                                    folder + "/.originals/Bank_001"})
            QDir().mkpath(path);
        if (!WriteFile(game + "/audio/SFX/GENRL", "archive") || !WriteFile(game + "/audio/CONFIG/BankLkup.dat", "lookup")
            || !WriteFile(root + "/other/README.txt", "mine")
            || !WriteSoundFile(folder + "/.originals/Bank_001/sound_001.wav", wav, 1, 22050, Tone(1000, 440, 22050, 9000))
            || !WriteSoundFile(folder + "/Bank_001/sound_001.wav", wav, channels, 22050, Tone(3000 * channels, 440, 22050, 9000))
            || !WriteSoundFile(folder + "/Bank_001/sound_002.wav", wav, 1, 22050, Tone(500, 440, 22050, 9000)))
            qFatal("cannot write the archive's files");
    }
    ModExport::Result Export(const QString &into) const
    {
        AbortingFeedback feedback;
        const LoadedArchive archive(IniMetafileModel::SFX, folder + "/sfx_import.ini", QModelIndex(), game);
        return ModExport(archive, game + "/audio/SFX/GENRL", game + "/audio/CONFIG/BankLkup.dat", entries).Export(into, feedback);
    }
};
}

// A mod folder is written without a window and never touches the game folder.
class TestModExport : public QObject
{
    Q_OBJECT

private slots:
    // The mod's own BankSlot.dat grows, else the kept original of the game's, else the game's.
    void GrowsTheSlotTableItStartsFrom_data()
    {
        QTest::addColumn<QString>("tables");  // which exist
        QTest::addColumn<int>("channels");    // not mono: the sound needs converting
        QTest::addColumn<quint32>("grown");   // the first slot of the table the mod's grew from; 0 for none written
        QTest::newRow("the mod's own") << "mod kept game" << 1 << 5u;
        QTest::newRow("the kept original") << "kept game" << 1 << 4u;
        QTest::newRow("the game's") << "game" << 1 << 3u;
        QTest::newRow("none to grow") << "" << 1 << 0u;
        QTest::newRow("conversion aborted") << "game" << 2 << 0u;
    }
    void GrowsTheSlotTableItStartsFrom()
    {
        QFETCH(QString, tables);
        QFETCH(int, channels);
        QFETCH(quint32, grown);
        const Unpacked files(channels);
        const QMap<QString, QString> at {{"mod", files.mod + "/BankSlot.dat"},
                                         {"kept", files.game + "/audio/RozivOze originals/CONFIG/BankSlot.dat"},
                                         {"game", files.game + "/audio/CONFIG/BankSlot.dat"}};
        const QMap<QString, quint32> first {{"mod", 5}, {"kept", 4}, {"game", 3}};
        for (const QString &table : tables.split(' ', Qt::SkipEmptyParts))
            QVERIFY(QDir().mkpath(QFileInfo(at[table]).path()) && WriteFile(at[table], Table(first[table], 2000)));
        const QMap<QString, QByteArray> game = Snapshot(files.game);
        const ModExport::Result result = files.Export(files.mod);
        QVERIFY(Snapshot(files.game) == game);
        QCOMPARE(result.outcome, channels == 1 ? Outcome::Exported : Outcome::Stopped);
        QCOMPARE(QFile::exists(files.mod + "/README.txt"), channels == 1);
        QCOMPARE(result.missingSlotTable, tables.isEmpty() ? at["game"] : QString());
        QCOMPARE(result.bSlotTableWritten, grown > 0);
        QCOMPARE(ReadFile(at["mod"]), grown ? Table(grown, 6000) : QByteArray());
        QCOMPARE(result.bufferSize - result.bufferSizeBefore, quint64(grown ? 4000 : 0));
    }

    // A sound an earlier export wrote goes once it is the original again; a file it never wrote stays,
    // as does what the README says of another archive; a link that stays inside is no reason to refuse.
    void RevertedSoundLeavesTheMod()
    {
        Unpacked files;
        const QString sounds = files.mod + "/real/Bank_001/";
        QVERIFY(QDir().mkpath(sounds) && WriteFile(sounds + "sound_002.wav", "the user's")
                && QFile::link(files.mod + "/real", files.mod + "/GENRL")
                && WriteFile(files.mod + "/README.txt", ModFolder::MergeReadme({}, "CH", {"Track_001.ogg: d"}).toUtf8()));
        QCOMPARE(files.Export(files.mod).outcome, Outcome::Exported);
        files.entries[0].bChanged = false;
        QCOMPARE(files.Export(files.mod).outcome, Outcome::Exported);
        QCOMPARE(FilesBelow(files.mod), (QStringList {"README.txt", "real/Bank_001/sound_002.wav"}));
        const QString readme = ReadFile(files.mod + "/README.txt");
        QVERIFY(readme.contains("== CH ==\nTrack_001.ogg: d\n") && !readme.contains("sound_001"));
    }

    // README.txt lists each changed loop start with both values, and the closing words say where
    // loop starts take effect; a loop start set back to the original's is no change.
    void ListsChangedLoopStarts()
    {
        Unpacked files;
        const QString metafile = files.folder + "/sfx_import.ini";
        QVERIFY(WriteFile(metafile, "[Bank_001]\nsound_001.filename=a.wav\nsound_002.filename=b.wav\nsound_002.loop_offset=100\n"));
        const LoopStarts loopStarts(metafile);
        QVERIFY(loopStarts.Set(1, 2, 0).isNull() && loopStarts.Set(1, 1, 40).isNull() && loopStarts.Set(1, 1, -1).isNull());
        const ModExport::Result result = files.Export(files.mod);
        QCOMPARE(result.loopStartsChanged, 1);
        QVERIFY(ReadFile(files.mod + "/README.txt").contains("\nBank_001/sound_002.wav: loop start 100 -> 0\n"));
        struct : AbortingFeedback
        {
            void Inform(const QString &, const QString &text) override { told << text; }
            QStringList told;
        } feedback;
        ModExport::Tell(result, feedback);
        // Last, after what the sound buffer needs.
        QCOMPARE(feedback.told.last(), QString("README.txt lists 1 changed loop starts. Loop starts take effect only with a "
                                                    "save into the game: a runtime loader reads the sounds, not their loop starts."));
    }

    // Refused before anything is written: a write that a link carries out of the folder, also one
    // whose target is missing or itself. (The window's test has the folder in the game and a README
    // of the user's.)
    void RefusesWhatWouldLeaveTheFolder_data()
    {
        QTest::addColumn<QString>("link");    // in the mod folder
        QTest::addColumn<QString>("target");
        QTest::newRow("archive folder into the game") << "GENRL" << "game/audio/SFX";
        QTest::newRow("slot table to a new file outside") << "BankSlot.dat" << "other/new";
        QTest::newRow("a link to itself") << "GENRL" << "mod/GENRL";
    }
    void RefusesWhatWouldLeaveTheFolder()
    {
        QFETCH(QString, link);
        QFETCH(QString, target);
        const Unpacked files;
        QVERIFY(QFile::link(files.root + "/" + target, files.mod + "/" + link));
        const QMap<QString, QByteArray> before = Snapshot(files.root);
        const ModExport::Result result = files.Export(files.mod);
        QCOMPARE(result.outcome, Outcome::LeavesFolder);
        QCOMPARE(result.path, files.mod + "/" + link);
        QVERIFY(Snapshot(files.root) == before);
    }
};

QTEST_GUILESS_MAIN(TestModExport)
#include "tst_ModExport.moc"
