// Entry states without a window: the real tools list the demo game's archives, and a test folder
// goes through replacing, saving, restoring and reverting as the program's commands leave it.
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

#include <sndfile.h>

#include "GameAudioFiles.h"
#include "app/archive/EntryStates.h"
#include "app/archive/KeptOriginals.h"

using namespace GameAudioFiles;

namespace
{
bool CopyFolder(const QString &from, const QString &to)
{
    bool bCopied = QDir().mkpath(to);
    for (const QString &file : FilesBelow(from))
        bCopied = bCopied && QDir().mkpath(QFileInfo(to + "/" + file).path()) && QFile::copy(from + "/" + file, to + "/" + file);
    return bCopied;
}

// Copies over an existing file, as a restore or a revert puts bytes back.
bool CopyOver(const QString &from, const QString &to)
{
    return (!QFile::exists(to) || QFile::remove(to)) && QFile::copy(from, to);
}

// One demo archive unpacked into a working folder, and the steps the program's commands take on it.
struct Scene
{
    Scene(const QString &demoGame, bool bSfx) : bSfx(bSfx)
    {
        bReady = CopyFolder(demoGame, Game()) && QDir().mkpath(Work()) && Unpack();
    }
    QString Game() const { return dir.filePath("game"); }
    QString Work() const { return dir.filePath("work"); }
    QString Name() const { return bSfx ? "GENRL" : "CH"; }
    QString Archive() const { return Game() + (bSfx ? "/audio/SFX/" : "/audio/streams/") + Name(); }
    QString Lookup() const { return Game() + (bSfx ? "/audio/CONFIG/BankLkup.dat" : "/audio/CONFIG/TrakLkup.dat"); }
    QString Folder() const { return Work() + "/" + Name(); }
    QString Tool() const { return bSfx ? KIVO_SFX_PATH : KIVO_STREAM_PATH; }
    QStringList WithLookup(QStringList arguments) const { return bSfx ? arguments << Lookup() : arguments; }
    KeptOriginals Kept() const { return KeptOriginals(bSfx ? IniMetafileModel::SFX : IniMetafileModel::STREAM, Archive(), Lookup()); }
    // The runner EntryStates uses: the real tools, counted.
    EntryStates States()
    {
        return EntryStates(bSfx ? IniMetafileModel::SFX : IniMetafileModel::STREAM, Archive(), Lookup(),
                           [this](const QString &program, const QStringList &arguments) {
                               ++listings;
                               const ToolRun run = Run(program == "kivo_sfx.exe" ? KIVO_SFX_PATH : KIVO_STREAM_PATH, arguments);
                               if (run.exitCode != 0)
                                   throw run.errorText;
                               return run.output;
                           });
    }

    bool Unpack() const { return Run(Tool(), WithLookup({"-e", Archive(), Work()})).exitCode == 0; }
    // Entry A is the first, B the last of the first bank (track 1 and 3); each replacement differs.
    QString Entry(const QString &which) const
    {
        return bSfx ? (which == "A" ? "Bank_001/sound_001.wav" : "Bank_001/sound_004.wav") : (which == "A" ? "Track_001.ogg" : "Track_003.ogg");
    }
    bool Replace(const QString &which)
    {
        const QString path = Folder() + "/" + Entry(which);
        const double frequency = 300 + 100 * ++replacements;
        return bSfx ? WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, Tone(3000, frequency, 22050, 9000))
                    : WriteFile(path, OggVorbis(0.3, frequency));
    }
    // Keeps the game's files as the save does the first time, then packs the folder into the archive.
    bool Save() const
    {
        const KeptOriginals kept = Kept();
        const QString table = Game() + (bSfx ? "/audio/CONFIG/PakFiles.dat" : "/audio/CONFIG/StrmPaks.dat");
        const bool bKept = QFile::exists(kept.ArchivePath())
                        || (QDir().mkpath(QFileInfo(kept.LookupFilePath()).path()) && QDir().mkpath(QFileInfo(kept.ArchivePath()).path())
                            && QFile::copy(Archive(), kept.ArchivePath()) && QFile::copy(Lookup(), kept.LookupFilePath())
                            && QFile::copy(table, kept.KeptPath(table)));
        const QString metafile = Folder() + (bSfx ? "/sfx_import.ini" : "/stream_import.ini");
        const ToolRun run = Run(Tool(), {"-i", Archive(), metafile, Lookup()}, Folder());
        return bKept && run.exitCode == 0;
    }
    bool Restore() const { return CopyOver(Kept().ArchivePath(), Archive()) && CopyOver(Kept().LookupFilePath(), Lookup()); }
    // Puts the kept original's entry back into the folder, as "Revert to original" does.
    bool Revert(const QString &which) const
    {
        const QString path = Folder() + "/" + Entry(which);
        return QFile::remove(path)
            && Run(Tool(), WithLookup({"-x", Kept().ArchivePath(), Entry(which), path}).replaceInStrings(Lookup(), Kept().LookupFilePath()))
                       .exitCode == 0;
    }
    bool DropKept() const { return QDir(QDir::cleanPath(QFileInfo(Kept().ArchivePath()).path() + "/..")).removeRecursively(); }
    bool Step(const QString &step)
    {
        const QString which = step.section(' ', 1);
        return step == "save"       ? Save()
             : step == "restore"    ? Restore()
             : step == "unpack"     ? Unpack()
             : step == "drop kept"  ? DropKept()
             : step.startsWith("replace ") ? Replace(which)
             : step.startsWith("revert ")  ? Revert(which)
                                           : false;
    }
    // "<entry>: changed, saved" and the like for every entry that is not the game's own, A and B by letter.
    QStringList Described(const EntryStates::Result &result) const
    {
        QStringList lines;
        for (const EntryStates::Entry &entry : result.entries) {
            const QString name = entry.name == Entry("A") ? "A" : entry.name == Entry("B") ? "B" : entry.name;
            if (entry.Kind() == EntryStates::State::ChangedSaved)
                lines << name + ": changed, saved";
            else if (entry.Kind() == EntryStates::State::NotSaved)
                lines << name + (entry.bChanged ? ": changed, not saved" : ": not saved");
        }
        return lines;
    }

    QTemporaryDir dir;
    bool bSfx = true;
    bool bReady = false;
    int replacements = 0;
    int listings = 0;
};
}

class TestEntryStates : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void TellsEachEntrysState_data();
    void TellsEachEntrysState();
    void ListsAnArchiveAgainOnlyWhenItChanged_data();
    void ListsAnArchiveAgainOnlyWhenItChanged();
    void RefusesWhatCannotBeListed_data();
    void RefusesWhatCannotBeListed();

private:
    QTemporaryDir demo;
};

void TestEntryStates::initTestCase()
{
    QVERIFY(demo.isValid() && QDir(demo.path()).mkpath("program"));
    const ToolRun generated = Run(QStringLiteral(DEMO_GENERATOR_PATH), {demo.filePath("game"), demo.filePath("program")});
    QVERIFY2(generated.exitCode == 0, qPrintable(generated.errorText));
}

void TestEntryStates::TellsEachEntrysState_data()
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
        // With no kept original the game's archive is the reference: replaced is both changed and not saved.
        row("replaced, nothing kept", {"replace A"}, {"A: changed, not saved"}, false);
        row("replaced and saved", {"replace A", "save"}, {"A: changed, saved"}, true);
        row("saved, unpacked again", {"replace A", "save", "unpack"}, {"A: changed, saved"}, true);
        row("saved, another replaced", {"replace A", "save", "replace B"}, {"A: changed, saved", "B: changed, not saved"}, true);
        row("saved, replaced again", {"replace A", "save", "replace A"}, {"A: changed, not saved"}, true);
        // The game holds its own sound again; the folder's modded file would put the mod back.
        row("saved, restored", {"replace A", "save", "restore"}, {"A: changed, not saved"}, true);
        row("saved, reverted in the folder", {"replace A", "save", "revert A"}, {"A: not saved"}, true);
        row("saved, reverted, saved", {"replace A", "save", "revert A", "save"}, {}, true);
        row("kept original gone after a save", {"replace A", "save", "drop kept"}, {}, false);
    }
}

void TestEntryStates::TellsEachEntrysState()
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

void TestEntryStates::ListsAnArchiveAgainOnlyWhenItChanged_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<int>("listings"); // made anew by the second comparison
    QTest::newRow("nothing") << "nothing" << 0;
    QTest::newRow("game archive's time") << "game time" << 1;
    QTest::newRow("game archive's size") << "game size" << 1;
    QTest::newRow("kept original's time") << "kept time" << 1;
    QTest::newRow("cache damaged") << "cache damaged" << 2;
    QTest::newRow("cache removed") << "cache removed" << 2;
}

void TestEntryStates::ListsAnArchiveAgainOnlyWhenItChanged()
{
    QFETCH(QString, change);
    QFETCH(int, listings);
    Scene scene(demo.filePath("game"), true);
    QVERIFY(scene.bReady && scene.Replace("A") && scene.Save() && scene.Replace("B"));
    const QStringList first = scene.Described(scene.States().Compare(scene.Folder()));
    QCOMPARE(scene.listings, 2);
    const QString cache = scene.Folder() + "/" + EntryStates::cacheFileName;
    QVERIFY(QFileInfo(cache).isHidden());
    const auto touch = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::ReadWrite)
            && file.setFileTime(QFileInfo(path).lastModified().addSecs(-60), QFileDevice::FileModificationTime);
    };
    // A package may end in bytes no bank uses: its listing stays the same.
    const auto grow = [](const QString &path) {
        QFile file(path);
        return file.open(QIODevice::Append) && file.write("\0\0", 2) == 2;
    };
    const bool bChanged = change == "nothing"         ? true
                        : change == "game time"       ? touch(scene.Archive())
                        : change == "game size"       ? grow(scene.Archive())
                        : change == "kept time"       ? touch(scene.Kept().ArchivePath())
                        : change == "cache damaged"   ? WriteFile(cache, ReadFile(cache).replace('\t', ' '))
                        : change == "cache removed"   ? QFile::remove(cache)
                                                      : false;
    QVERIFY(bChanged);
    QCOMPARE(scene.Described(scene.States().Compare(scene.Folder())), first);
    QCOMPARE(scene.listings, 2 + listings);
    // And the renewed cache serves a third comparison alone.
    QCOMPARE(scene.Described(scene.States().Compare(scene.Folder())), first);
    QCOMPARE(scene.listings, 2 + listings);
}

void TestEntryStates::RefusesWhatCannotBeListed_data()
{
    QTest::addColumn<QString>("fault");
    QTest::addColumn<QString>("message");
    QTest::newRow("damaged package") << "damaged" << "beyond the end of the package";
    QTest::newRow("tool not beside the program") << "no tool" << "kivo_sfx.exe could not be found.";
    QTest::newRow("output that is no listing") << "no listing" << "could not be read: line 1 of the listing is not an entry";
}

void TestEntryStates::RefusesWhatCannotBeListed()
{
    QFETCH(QString, fault);
    QFETCH(QString, message);
    Scene scene(demo.filePath("game"), true);
    QVERIFY(scene.bReady);
    QVERIFY(fault != "damaged" || QFile::resize(scene.Archive(), QFileInfo(scene.Archive()).size() - 100));
    const auto noListing = [](const QString &, const QStringList &) { return QByteArray("Bank_001/sound_001.wav\n"); };
    // The program looks for the tools in its current directory, which holds none here.
    const EntryStates states = fault == "no listing" ? EntryStates(IniMetafileModel::SFX, scene.Archive(), scene.Lookup(), noListing)
                             : fault == "no tool"    ? EntryStates(IniMetafileModel::SFX, scene.Archive(), scene.Lookup())
                                                     : scene.States();
    QString thrown;
    try {
        states.Compare(scene.Folder());
    } catch (const QString &text) {
        thrown = text;
    }
    QVERIFY2(thrown.contains(message), qPrintable(thrown));
    QVERIFY(!QFile::exists(scene.Folder() + "/" + EntryStates::cacheFileName));
}

QTEST_GUILESS_MAIN(TestEntryStates)
#include "tst_EntryStates.moc"
