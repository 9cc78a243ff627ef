// The real window drives the real toolkit over a game folder made by the demo generator, and faults come from
// outside: a tool or the program killed halfway, locked files and folders, a disk that refuses writes. Each time
// the user must get the program's message, and every file that was there before must still be there, whole.
#include <QAction>
#include <QApplication>
#include <QFont>
#include <QItemSelectionModel>
#include <QLabel>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSettings>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QtEndian>
#include <QTreeView>

#include <csignal>
#include <memory>

#include <sndfile.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "FileLocks.h"
#include "GameAudioFiles.h"
#include "DemoGame.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"
#include "app/archive/LoopStarts.h"
#include "format/BankSlotFile.h"
#include "game/PathCase.h"
#include "tool/WaitDialog.h"

using namespace GameAudioFiles;

namespace
{
using Files = QMap<QString, QByteArray>;

// The files of before that are missing or changed now.
QStringList Damaged(const Files &before, const Files &now)
{
    QStringList damaged = before.keys();
    damaged.removeIf([&](const QString &file) { return now.value(file, "\x01 gone") == before[file]; });
    return damaged;
}

struct Archive
{
    int group = 0;          // in the demo's tree
    int leaf = 0;
    QString folder;         // in the working directory
    QString path;           // in the game folder
    QString lookup;         // in the game folder
    QString program;
    int bankRow = -1;       // -1: a flat list of tracks
    QString entry;          // the entry the tests replace, in the folder
};

const Archive sfx{0, 1, "GENRL", "audio/SFX/GENRL", "audio/CONFIG/BankLkup.dat", "kivo_sfx.exe", 1, "Bank_002/sound_002.wav"};
const Archive stream{1, 0, "CH", "audio/streams/CH", "audio/CONFIG/TrakLkup.dat", "kivo_stream.exe", -1, "Track_002.ogg"};
const Archive spcEa{0, 2, "SPC_EA", "audio/SFX/SPC_EA", sfx.lookup, sfx.program, 0, "Bank_001/sound_001.wav"};

// A sound of tens of kilobytes in the entry's format; a WAV at the rate the toolkit keeps.
const QVector<qint16> replacementSamples = Tone(20000, 523.25, 22050, 15000);
QString WriteReplacement(const DemoGame &game, const Archive &archive)
{
    const QString path = game.Root() + (archive.bankRow < 0 ? "/replacement.ogg" : "/replacement.wav");
    // In the entry's own form (the demo's sounds are at 22050 Hz, its tracks stereo at 32 kHz), so it goes in as it is.
    const bool bWritten = archive.bankRow < 0 ? WriteFile(path, OggVorbis(2.0, 987.77, 2, 32000))
                                              : WriteSoundFile(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, replacementSamples);
    return bWritten ? path : QString();
}

// The archive as it unpacks now, in a folder of its own: proof that the game can still use it.
Files FreshUnpacking(const DemoGame &game, const Archive &archive)
{
    const QString target = game.Root() + "/fresh";
    QDir(target).removeRecursively();
    QDir().mkpath(target);
    QStringList arguments{"-e", game.Game() + "/" + archive.path, target};
    if (archive.bankRow >= 0)
        arguments << game.Game() + "/" + archive.lookup;
    const ToolRun run = Run(game.Root() + "/" + archive.program, arguments);
    if (run.exitCode != 0)
        qWarning("the game's archive no longer unpacks: %s", qPrintable(run.errorText));
    return run.exitCode == 0 ? Snapshot(target + "/" + QFileInfo(archive.path).fileName()) : Files();
}
}

Q_DECLARE_METATYPE(Archive)

class TestEndToEnd : public QObject
{
    Q_OBJECT
private slots:
    void EveryEntryIsKnownAsTheGamesOwnSavedOrNotSaved_data()
    {
        QTest::addColumn<Archive>("archive");
        QTest::newRow("SFX") << sfx;
        QTest::newRow("stream") << stream;
    }

    // Replace, save, unpack afresh (changed, saved), replace again (not saved), play the original and revert
    // after the fresh unpack, restore (the working folder's old file is now not saved), and the tree's mark
    // at the next start. Without a kept original, the game's archive is the reference, and the status bar says so.
    void EveryEntryIsKnownAsTheGamesOwnSavedOrNotSaved()
    {
        QFETCH(Archive, archive);
        DemoGame game;
        QVERIFY(game.IsReady());
        game.Start(false);  // the folders are named as the archives
        const Files originalSounds = FreshUnpacking(game, archive);
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        QCOMPARE(game.StatusBar()->currentMessage(),
                 "No original of this archive is kept yet: the game's archive as it is now counts as the original.");
        const QString folder = game.Work() + "/" + archive.folder, replacement = WriteReplacement(game, archive);
        const auto corner = [&] { return game.window->findChild<QLabel *>("changedCount")->text(); };
        const auto entries = [&] { return static_cast<IniMetafileModel *>(game.View("entryView")->model())->EntryCount(); };
        const auto treeMarked = [&] {
            return game.View("archiveView")->model()->data(game.ArchiveNode(archive.group, archive.leaf), Qt::FontRole)
                .value<QFont>().italic();
        };
        const QModelIndex bank = archive.bankRow < 0 ? QModelIndex() : game.Entry(-1, archive.bankRow);

        game.Replace(game.Entry(archive.bankRow, 1), replacement);
        QCOMPARE(corner(), QString("1 of %1 entries changed, 1 not saved").arg(entries()));
        QCOMPARE(game.Entry(archive.bankRow, 1).data(Qt::ToolTipRole).toString(), "Not saved into the game yet");
        if (bank.isValid())
            QCOMPARE(bank.data().toString(), "Bank_002  (1 changed, 1 not saved)");
        QVERIFY(treeMarked());
        game.window->SaveArchive();
        QCOMPARE(corner(), QString("1 of %1 entries changed").arg(entries()));
        QVERIFY(!treeMarked());

        game.dialogs->buttons.enqueue(QMessageBox::No);  // not the existing files: unpack again, and nothing is asked
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        QCOMPARE(game.dialogs->Log().filter("lost"), QStringList());
        QCOMPARE(corner(), QString("1 of %1 entries changed").arg(entries()));
        QVERIFY(game.Entry(archive.bankRow, 1).data(Qt::FontRole).value<QFont>().bold());
        const QString mod = game.Root() + "/mod";
        QVERIFY(QDir().mkpath(mod));
        game.dialogs->paths.enqueue(mod);
        game.window->ExportModFolder();
        QVERIFY2(ReadFile(mod + "/README.txt").contains(archive.entry.toUtf8() + ": "), qPrintable(game.dialogs->Log().join('\n')));

        game.Replace(game.Entry(archive.bankRow, 0), replacement);
        QCOMPARE(corner(), QString("2 of %1 entries changed, 1 not saved").arg(entries()));
        game.Select(game.Entry(archive.bankRow, 1));
        game.window->PlayOriginal();
        const QString played = game.StatusBar()->currentMessage().section("Playing original file ", 1);
        QVERIFY2(!played.isEmpty() && !played.startsWith(game.Work()), qPrintable(game.StatusBar()->currentMessage()));
        QCOMPARE(ReadFile(played), originalSounds[archive.entry]);
        game.window->StopPlaying();
        game.window->RevertToOriginal();
        QCOMPARE(ReadFile(folder + "/" + archive.entry), originalSounds[archive.entry]);
        QCOMPARE(corner(), QString("1 of %1 entries changed, 2 not saved").arg(entries()));

        game.View("archiveView")->setCurrentIndex(game.ArchiveNode(archive.group, archive.leaf));
        game.dialogs->buttons.enqueue(QMessageBox::Yes);
        game.TriggerRestore();
        game.dialogs->buttons.enqueue(QMessageBox::Yes);  // the existing files
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        QCOMPARE(corner(), QString("1 of %1 entries changed, 1 not saved").arg(entries()));
        QVERIFY(!game.Entry(archive.bankRow, 1).data(Qt::FontRole).value<QFont>().bold());

        game.window.reset();
        game.Start(false);
        QVERIFY(!treeMarked());
        QTRY_VERIFY(treeMarked());
    }

    // A loop start set in the unpacked package reaches the game's bank header with a save: the
    // real toolkit unpacks it from there again, and the first value stays known as the original.
    void ALoopStartGoesIntoTheBankHeaderWithASave()
    {
        DemoGame game;
        QVERIFY(game.IsReady());
        game.Start(false);
        QVERIFY(game.Unpack(sfx.group, sfx.leaf));
        const QString metafile = game.Work() + "/" + sfx.folder + "/sfx_import.ini";
        const std::optional<qint64> before = LoopStarts(metafile).Get(2, 2);
        QVERIFY(before && *before != 7);
        QVERIFY(LoopStarts(metafile).Set(2, 2, 7).isNull());
        const auto corner = [&] { return game.window->findChild<QLabel *>("changedCount")->text().section(',', 1); };
        game.dialogs->buttons.enqueue(QMessageBox::Yes);  // the existing files
        QVERIFY(game.Unpack(sfx.group, sfx.leaf));
        QCOMPARE(corner(), " 1 not saved");
        game.window->SaveArchive();
        QCOMPARE(game.StatusBar()->currentMessage(), "Save was successfull.");
        QCOMPARE(corner(), "");
        QTemporaryDir fresh;
        const ToolRun unpacked = Run(QStringLiteral(KIVO_SFX_PATH), {"-e", game.Game() + "/" + sfx.path, fresh.path(),
                                                                     game.Game() + "/" + sfx.lookup});
        QVERIFY2(unpacked.exitCode == 0, qPrintable(unpacked.errorText));
        QCOMPARE(LoopStarts(fresh.path() + "/" + sfx.folder + "/sfx_import.ini").Get(2, 2), std::optional<qint64>(7));
        const QList<LoopStarts::Change> changed = LoopStarts(metafile).Changed();
        QCOMPARE(changed.size(), 1);
        QCOMPARE(std::make_tuple(changed[0].bank, changed[0].sound, changed[0].original, changed[0].current),
                 std::make_tuple(2, 2, *before, qint64(7)));
        // Unpacked afresh, the sound is still changed, and revert takes its loop start from the game's original.
        game.dialogs->buttons.enqueue(QMessageBox::No);
        QVERIFY(game.Unpack(sfx.group, sfx.leaf));
        QVERIFY(game.Entry(1, 1).data(Qt::FontRole).value<QFont>().bold());
        game.Select(game.Entry(1, 1));
        game.window->RevertToOriginal();
        QCOMPARE(LoopStarts(metafile).Get(2, 2), before);
        QCOMPARE(corner(), " 1 not saved");
    }

    void ALongSoundIsAskedAboutBeforeItGrowsTheSoundBuffer_data()
    {
        QTest::addColumn<QMessageBox::StandardButton>("answer");  // to the question about the long sound
        QTest::addColumn<bool>("bFolder");  // from a folder, beside a sound that is not much longer
        QTest::newRow("cancelled") << QMessageBox::Cancel << false;
        QTest::newRow("trimmed") << QMessageBox::Apply << false;
        QTest::newRow("replaced from a folder, then saved") << QMessageBox::Yes << true;
    }

    // The question names both lengths and the buffer a save makes, as the save then makes it. Trimmed,
    // the sound keeps its original's length and fades out. A save that would more than double the
    // buffer asks too, and its "No" writes nothing.
    void ALongSoundIsAskedAboutBeforeItGrowsTheSoundBuffer()
    {
        QFETCH(QMessageBox::StandardButton, answer);
        QFETCH(bool, bFolder);
        DemoGame game;
        QVERIFY(game.IsReady());
        game.Start(false);
        QVERIFY(game.Unpack(sfx.group, sfx.leaf));
        const QString entry = game.Work() + "/GENRL/" + sfx.entry, folder = game.Root() + "/mod";
        const Wav old = ReadWav(entry);
        QVERIFY(QDir().mkpath(folder + "/Bank_002"));
        QVERIFY(WriteSoundFile(folder + "/" + sfx.entry, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, Tone(441000, 440, 22050, 12000)));
        QVERIFY(WriteSoundFile(folder + "/Bank_002/sound_001.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, replacementSamples));
        game.dialogs->buttons << QMessageBox::Ok << answer;  // the list of a folder's files, then the question
        if (bFolder) {
            game.dialogs->paths.enqueue(folder);
            game.window->ReplaceFromFolder();
        } else {
            game.dialogs->buttons.dequeue();
            game.Replace(game.Entry(sfx.bankRow, 1), folder + "/" + sfx.entry);
        }
        const UserDialogs::Request asked = game.dialogs->shown.value(bFolder ? 2 : 1);
        QCOMPARE(asked.title, "Long sound");
        QCOMPARE(asked.defaultButton, QMessageBox::Cancel);
        QCOMPARE(asked.labels.value(QMessageBox::Apply), "&Trim to the original's length");
        const QString lengths = "much longer than the original:\n" + sfx.entry + ": 20.0 s instead of "
                              + QString::number(double(old.samples.size()) / old.rate, 'f', 1) + " s\n\nWhen this is saved, the game's sound buffer grows by ";
        QVERIFY2(asked.text.contains(lengths), qPrintable(asked.text));
        const Wav now = ReadWav(entry);
        QCOMPARE(now.samples.size(), answer == QMessageBox::Yes ? 441000 : old.samples.size());
        if (answer == QMessageBox::Cancel)
            QCOMPARE(now.samples, old.samples);
        if (answer == QMessageBox::Apply)  // faded out towards the cut
            QVERIFY(now.samples != old.samples && qAbs(now.samples.last()) < 100);
        if (answer != QMessageBox::Yes)
            return;

        const Files before = Snapshot(game.Game());
        game.dialogs->buttons << QMessageBox::No << QMessageBox::Yes;
        game.window->SaveArchive();
        const UserDialogs::Request save = game.dialogs->shown.last();
        QCOMPARE(save.defaultButton, QMessageBox::No);
        QVERIFY2(save.text.startsWith("Saving GENRL grows the game's sound buffer from ")
                     && save.text.contains("The sounds that grow it most:\n" + sfx.entry + ": "), qPrintable(save.text));
        QVERIFY(Snapshot(game.Game()) == before);
        game.window->SaveArchive();
        QCOMPARE(game.StatusBar()->currentMessage(), "Save was successfull.");
        const quint64 grown = kivo::BankSlotFile::Load(ToolkitPath(game.Game() + "/audio/CONFIG/BankSlot.dat")).BufferSize();
        QVERIFY2(asked.text.contains(" to " + QLocale::c().formattedDataSize(qint64(grown), 2, QLocale::DataSizeSIFormat) + ".\n"),
                 qPrintable(asked.text));
        // Unpacked again, the entry's file is the long sound saved; the game's kept original still counts.
        game.dialogs->buttons << QMessageBox::No << QMessageBox::Cancel;  // saved: unpacking again loses nothing
        QVERIFY(game.Unpack(sfx.group, sfx.leaf));
        QVERIFY(WriteSoundFile(folder + "/longer.wav", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, Tone(463050, 440, 22050, 9000)));
        game.Replace(game.Entry(sfx.bankRow, 1), folder + "/longer.wav");
        QVERIFY(game.dialogs->Log().last().contains(": 21.0 s instead of " + lengths.section(" instead of ", 1)));
        QCOMPARE(ReadWav(entry).samples.size(), 441000);
    }

    // A changed archive goes out as a mod folder: the game stays byte for byte, the sounds are in the
    // loaders' form, a longer sound gets room in a grown BankSlot.dat, and a packed stream unpacks
    // with its lookup file to the new track.
    void ModFolderLeavesTheGameAlone_data()
    {
        QTest::addColumn<Archive>("archive");
        QTest::newRow("SFX") << sfx;
        QTest::newRow("stream") << stream;
    }

    void ModFolderLeavesTheGameAlone()
    {
        QFETCH(Archive, archive);
        DemoGame game;
        QVERIFY(game.IsReady());
        game.Start(false);
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        const QString folder = game.Work() + "/" + archive.folder, mod = game.Root() + "/mod";
        const QVector<qint16> longer = Tone(200000, 440, 22050, 12000);
        const qsizetype oldBytes = ReadWav(folder + "/" + archive.entry).samples.size() * 2;
        QByteArray slotTable(2 + 4820, '\0');  // a slot of the sound's size
        slotTable[0] = 1;
        PutU32(slotTable, 2 + 4, quint32(oldBytes));
        QVERIFY(WriteFile(game.Game() + "/audio/CONFIG/BankSlot.dat", slotTable));
        const QString replacement = game.Root() + "/longer.wav";
        QVERIFY(archive.bankRow < 0 ? WriteFile(replacement, ReadFile(WriteReplacement(game, archive)))
                                    : WriteSoundFile(replacement, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050, longer));
        if (archive.bankRow >= 0)
            game.dialogs->buttons.enqueue(QMessageBox::Yes);  // "&Replace" the long sound
        game.Replace(game.Entry(archive.bankRow, 1), replacement);
        const Files gameBefore = Snapshot(game.Game()), workBefore = Snapshot(game.Work());
        const QString other = game.Root() + "/other", link = mod + "/" + archive.folder;  // the link into the game folder
        QVERIFY(QDir().mkpath(mod) && QDir().mkpath(other) && WriteFile(other + "/README.txt", "the user's own")
                && QFile::link(QFileInfo(game.Game() + "/" + archive.path).path(), link));
        // Refused: the game folder, the place of the unpacked files, a README of the user's, a link into the game (named).
        for (const QString &chosen : {game.Game() + "/audio", game.Work(), other, mod, mod}) {
            game.dialogs->paths.enqueue(chosen);
            game.window->ExportModFolder();
            if (chosen == mod && QFileInfo(link).isSymLink())
                QVERIFY(QFile::remove(link) && game.dialogs->Log().last().contains(link) && QDir(mod).isEmpty());
        }
        QCOMPARE(game.dialogs->Log().filter("Error: ").size(), 4);
        QVERIFY(Snapshot(game.Work()) == workBefore);
        QVERIFY(Snapshot(other) == (Files{{"README.txt", "the user's own"}}));

        QCOMPARE(game.StatusBar()->currentMessage(), "The changes were exported as a mod folder to " + mod);
        QVERIFY(Snapshot(game.Game()) == gameBefore);
        const QString readme = ReadFile(mod + "/README.txt");
        QVERIFY2(readme.contains("== " + archive.folder + " ==\n" + archive.entry + ": ") && !readme.contains("(no description)"),
                 qPrintable(readme));
        if (archive.bankRow >= 0) {
            const Wav wav = ReadWav(mod + "/GENRL/" + archive.entry);
            QCOMPARE(wav.format, SF_FORMAT_WAV | SF_FORMAT_PCM_16);
            QCOMPARE(wav.channels, 1);
            QCOMPARE(wav.samples, longer);
            QVERIFY(qFromLittleEndian<quint32>(ReadFile(mod + "/BankSlot.dat").constData() + 2 + 4) >= quint32(longer.size() * 2));
            QVERIFY(game.dialogs->Log().last().startsWith("Information: Some sounds are longer than their originals."));
            return;
        }
        QCOMPARE(FilesBelow(mod), (QStringList{"CH", "README.txt", "TrakLkup.dat"}));
        const QString check = game.Root() + "/check";
        QVERIFY(QDir().mkpath(check) && QFile::copy(mod + "/TrakLkup.dat", check + "/TrakLkup.dat")
                && QFile::copy(game.Game() + "/audio/CONFIG/StrmPaks.dat", check + "/StrmPaks.dat"));
        QCOMPARE(Run(game.Root() + "/kivo_stream.exe", {"-e", mod + "/CH", check}).exitCode, 0);
        QCOMPARE(ReadFile(check + "/CH/" + archive.entry), ReadFile(replacement));
    }

    void ReplacedEntrySurvivesSavesUntilTheOriginalIsRestored_data()
    {
        QTest::addColumn<Archive>("archive");
        QTest::addColumn<Archive>("other");  // saved in between, with the same lookup file
        QTest::addColumn<bool>("useKivoMetadata");
        // A game folder copied from Windows: unpacked, saved and restored under the names that are on disk.
        const Archive sfxCased{0, 1, "GENRL", "AUDIO/SFX/GENRL", "AUDIO/CONFIG/banklkup.dat", sfx.program, 1, sfx.entry};
        const Archive spcEaCased{0, 2, "SPC_EA", "AUDIO/SFX/SPC_EA", sfxCased.lookup, sfx.program, 0, ""};
        const Archive re{1, 1, "RE", "audio/streams/RE", stream.lookup, stream.program, -1, "Track_002.ogg"};
        const Archive toneRadio{1, 0, "Tone Radio 101", stream.path, stream.lookup, stream.program, -1, stream.entry};
        const Archive sweepFm{1, 1, "Sweep FM", re.path, re.lookup, re.program, -1, re.entry};
        QTest::newRow("SFX sound by a WAV") << sfx << spcEa << true;
        QTest::newRow("SFX sound, game folder in another case") << sfxCased << spcEaCased << true;
        QTest::newRow("stream track by an OGG, station folders") << toneRadio << sweepFm << true;
        QTest::newRow("stream track by an OGG, pack folders") << re << stream << false;
    }

    // Play one entry and replace the next, save, and unpack again instead of reusing the folder: exactly that
    // change comes back. Then a second save, after the working directory changed and another archive was selected
    // in the tree, and one of another archive with the same lookup file, before the first one's original is put
    // back: its bytes come back, the other keeps its change, and an archive never saved has nothing kept.
    void ReplacedEntrySurvivesSavesUntilTheOriginalIsRestored()
    {
        QFETCH(Archive, archive);
        QFETCH(Archive, other);
        QFETCH(bool, useKivoMetadata);
        DemoGame game;
        QVERIFY(game.IsReady());
        if (archive.path.startsWith("AUDIO")) {
            QVERIFY(QDir(game.Game()).rename("audio", "AUDIO"));
            QVERIFY(QDir(game.Game() + "/AUDIO/CONFIG").rename("BankLkup.dat", "banklkup.dat"));
        }
        game.Start(useKivoMetadata);
        const QString kept = game.Game() + "/" + archive.path.left(6) + "RozivOze originals/";
        const QByteArray originalArchive = ReadFile(game.Game() + "/" + archive.path);
        const QByteArray originalLookup = ReadFile(game.Game() + "/" + archive.lookup);
        const auto keptAreTheOriginals = [&] {
            return ReadFile(kept + archive.path.mid(6)) == originalArchive
                && ReadFile(kept + archive.lookup.mid(6)) == originalLookup;
        };
        const Files originalSounds = FreshUnpacking(game, archive);
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        QCOMPARE(game.dialogs->Log(), QStringList());
        const QString folder = game.Work() + "/" + archive.folder;
        const Files unpacked = Snapshot(folder);
        // The demo describes its entries under the paths the window builds for them.
        const QString virtualPath = game.window->GetVirtualItemPath(game.Entry(archive.bankRow, 1));
        QVERIFY2(ReadFile(QCoreApplication::applicationDirPath() + "/MetaData.xml").contains(virtualPath.toUtf8()),
                 qPrintable(virtualPath));

        QVERIFY(game.window->Play(game.Entry(archive.bankRow, 0)));
        // Loaded again, the entry is a row of another model, but still the file that plays.
        game.dialogs->buttons.enqueue(QMessageBox::Yes);
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        game.Select(game.Entry(archive.bankRow, 0));
        game.window->Replace();
        QCOMPARE(game.dialogs->Log().constLast(), "Warning: You can't replace the file, that is currently playing. "
                                                  "Please stop playing the file, before replacing it.");
        const QString replacement = WriteReplacement(game, archive);
        game.Replace(game.Entry(archive.bankRow, 1), replacement);
        QCOMPARE(game.StatusBar()->currentMessage(), QStringLiteral("Item was successfull replaced."));
        game.window->StopPlaying();
        game.window->SaveArchive();
        const auto saved = [](int bankRow) { return bankRow < 0 ? "Save was successfull" : "Save was successfull."; };
        QCOMPARE(game.StatusBar()->currentMessage(), saved(archive.bankRow));
        QCOMPARE(game.dialogs->Log().filter("Error"), QStringList());
        QVERIFY(keptAreTheOriginals());
        QCOMPARE(QDir(game.Game()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries), QStringList{archive.path.left(5)});
        QCOMPARE(FilesBelow(game.Game()).filter(QRegularExpression("\\.(new|old|journal.*|lock|tmp)$")), QStringList());
        game.dialogs->buttons << QMessageBox::No << QMessageBox::Yes;  // unpack again, though the entry's file is gone
        QVERIFY(QFile::remove(folder + "/" + archive.entry));  // must come back from the archive
        QVERIFY(game.Unpack(archive.group, archive.leaf));
        const Files reloaded = Snapshot(folder);
        QCOMPARE(reloaded.keys(), unpacked.keys());
        for (const QString &file : unpacked.keys())
            QVERIFY2(file == archive.entry || file.endsWith(".ini") || file == ".entry-listings"  // lists the saved archive now
                         || reloaded[file] == unpacked[file], qPrintable(file + " changed"));
        if (archive.bankRow < 0)
            QCOMPARE(reloaded[archive.entry], ReadFile(replacement));
        else
            QCOMPARE(ReadWav(folder + "/" + archive.entry).samples, replacementSamples);
        QVERIFY(QFile::exists(game.Game() + "/" + archive.lookup + ".bak"));

        const QString elsewhere = game.Root() + "/elsewhere";
        QVERIFY(QDir().mkpath(elsewhere));
        game.dialogs->paths.enqueue(elsewhere);
        game.window->SetWorkingDirectory();
        game.View("archiveView")->setCurrentIndex(game.ArchiveNode(0, 0));  // FEET, selected only
        const QModelIndex first = game.Entry(archive.bankRow, 0);
        QVERIFY(game.window->Play(first));
        QCOMPARE(game.StatusBar()->currentMessage(), "Playing file " + folder + "/" + first.data().toString());
        game.window->StopPlaying();
        game.Replace(first, replacement);
        game.window->SaveArchive();
        QCOMPARE(game.StatusBar()->currentMessage(), saved(archive.bankRow));
        QVERIFY(keptAreTheOriginals());
        QVERIFY(FilesBelow(elsewhere).isEmpty());
        QVERIFY(game.Unpack(other.group, other.leaf));
        game.Replace(game.Entry(other.bankRow, 0), replacement);
        game.window->SaveArchive();
        QCOMPARE(game.StatusBar()->currentMessage(), saved(other.bankRow));
        // The lookup file kept is the one from before the first save of any archive.
        QVERIFY(keptAreTheOriginals());
        const Files savedOtherSounds = FreshUnpacking(game, other);
        QVERIFY(game.Unpack(archive.group, archive.leaf));  // into the new working directory
        game.dialogs->shown.clear();

        game.View("archiveView")->setCurrentIndex(game.ArchiveNode(archive.group, archive.leaf));
        game.dialogs->buttons.enqueue(QMessageBox::Yes);
        game.TriggerRestore();

        QCOMPARE(game.dialogs->Log(), QStringList{"Restore original archive: Put the original " + archive.folder
                                                  + " back into the game folder?\nEverything saved into it since "
                                                    "will be lost."});
        QCOMPARE(game.StatusBar()->currentMessage(), "Original archive restored.");
        QVERIFY(!game.View("entryView")->model());
        QCOMPARE(ReadFile(game.Game() + "/" + archive.path), originalArchive);
        QCOMPARE(FreshUnpacking(game, archive), originalSounds);
        QCOMPARE(FreshUnpacking(game, other), savedOtherSounds);

        const Files before = Snapshot(game.Game());
        game.View("archiveView")->setCurrentIndex(game.ArchiveNode(0, 0));  // FEET, never saved
        game.TriggerRestore();
        QCOMPARE(game.dialogs->Log().constLast(),
                 "Information: No original of FEET is kept: it has not been saved by this program. Nothing was changed.");
        QVERIFY(Snapshot(game.Game()) == before);
    }

    void AnObstacleLosesNothing_data()
    {
        QTest::addColumn<Archive>("archive");
        QTest::addColumn<QString>("operation"); // all but "unpack" come after an unpacking and a replacement
        QTest::addColumn<QString>("obstacle");
        QTest::addColumn<QString>("message");   // "tool": the toolkit's own message; empty: none
        const QString deleteFailed = "Error: Failed to delete old file: {entry}";
        const QString copyFailed = "Error: Failed to copy new file to working directory.";
        QTest::newRow("SFX, unpacking, read-only working directory") << sfx << "unpack" << "read-only work" << "tool";
        // CH and RE share one station name, so both unpack into one folder of the working directory.
        const Archive reShared{1, 1, "Shared", "audio/streams/RE", stream.lookup, stream.program, -1, "Track_002.ogg"};
        QTest::newRow("stream, unpacking over another archive's folder")
            << reShared << "unpack" << "folder of CH"
            << "Error: The folder \"{work}/Shared\" holds the archive CH, not RE.\nTwo archives may share a station name "
               "in metadata-full.ini: give them different names, or clear the working directory.";
        QTest::newRow("SFX, unpacking again, disk full") << sfx << "unpack again" << "full" << "tool";
        QTest::newRow("stream, unpacking again, disk full") << stream << "unpack again" << "full" << "tool";
        QTest::newRow("SFX, replacing, read-only working directory") << sfx << "replace" << "read-only work" << deleteFailed;
        QTest::newRow("SFX, replacing, disk full") << sfx << "replace" << "full" << copyFailed;
        // Packing stopped halfway: the tool waits at the point named last to be killed or aborted.
        QTest::newRow("SFX, packing, aborted while the package is written") << sfx << "save" << "abort at archive" << "";
        QTest::newRow("SFX, packing, killed before the lookup file is replaced")
            << sfx << "save" << "kill at lookup"
            << "Error: KIVO returned the following message:\nkivo_sfx.exe was ended by signal 9 (Killed).\npaused at lookup\n";
        QTest::newRow("stream, packing, aborted before the lookup file is replaced") << stream << "save" << "abort at lookup" << "";
        // The save keeps copies of the game's files before the tool runs; on a full disk that is where it stops.
        QTest::newRow("SFX, packing, disk full")
            << sfx << "save" << "full"
            << "Error: The original of \"{game}/audio/CONFIG/BankSlot.dat\" could not be kept as \"{game}/audio/RozivOze "
               "originals/CONFIG/BankSlot.dat\": cannot write {game}/audio/RozivOze originals/CONFIG/BankSlot.dat: File too "
               "large.\nNothing in the game folder was changed.";
        QTest::newRow("SFX, packing, originals cannot be kept")
            << sfx << "save" << "read-only audio"
            << "Error: The original of \"{game}/audio/CONFIG/BankLkup.dat\" could not be kept as \"{game}/audio/RozivOze "
               "originals/CONFIG/BankLkup.dat\": its folder could not be made.\nNothing in the game folder was changed.";
        // The lookup file must still describe the archive that stayed: the tool had rewritten it for
        // the new one.
        QTest::newRow("SFX, packing over a protected package") << sfx << "save" << "locked archive"
                                                               << "Error: Failed to remove old sound archive ({archive})";
    }

    void AnObstacleLosesNothing()
    {
        QFETCH(Archive, archive);
        QFETCH(QString, operation);
        QFETCH(QString, obstacle);
        QFETCH(QString, message);
        static const bool bLocksWork = [] {
            QTemporaryDir probe;
            Locks locks;
            const QString file = probe.filePath("probe");
            return WriteFile(file, "probe") && locks.Lock(file) && !QFile::rename(file, file + ".moved");
        }();
        if ((obstacle.startsWith("read-only") || obstacle == "locked archive") && !bLocksWork)
            QSKIP("files cannot be locked against this user here (no immutable attribute)");
        DemoGame game;
        QVERIFY(game.IsReady());
        const bool bShared = obstacle == "folder of CH";
        QVERIFY(!bShared || WriteFile(QCoreApplication::applicationDirPath() + "/metadata-full.ini",
                                      "stream = CH\nstation = Shared\nstream = RE\nstation = Shared\n"));
        game.Start(bShared);
        QVERIFY(!bShared || game.Unpack(1, 0));
        const QString folder = game.Work() + "/" + archive.folder, archivePath = game.Game() + "/" + archive.path;
        const Files usable = FreshUnpacking(game, archive);
        QVERIFY(!usable.isEmpty());
        const QString replacement = WriteReplacement(game, archive);
        if (operation != "unpack") {
            QVERIFY(game.Unpack(archive.group, archive.leaf));
            game.Replace(game.Entry(archive.bankRow, 1), replacement);
            QCOMPARE(game.StatusBar()->currentMessage(), QStringLiteral("Item was successfull replaced."));
        }
        const Files workBefore = Snapshot(game.Work()), gameBefore = Snapshot(game.Game());
        game.StatusBar()->clearMessage();

        Locks locks;
        rlimit disk{};
        QVERIFY(::getrlimit(RLIMIT_FSIZE, &disk) == 0);
        const auto restoreDisk = [disk] { ::setrlimit(RLIMIT_FSIZE, &disk); };
        const auto restoreDiskAtTheEnd = qScopeGuard(restoreDisk);
        if (obstacle == "full") {
            // No file beyond 2048 bytes, here and in the tools started, and writes beyond fail with EFBIG instead of
            // killing the writer, as on a full disk. Every file written here is larger, the settings and lists excepted.
            std::signal(SIGXFSZ, SIG_IGN);
            const rlimit full{2048, disk.rlim_max};
            QVERIFY(::setrlimit(RLIMIT_FSIZE, &full) == 0);
        } else if (obstacle == "read-only work") {
            for (const QString &locked : {game.Work(), folder, QFileInfo(folder + "/" + archive.entry).path()})
                QVERIFY(!QFileInfo::exists(locked) || locks.Lock(locked));
        } else if (obstacle == "read-only audio") {
            QVERIFY(locks.Lock(game.Game() + "/audio"));
        } else if (obstacle == "locked archive") {
            QVERIFY(locks.Lock(archivePath));
        }
        const bool bStops = obstacle.contains(" at ");
        bool bStopped = false;
        QTimer poll;
        const auto unpause = qScopeGuard([] {
            qunsetenv("KIVO_TEST_PAUSE");
            qunsetenv("KIVO_TEST_PAUSE_MARK");
        });
        if (bStops) {
            // The program keeps the tool's standard error to itself, so the tool leaves a mark when
            // it has reached the point.
            const QString mark = game.Root() + "/paused";
            qputenv("KIVO_TEST_PAUSE", obstacle.section(' ', -1).toLatin1());
            qputenv("KIVO_TEST_PAUSE_MARK", QFile::encodeName(mark));
            const QString staleId = game.Root() + "/" + archive.program + ".pid"; // of the unpacking
            QVERIFY(!QFile::exists(staleId) || QFile::remove(staleId));
            connect(&poll, &QTimer::timeout, this, [&, mark] {
                const bool bAbort = obstacle.startsWith("abort");
                auto *waitDialog = qobject_cast<WaitDialog *>(QApplication::activeModalWidget());
                const qint64 tool = game.LastRun(archive.program);
                if (bStopped || !QFile::exists(mark) || (bAbort ? !waitDialog : tool <= 0))
                    return;
                if (bAbort)
                    waitDialog->findChild<QPushButton *>()->click();
                else
                    ::kill(pid_t(tool), SIGKILL);
                bStopped = true;
            });
            poll.start(5);
        }
        game.dialogs->shown.clear();
        // What a box says must already be true: a save is undone before the user hears of its failure.
        QStringList leftAtBox;
        game.dialogs->whileShown = [&] { leftAtBox << FilesBelow(game.Game()).filter(".journal"); };

        if (operation == "replace") {
            game.Replace(game.Entry(archive.bankRow, 1), replacement);
        } else if (operation == "save") {
            game.window->SaveArchive();
        } else {
            game.dialogs->buttons << QMessageBox::No << QMessageBox::Yes; // unpack again, though that loses the change
            QVERIFY(!game.Unpack(archive.group, archive.leaf));
        }
        poll.stop();
        restoreDisk();
        locks.UnlockAll();
        QCOMPARE(bStopped, bStops);

        QStringList log = game.dialogs->Log();
        // Unpacking again asks first; replacing opens a chooser first.
        if (operation != "unpack" && operation != "save")
            QVERIFY(log.takeFirst().startsWith(operation == "unpack again" ? "Load existing files: " : "chooser: "));
        if (operation == "unpack again")
            QVERIFY(log.takeFirst().startsWith("Warning: 1 entries of " + archive.folder + " were replaced"));
        QCOMPARE(log.size(), message.isEmpty() ? 0 : 1);
        if (message == "tool")
            QVERIFY2(log[0].startsWith("Error: KIVO returned the following message:\n"), qPrintable(log[0]));
        else if (!message.isEmpty())
            QCOMPARE(log.constFirst(),
                     QString(message)
                         .replace("{entry}", folder + "/" + archive.entry)
                         .replace("{archive}", archivePath)
                         .replace("{work}", game.Work())
                         .replace("{game}", game.Game()));
        QVERIFY2(!game.StatusBar()->currentMessage().contains("successfull"), qPrintable(game.StatusBar()->currentMessage()));

        QCOMPARE(leftAtBox, QStringList());
        QCOMPARE(Damaged(workBefore, Snapshot(game.Work())), QStringList());
        QCOMPARE(Damaged(gameBefore, Snapshot(game.Game())), QStringList());
        // Nor may a stopped tool leave half-written temporaries behind, in the game least of all.
        QCOMPARE((FilesBelow(game.Work()) + FilesBelow(game.Game())).filter(".kivo-"), QStringList());
        QCOMPARE(FreshUnpacking(game, archive), usable);
    }

    void ASaveCutOffAtAnyStepIsRepairedNextTime_data()
    {
        QTest::addColumn<Archive>("archive");
        QTest::addColumn<QString>("point");    // where the program is killed: while its tool waits there, or itself
        QTest::addColumn<bool>("bCompleted");  // else undone
        QTest::addColumn<QString>("next");     // what next takes the game folder into use
        QTest::newRow("SFX, tool before the lookup file") << sfx << "lookup" << false << "start";
        QTest::newRow("stream, tool before the lookup file, then a tool") << stream << "lookup" << false << "tool";
        QTest::newRow("SFX, old package moved aside") << sfx << "save-swap" << true << "start";
        QTest::newRow("stream, old pack moved aside, then a tool") << stream << "save-swap" << true << "tool";
        QTest::newRow("stream, after the swap") << stream << "save-swapped" << true << "start";
        // Another window's save holds the lock at the first start: its journal is not this start's to repair.
        QTest::newRow("SFX, before the swap, another save under way at first") << sfx << "save-swapping" << true << "start";
        // settings.ini names another folder, so the start does not see this one.
        QTest::newRow("SFX, tool before the lookup file, then the folder is chosen") << sfx << "lookup" << false << "set folder";
        // The window was open all along: unpacking must not read the half-saved archive.
        QTest::newRow("stream, old pack moved aside, then unpacked") << stream << "save-swap" << true << "unpack";
        // Without its new archive, the old one in place must not pass for it.
        QTest::newRow("SFX, before the swap, new package lost") << sfx << "save-swapping" << false << "start";
        QTest::newRow("stream, before the swap, new pack lost, then a tool") << stream << "save-swapping" << false << "tool";
        // Packed by hand into the archive itself: journalled as a save.
        QTest::newRow("SFX, by hand in place, before the lookup file") << sfx << "lookup" << false << "start";
        QTest::newRow("stream, by hand in place, before the swap, then a tool") << stream << "save-swapping" << true << "tool";
    }

    void ASaveCutOffAtAnyStepIsRepairedNextTime()
    {
        QFETCH(Archive, archive);
        QFETCH(QString, point);
        QFETCH(bool, bCompleted);
        QFETCH(QString, next);
        const bool bByTool = next == "tool";
        DemoGame game;
        QVERIFY(game.IsReady());
        const QString tool = game.Root() + "/" + archive.program;
        const QString archivePath = game.Game() + "/" + archive.path, lookupPath = game.Game() + "/" + archive.lookup;
        QStringList unpack{"-e", archivePath, game.Work()};
        if (archive.bankRow >= 0)
            unpack << lookupPath;
        QCOMPARE(Run(tool, unpack).exitCode, 0);
        const QString folder = game.Work() + "/" + archive.folder;
        const QString replacement = WriteReplacement(game, archive);
        QVERIFY(QFile::remove(folder + "/" + archive.entry) && QFile::copy(replacement, folder + "/" + archive.entry));
        const QString metafile = folder + (archive.bankRow < 0 ? "/stream_import.ini" : "/sfx_import.ini");
        Files gameBefore = Snapshot(game.Game());
        const Files usable = FreshUnpacking(game, archive);
        if (next == "unpack")
            game.Start(false);

        QProcess program;
        const QString mark = game.Root() + "/paused";
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("KIVO_TEST_PAUSE", point);
        environment.insert("KIVO_TEST_PAUSE_MARK", mark);
        program.setProcessEnvironment(environment);
        const QString tag = QTest::currentDataTag();
        const bool bInPlace = tag.contains("in place");
        program.setWorkingDirectory(bInPlace ? folder : game.Root());
        program.start(bInPlace ? tool : SAVE_DRIVER_PATH, bInPlace ? QStringList{"-i", archivePath, metafile, lookupPath}
                                                                   : QStringList{archive.bankRow < 0 ? "stream" : "sfx", metafile, archivePath, lookupPath});
        QVERIFY(QTest::qWaitFor([&] { return QFile::exists(mark); }, 30000));
        const qint64 toolId = point.startsWith("save-") || bInPlace ? 0 : game.LastRun(archive.program);
        program.kill();
        QVERIFY(program.waitForFinished());
        // The tool goes with the program, or it would go on rewriting records for an archive nobody swaps in.
        const auto gone = [toolId] {
            const QByteArray status = ReadFile(QStringLiteral("/proc/%1/stat").arg(toolId));
            return status.isEmpty() || status.mid(status.lastIndexOf(')') + 2, 1) == "Z";
        };
        QVERIFY2(toolId == 0 || QTest::qWaitFor(gone, 5000), ReadFile(QStringLiteral("/proc/%1/status").arg(toolId)).constData());
        QVERIFY(!tag.contains(" lost") || QFile::remove(archivePath + ".new"));
        // An SFX save may grow the sound buffer slots meanwhile, under its own lock: a stream save's repair keeps them.
        const QString slotTable = "audio/CONFIG/BankSlot.dat";
        if (archive.bankRow < 0) {
            gameBefore[slotTable + ".bak"] = gameBefore[slotTable];
            gameBefore[slotTable] += "grown";
            QVERIFY(WriteFile(game.Game() + "/" + slotTable, gameBefore[slotTable])
                    && WriteFile(game.Game() + "/" + slotTable + ".bak", gameBefore[slotTable + ".bak"]));
        }

        const QString said = QString("An interrupted save of ") + QFileInfo(archivePath).fileName() + (bCompleted ? " was completed" : " was undone");
        if (bByTool) {
            const ToolRun run = Run(tool, {"-i", archivePath + ".new", metafile, lookupPath}, folder);
            QVERIFY2(run.exitCode == 0 && run.errorText.contains(said, Qt::CaseInsensitive), qPrintable(run.errorText));
            // What that run packed is not swapped in: its records go again.
            QVERIFY(QFile::remove(archivePath + ".new") && WriteFile(lookupPath, ReadFile(lookupPath + ".bak"))
                    && QFile::remove(lookupPath + ".bak"));
        } else if (next == "set folder") {
            game.Start(false, game.Root());
            QCOMPARE(game.dialogs->Log(), QStringList());
            game.dialogs->paths.enqueue(game.Game());
            game.window->SetGtaFolder();
            QCOMPARE(game.dialogs->Log(), (QStringList{"chooser: ", "Information: " + said + "."}));
        } else if (next == "unpack") {
            game.dialogs->buttons.enqueue(QMessageBox::No);  // "Load existing files": unpack again
            QVERIFY(game.Unpack(archive.group, archive.leaf));
            QCOMPARE(game.dialogs->Log().mid(1), QStringList{"Information: " + said + "."});
        } else {
            if (tag.endsWith("at first")) {
                QFile lock(lookupPath + ".lock");
                QVERIFY(lock.open(QIODevice::WriteOnly) && ::flock(lock.handle(), LOCK_EX | LOCK_NB) == 0);
                game.Start(false);
                QCOMPARE(game.dialogs->Log(), QStringList());
                QVERIFY(QFile::exists(lookupPath + ".journal"));
                game.window.reset();
            }
            game.Start(false);
            QCOMPARE(game.dialogs->Log(), QStringList{"Information: " + said + "."});
        }
        // Nothing of the save is left over, and the game folder holds an archive and records that belong together.
        QCOMPARE(FilesBelow(game.Game()).filter(QRegularExpression("\\.(new|old|journal.*|lock|tmp)$")), QStringList());
        const Files now = FreshUnpacking(game, archive);
        QCOMPARE(now.keys(), usable.keys());
        if (!bCompleted) {
            // The save kept the originals before it began; everything else is as it was.
            Files after = Snapshot(game.Game());
            after.removeIf([](const auto &file) { return file.key().startsWith("audio/RozivOze originals/"); });
            QCOMPARE(Damaged(gameBefore, after) + Damaged(after, gameBefore), QStringList());
            return;
        }
        QVERIFY(bByTool || ReadFile(lookupPath + ".bak") == gameBefore[archive.lookup]);
        QVERIFY(archive.bankRow >= 0 || ReadFile(game.Game() + "/" + slotTable) == gameBefore[slotTable]);
        for (const QString &file : usable.keys())
            QVERIFY2(file == archive.entry || file.endsWith(".ini") || now[file] == usable[file], qPrintable(file));
        if (archive.bankRow < 0)
            QCOMPARE(now[archive.entry], ReadFile(replacement));
        else
            QCOMPARE(ReadWav(game.Root() + "/fresh/" + archive.folder + "/" + archive.entry).samples, replacementSamples);
    }

    // Saves that grow the sound buffer, a refused save, folders written relative in settings.ini; then one
    // archive restored, and all: the game folder is byte for byte what it was, and no kept original ever
    // shared its bytes with a file the game folder writes in place.
    void RestoringAllPutsTheGameBackAsItWas()
    {
        DemoGame game;
        QVERIFY(game.IsReady());
        game.Start(false, "../" + QFileInfo(game.Root()).fileName() + "/game", "work");
        const Files before = Snapshot(game.Game());
        const QString slotFile = game.Game() + "/audio/CONFIG/BankSlot.dat";
            // A kept original that shares its bytes with a game file is a second name of it: both have two.
        const auto sharedWithTheGame = [&] {
            QStringList files = FilesBelow(game.Game());
            files.removeIf([&](const QString &file) {
                struct stat info {};
                return ::stat(QFile::encodeName(game.Game() + "/" + file).constData(), &info) == 0 && info.st_nlink == 1;
            });
            return files;
        };

        QVERIFY(game.Unpack(stream.group, stream.leaf));
        QVERIFY(WriteFile(game.Work() + "/" + stream.folder + "/" + stream.entry, "not a track"));
        game.window->SaveArchive();
        QVERIFY2(game.dialogs->Log().constLast().startsWith("Error: KIVO returned"), qPrintable(game.dialogs->Log().join('\n')));
        QCOMPARE(sharedWithTheGame(), QStringList());
        game.Replace(game.Entry(stream.bankRow, 1), WriteReplacement(game, stream));
        game.window->SaveArchive();
        QCOMPARE(game.StatusBar()->currentMessage(), "Save was successfull");

        // An earlier version kept PakFiles.dat as a second name: the next save gives it bytes of its own.
        QVERIFY(QDir().mkpath(game.Game() + "/audio/RozivOze originals/CONFIG")
                && ::link(QFile::encodeName(game.Game() + "/audio/CONFIG/PakFiles.dat").constData(),
                          QFile::encodeName(game.Game() + "/audio/RozivOze originals/CONFIG/PakFiles.dat").constData()) == 0);
        QByteArray slotsAfterTheFirst;
        for (const Archive &archive : {spcEa, sfx}) {
            QVERIFY(game.Unpack(archive.group, archive.leaf));
            const QString entry = game.Work() + "/" + archive.folder + "/Bank_00" + QString::number(archive.bankRow + 1) + "/sound_001.wav";
            const QString longer = game.Root() + "/longer.wav";
            QVERIFY(WriteSoundFile(longer, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 1, 22050,
                                   Tone(int(ReadWav(entry).samples.size()) + 4000, 440, 22050, 8000)));
            game.Replace(game.Entry(archive.bankRow, 0), longer);
            game.window->SaveArchive();
            QCOMPARE(game.StatusBar()->currentMessage(), "Save was successfull.");
            if (slotsAfterTheFirst.isEmpty())
                slotsAfterTheFirst = ReadFile(slotFile);
        }
        QVERIFY(slotsAfterTheFirst != before["audio/CONFIG/BankSlot.dat"] && ReadFile(slotFile) != slotsAfterTheFirst);
        QCOMPARE(sharedWithTheGame(), QStringList());

        // GENRL alone: the slots keep what SPC_EA, saved before it, still needs.
        game.View("archiveView")->setCurrentIndex(game.ArchiveNode(sfx.group, sfx.leaf));
        game.dialogs->buttons.enqueue(QMessageBox::Yes);
        game.TriggerRestore();
        QCOMPARE(game.StatusBar()->currentMessage(), "Original archive restored.");
        QCOMPARE(ReadFile(slotFile), slotsAfterTheFirst);

        game.dialogs->shown.clear();
        game.dialogs->buttons.enqueue(QMessageBox::Yes);
        game.TriggerRestore("Restore a&ll original audio");
        QCOMPARE(game.dialogs->Log().constFirst(), "Restore all original audio: Put every kept original back into the game "
                                                   "folder?\nEverything saved into the game since will be lost.");
        QCOMPARE(game.dialogs->shown.constFirst().defaultButton, QMessageBox::No);
        QCOMPARE(game.StatusBar()->currentMessage(), "All original audio restored.");
        Files after = Snapshot(game.Game());
        after.removeIf([](const auto &file) { return file.key().startsWith("audio/RozivOze originals/") || file.key().endsWith(".bak"); });
        QCOMPARE(after.keys(), before.keys());
        QCOMPARE(Damaged(before, after), QStringList());
    }

    void AJournalIsObeyedOnlyWithinTheGameFolder_data()
    {
        QTest::addColumn<Archive>("archive");
        QTest::addColumn<QString>("journal");  // after its first line; LINK and GENRL.old lead to the folder "out"
        QTest::addColumn<bool>("bByTool");     // else at the program's start
        const QString sfxLookup = "new={a}.new\nlookup=BankLkup.dat\nkept=BankLkup.dat\n";
        QTest::newRow("SFX, archive outside") << sfx << "phase=swapping\narchive=../../../out/letter.txt\n" + sfxLookup << false;
        QTest::newRow("SFX, archive outside, by a tool") << sfx << "phase=packing\narchive=../../../out/letter.txt\n" + sfxLookup << true;
        QTest::newRow("SFX, archive a link out") << sfx << "phase=swapping\narchive=../SFX/LINK\n" + sfxLookup << true;
        QTest::newRow("SFX, old archive a link out") << sfx << "phase=swapping\narchive=../SFX/GENRL\nold=../SFX/GENRL.old\n" + sfxLookup << false;
        QTest::newRow("stream, archive of the SFX folder")
            << stream << "phase=packing\narchive=../SFX/GENRL\nnew={a}.new\nlookup=TrakLkup.dat\nkept=TrakLkup.dat\n" << true;
        // In the SFX folder, but no archive of configuration.ini: only the program knows that.
        QTest::newRow("SFX, archive not in the configuration") << sfx << "phase=packing\narchive=../SFX/LETTER\n" + sfxLookup << false;
        QTest::newRow("SFX, kept and absent at once")
            << sfx << "phase=packing\narchive=../SFX/GENRL\n" + sfxLookup + "absent=BankLkup.dat\nabsent=BankSlot.dat\n" << false;
        QTest::newRow("stream, keeps BankSlot.dat") << stream << "phase=packing\narchive=../streams/CH\nnew={a}.new\nlookup=TrakLkup.dat\n"
                                                                 "kept=TrakLkup.dat\nkept=BankSlot.dat\n" << true;
    }

    // A journal that would move or remove files outside the archive's folder, or undo itself, is
    // refused naming it, and nothing anywhere changes.
    void AJournalIsObeyedOnlyWithinTheGameFolder()
    {
        QFETCH(Archive, archive);
        QFETCH(QString, journal);
        QFETCH(bool, bByTool);
        DemoGame game;
        QVERIFY(game.IsReady());
        const QString out = game.Root() + "/out", config = game.Game() + "/audio/CONFIG/";
        const QString lookupPath = game.Game() + "/" + archive.lookup;
        QVERIFY(QDir().mkpath(out) && WriteFile(out + "/letter.txt", "mine") && WriteFile(out + "/letter.txt.new", "also mine")
                && WriteFile(game.Game() + "/audio/SFX/LETTER", "mine too") && WriteFile(game.Game() + "/audio/SFX/LETTER.new", "and this")
                && QFile::link(out + "/letter.txt", game.Game() + "/audio/SFX/LINK")
                && QFile::link(out + "/letter.txt.new", game.Game() + "/audio/SFX/GENRL.old"));
        const QString named = journal.section("archive=", 1).section('\n', 0, 0);
        QVERIFY(WriteFile(lookupPath + ".journal", "RozivOze save journal 2\n" + journal.replace("{a}", named).toUtf8()));
        const Files gameBefore = Snapshot(game.Game()), outBefore = Snapshot(out);
        const QString refused = lookupPath + ".journal is not a save journal of this program; move it away and check the game folder";
        if (bByTool) {
            const ToolRun run = Run(game.Root() + "/" + archive.program, {"-i", game.Game() + "/" + archive.path + ".new", "-", lookupPath});
            QVERIFY2(FailedWith(run, refused), qPrintable(run.errorText));
        } else {
            game.Start(false);
            QCOMPARE(game.dialogs->Log(), QStringList{"Error: " + refused});
        }
        QVERIFY(Snapshot(game.Game()) == gameBefore);
        QVERIFY(Snapshot(out) == outBefore);
    }
};

QTEST_MAIN(TestEndToEnd)
#include "tst_EndToEnd.moc"
