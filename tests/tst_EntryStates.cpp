// Entry states without a window: the real tools list the demo game's archives while a working
// folder goes through replacing, saving, restoring and reverting as the program's commands leave it.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include "GameAudioFiles.h"
#include "app/archive/EntryStates.h"
#include "app/archive/KeptOriginals.h"

using namespace GameAudioFiles;

namespace
{
bool CopyOver(const QString &from, const QString &to)
{
    return QDir().mkpath(QFileInfo(to).path()) && (!QFile::exists(to) || QFile::remove(to)) && QFile::copy(from, to);
}

// One demo archive (GENRL or CH) unpacked into a working folder; entries A and B are two of it.
struct Scene
{
    Scene(const QString &demoGame, bool bSfx) : bSfx(bSfx), kept(Type(), Archive(), Lookup())
    {
        bReady = true;
        for (const QString &file : FilesBelow(demoGame))
            bReady = bReady && CopyOver(demoGame + "/" + file, dir.filePath("game/") + file);
        bReady = bReady && QDir().mkpath(dir.filePath("work")) && Unpack();
    }
    IniMetafileModel::ArchiveType Type() const { return bSfx ? IniMetafileModel::SFX : IniMetafileModel::STREAM; }
    QString Game() const { return dir.filePath("game/audio/"); }
    QString Archive() const { return Game() + (bSfx ? "SFX/GENRL" : "streams/CH"); }
    QString Lookup() const { return Game() + (bSfx ? "CONFIG/BankLkup.dat" : "CONFIG/TrakLkup.dat"); }
    QString Folder() const { return dir.filePath(bSfx ? "work/GENRL" : "work/CH"); }
    QString Entry(QChar which) const
    {
        return bSfx ? QString("Bank_001/sound_00%1.wav").arg(which == 'A' ? 1 : 4) : QString("Track_00%1.ogg").arg(which == 'A' ? 1 : 3);
    }
    ToolRun Tool(QStringList arguments, const QString &lookup = QString()) const
    {
        const QString tool = bSfx ? KIVO_SFX_PATH : KIVO_STREAM_PATH;
        return Run(tool, bSfx || arguments[0] == "-i" ? arguments << (lookup.isNull() ? Lookup() : lookup) : arguments);
    }
    // Through the real tools, counting the listings.
    EntryStates States()
    {
        return EntryStates(Type(), Archive(), Lookup(), [this](const QString &program, const QStringList &arguments) {
            ++listings;
            const ToolRun run = Run(program == "kivo_sfx.exe" ? KIVO_SFX_PATH : KIVO_STREAM_PATH, arguments);
            return run.exitCode == 0 ? run.output : throw run.errorText;
        });
    }

    bool Unpack() const { return Tool({"-e", Archive(), dir.filePath("work")}).exitCode == 0; }
    // Keeps the game's files as a save does, then packs the folder into the archive in place.
    bool Save() const
    {
        kept.Keep();
        kept.KeepArchiveBeforeSwap();
        return Tool({"-i", Archive(), Folder() + (bSfx ? "/sfx_import.ini" : "/stream_import.ini")}).exitCode == 0;
    }
    bool Step(const QString &step)
    {
        const QString file = Folder() + "/" + Entry(step.back());
        // Each replacement differs; a sound keeps its size, so only its checksum tells.
        if (step.startsWith("replace")) {
            QByteArray sound = ReadFile(file);
            const char key = char(++replacements);
            for (qsizetype i = 44; i < sound.size(); ++i)
                sound[i] = char(sound[i] ^ key);
            return WriteFile(file, bSfx ? sound : OggVorbis(0.3, 300 + 100 * replacements));
        }
        // As "Revert to original" does, out of the kept original archive.
        if (step.startsWith("revert"))
            return QFile::remove(file) && Tool({"-x", kept.ArchivePath(), Entry(step.back()), file}, kept.LookupFilePath()).exitCode == 0;
        return step == "save"      ? Save()
             : step == "unpack"    ? Unpack()
             : step == "restore"   ? CopyOver(kept.ArchivePath(), Archive()) && CopyOver(kept.LookupFilePath(), Lookup())
             : step == "drop kept" ? QDir(Game() + "RozivOze originals").removeRecursively()
                                   : false;
    }
    // "A: changed, saved" and the like, for each entry that is not the game's own.
    QStringList Described(const EntryStates::Result &result) const
    {
        QStringList lines;
        for (const EntryStates::Entry &entry : result.entries) {
            const QString name = entry.name == Entry('A') ? "A" : entry.name == Entry('B') ? "B" : entry.name;
            if (entry.Kind() == EntryStates::State::ChangedSaved)
                lines << name + ": changed, saved";
            else if (entry.Kind() == EntryStates::State::NotSaved)
                lines << name + (entry.bChanged ? ": changed, not saved" : ": not saved");
        }
        return lines;
    }

    QTemporaryDir dir;
    bool bSfx = true;
    KeptOriginals kept;
    bool bReady = false;
    int replacements = 0;
    int listings = 0;
};
}

class TestEntryStates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const ToolRun generated = Run(QStringLiteral(DEMO_GENERATOR_PATH), {demo.filePath("game"), demo.path()});
        QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
    }

    void TellsEachEntrysState_data()
    {
        QTest::addColumn<bool>("bSfx");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QStringList>("expected"); // the entries that are not the game's own
        QTest::addColumn<bool>("bOriginalKept");
        for (const bool bSfx : {true, false}) {
            const auto row = [bSfx](const char *name, const QStringList &steps, const QStringList &expected, bool bKept) {
                QTest::addRow("%s, %s", bSfx ? "SFX" : "stream", name) << bSfx << steps << expected << bKept;
            };
            row("fresh unpack", {}, {}, false);
            // With no kept original the game's archive is the reference.
            row("replaced, nothing kept", {"replace A"}, {"A: changed, not saved"}, false);
            row("replaced and saved", {"replace A", "save"}, {"A: changed, saved"}, true);
            row("saved, another replaced", {"replace A", "save", "replace B"}, {"A: changed, saved", "B: changed, not saved"}, true);
            // The game holds its own entry again; saving the folder's file would put the mod back.
            row("saved, restored", {"replace A", "save", "restore"}, {"A: changed, not saved"}, true);
            row("saved, reverted in the folder", {"replace A", "save", "revert A"}, {"A: not saved"}, true);
            row("saved, reverted, saved", {"replace A", "save", "revert A", "save"}, {}, true);
            row("kept original gone after a save", {"replace A", "save", "drop kept"}, {}, false);
        }
    }

    void TellsEachEntrysState()
    {
        QFETCH(bool, bSfx);
        QFETCH(QStringList, steps);
        QFETCH(QStringList, expected);
        QFETCH(bool, bOriginalKept);
        Scene scene(demo.filePath("game"), bSfx);
        QVERIFY(scene.bReady);
        for (const QString &step : steps)
            QVERIFY2(scene.Step(step), qPrintable(step));
        const EntryStates::Result result = scene.States().Compare(scene.Folder());
        QCOMPARE(scene.Described(result), expected);
        QCOMPARE(result.bOriginalKept, bOriginalKept);
        QCOMPARE(result.entries.size(), bSfx ? 10 : 3);
        QCOMPARE(result.ChangedCount(), int(expected.filter(": changed").size()));
        QCOMPARE(result.NotSavedCount(), int(expected.filter("not saved").size()));
    }

    void ListsAnArchiveAgainOnlyWhenItChanged_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<int>("listings"); // made anew by the second comparison
        for (const auto &[change, listings] : {std::pair{"nothing", 0}, {"game archive's time", 1}, {"game archive's size", 1},
                                               {"kept original's time", 1}, {"cache damaged", 2}, {"cache removed", 2}})
            QTest::newRow(change) << QString(change) << listings;
    }

    void ListsAnArchiveAgainOnlyWhenItChanged()
    {
        QFETCH(QString, change);
        QFETCH(int, listings);
        Scene scene(demo.filePath("game"), true);
        QVERIFY(scene.bReady && scene.Step("replace A") && scene.Save() && scene.Step("replace B"));
        const QStringList first = scene.Described(scene.States().Compare(scene.Folder()));
        QCOMPARE(scene.listings, 2);
        const QString cache = scene.Folder() + "/" + EntryStates::cacheFileName;
        QVERIFY(QFileInfo(cache).isHidden());
        QFile archive(change.startsWith("kept") ? scene.kept.ArchivePath() : scene.Archive());
        const QDateTime before = QFileInfo(archive).lastModified();
        // A package may end in bytes no bank uses: its listing stays the same. Its time is set after
        // the write, so that the size alone differs.
        QVERIFY(archive.open(QIODevice::Append));
        QVERIFY(!change.endsWith("size") || (archive.write("\0\0", 2) == 2 && archive.flush()));
        QVERIFY(!change.endsWith("time") || archive.setFileTime(before.addSecs(-60), QFileDevice::FileModificationTime));
        QVERIFY(!change.endsWith("size") || archive.setFileTime(before, QFileDevice::FileModificationTime));
        archive.close();
        QVERIFY(change != "cache damaged" || WriteFile(cache, ReadFile(cache).replace('\t', ' ')));
        QVERIFY(change != "cache removed" || QFile::remove(cache));
        // The renewed cache then serves a third comparison alone.
        for (int round = 0; round < 2; ++round) {
            QCOMPARE(scene.Described(scene.States().Compare(scene.Folder())), first);
            QCOMPARE(scene.listings, 2 + listings);
        }
    }

private:
    QTemporaryDir demo;
};

QTEST_GUILESS_MAIN(TestEntryStates)
#include "tst_EntryStates.moc"
