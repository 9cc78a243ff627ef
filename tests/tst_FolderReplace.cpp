#include "app/FolderReplace.h"

#include <QtTest>

using FolderReplace::EntryKey;

// Which file of a folder names which entry of an archive.
class TestFolderReplace : public QObject
{
    Q_OBJECT

private slots:
    void PathNamesItsEntry_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("tracks");
        QTest::addColumn<int>("bank");    // 0 and 0: no entry
        QTest::addColumn<int>("number");
        QTest::newRow("padded") << "Bank_001/sound_002.wav" << false << 1 << 2;
        QTest::newRow("unpadded, other case, other extension") << "bank_7/SOUND_12.FLAC" << false << 7 << 12;
        QTest::newRow("under a folder named like the archive") << "mods/genrl/Bank_2/sound_3.mp3" << false << 2 << 3;
        QTest::newRow("under another archive's folder") << "SCRIPT/Bank_2/sound_3.wav" << false << 0 << 0;
        QTest::newRow("under the archive's folder, one level too deep") << "GENRL/x/Bank_2/sound_3.wav" << false << 0 << 0;
        QTest::newRow("numbers count from one") << "Bank_000/sound_001.wav" << false << 0 << 0;
        QTest::newRow("a number beyond nine digits") << "Bank_1/sound_1234567890.wav" << false << 0 << 0;
        QTest::newRow("without extension") << "Bank_1/sound_1" << false << 0 << 0;
        QTest::newRow("a copy's double extension") << "Bank_1/sound_1.wav.bak" << false << 0 << 0;
        QTest::newRow("a sound without its bank folder") << "sound_1.wav" << false << 0 << 0;
        QTest::newRow("signs are no digits") << "Bank_+1/sound_1.wav" << false << 0 << 0;
        QTest::newRow("track") << "Track_003.ogg" << true << 0 << 3;
        QTest::newRow("track under the archive's folder") << "Genrl/track_3.opus" << true << 0 << 3;
        QTest::newRow("track under another folder") << "CH/Track_3.ogg" << true << 0 << 0;
        QTest::newRow("a sound's name in a stream archive") << "Bank_1/sound_1.wav" << true << 0 << 0;
        QTest::newRow("a track's name in an SFX archive") << "Track_1.ogg" << false << 0 << 0;
    }
    void PathNamesItsEntry()
    {
        QFETCH(QString, path);
        QFETCH(bool, tracks);
        QFETCH(int, bank);
        QFETCH(int, number);
        const EntryKey key = FolderReplace::KeyOf(path, tracks, {"GENRL", ""});
        QCOMPARE(key.bank, bank);
        QCOMPARE(key.number, number);
    }

    void EachEntryTakesOneFileAtMost()
    {
        // Bank 1 holds two sounds, bank 2 one.
        const auto exists = [](const EntryKey &key) { return key.number <= (key.bank == 1 ? 2 : key.bank == 2 ? 1 : 0); };
        const FolderReplace::Plan plan = FolderReplace::MatchFiles(
            {"Bank_2/sound_1.wav", "Bank_1/sound_1.wav", "Bank_2/sound_2.wav", "GENRL/Bank_001/sound_001.flac", "readme.txt",
             "Bank_1/sound_2.wav"},
            false, {"GENRL"}, exists);

        QStringList matches, unmatched;
        for (const FolderReplace::Match &match : plan.matches)
            matches << QString("%1 %2.%3").arg(match.file).arg(match.entry.bank).arg(match.entry.number);
        for (const FolderReplace::Mismatch &mismatch : plan.unmatched)
            unmatched << mismatch.file + ": " + mismatch.reason;
        QCOMPARE(matches, (QStringList{"Bank_1/sound_2.wav 1.2", "Bank_2/sound_1.wav 2.1"}));
        QCOMPARE(unmatched, (QStringList{"Bank_2/sound_2.wav: this archive has no such entry", "readme.txt: names no entry",
                                         "Bank_1/sound_1.wav: another file names the same entry",
                                         "GENRL/Bank_001/sound_001.flac: another file names the same entry"}));
    }
};

QTEST_MAIN(TestFolderReplace)
#include "tst_FolderReplace.moc"
