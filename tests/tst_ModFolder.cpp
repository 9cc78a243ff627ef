#include "app/CombinePath.h"
#include "app/archive/FolderReplace.h"
#include "format/BankSlotFile.h"

#include <QtEndian>
#include <QtTest>

#include "ScratchFiles.h"

using FolderReplace::EntryKey;

namespace
{
// A sound-buffer table of slots of these sizes, each with its own marker byte, and stale offsets.
QByteArray Table(const QList<quint32> &sizes)
{
    QByteArray table(2 + sizes.size() * 4820, '\x07');
    qToLittleEndian<quint16>(quint16(sizes.size()), table.data());
    for (int slot = 0; slot < sizes.size(); ++slot) {
        qToLittleEndian<quint32>(0xDEADu, table.data() + 2 + slot * 4820);
        qToLittleEndian<quint32>(sizes[slot], table.data() + 2 + slot * 4820 + 4);
    }
    return table;
}
}

// Paths: joined in the program's way, and those of a mod folder read in (which of its files names
// which entry of an archive) and written out (the grown slot table).
class TestModFolder : public QObject
{
    Q_OBJECT
    ScratchFiles files;

private slots:
    void JoinsWithExactlyOneSeparator_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QString>("expected");
        QTest::newRow("neither brings one") << "C:/a" << "b" << "C:/a/b";
        QTest::newRow("first's slash dropped, second's backslash kept") << "C:/a/" << "\\b" << "C:/a\\b";
        QTest::newRow("empty first") << "" << "b" << "/b";
        QTest::newRow("first's backslash dropped, second's slash kept") << "C:\\a\\" << "/b" << "C:\\a/b";
        QTest::newRow("only one of doubled separators dropped") << "a//" << "/b" << "a//b";
        QTest::newRow("inner separators and dots untouched") << "x\\y/." << "../q\\r" << "x\\y/./../q\\r";
    }
    void JoinsWithExactlyOneSeparator()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QString, expected);
        QCOMPARE(CombinePath(first, second), expected);
    }
    void PathNamesItsEntry_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("tracks");
        QTest::addColumn<QString>("entry");  // bank.number, empty for no entry
        QTest::newRow("padded") << "Bank_001/sound_002.wav" << false << "1.2";
        QTest::newRow("unpadded, other case, other extension") << "bank_7/SOUND_12.FLAC" << false << "7.12";
        QTest::newRow("under a folder named like the archive") << "mods/genrl/Bank_2/sound_3.mp3" << false << "2.3";
        QTest::newRow("under another archive's folder") << "SCRIPT/Bank_2/sound_3.wav" << false << "";
        QTest::newRow("under the archive's folder, one level too deep") << "GENRL/x/Bank_2/sound_3.wav" << false << "";
        QTest::newRow("numbers count from one") << "Bank_000/sound_001.wav" << false << "";
        QTest::newRow("a number beyond nine digits") << "Bank_1/sound_1234567890.wav" << false << "";
        QTest::newRow("without extension") << "Bank_1/sound_1" << false << "";
        QTest::newRow("a copy's double extension") << "Bank_1/sound_1.wav.bak" << false << "";
        QTest::newRow("a sound without its bank folder") << "sound_1.wav" << false << "";
        QTest::newRow("signs are no digits") << "Bank_+1/sound_1.wav" << false << "";
        QTest::newRow("track") << "Track_003.ogg" << true << "0.3";
        QTest::newRow("track under the archive's folder") << "Genrl/track_3.opus" << true << "0.3";
        QTest::newRow("track under another folder") << "CH/Track_3.ogg" << true << "";
    }
    void PathNamesItsEntry()
    {
        QFETCH(QString, path);
        QFETCH(bool, tracks);
        QFETCH(QString, entry);
        const EntryKey key = FolderReplace::KeyOf(path, tracks, {"GENRL", ""});
        QCOMPARE(key.IsValid() ? QString("%1.%2").arg(key.bank).arg(key.number) : QString(), entry);
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

    void GrowsEverySlotThatHeldTheOldSize_data()
    {
        QTest::addColumn<QList<quint32>>("sizes");
        QTest::addColumn<QList<quint32>>("growths");  // old, new, old, new, ...
        QTest::addColumn<QList<quint32>>("expected"); // empty: the table unchanged, stale offsets too
        QTest::newRow("nothing grew") << QList<quint32>{10, 20} << QList<quint32>{20, 15} << QList<quint32>{};
        QTest::newRow("equal and larger grow, smaller stays")
            << QList<quint32>{10, 20, 30, 90} << QList<quint32>{20, 50} << QList<quint32>{10, 50, 50, 90};
        QTest::newRow("a slot is judged by the size it had")
            << QList<quint32>{20, 40} << QList<quint32>{35, 60, 20, 36} << QList<quint32>{36, 60};
        QTest::newRow("the largest growth wins") << QList<quint32>{40} << QList<quint32>{30, 90, 20, 50} << QList<quint32>{90};
    }
    void GrowsEverySlotThatHeldTheOldSize()
    {
        QFETCH(QList<quint32>, sizes);
        QFETCH(QList<quint32>, growths);
        QFETCH(QList<quint32>, expected);
        std::vector<kivo::Growth> changes;
        for (int i = 0; i + 1 < growths.size(); i += 2)
            changes.push_back({growths[i], growths[i + 1]});
        kivo::BankSlotFile table = kivo::BankSlotFile::Load(QFile::encodeName(files.Write(Table(sizes))).toStdString());
        QCOMPARE(table.Grow(changes) > 0, !expected.isEmpty());
        const QByteArray grown(reinterpret_cast<const char *>(table.Bytes().data()), qsizetype(table.Bytes().size()));
        if (expected.isEmpty()) {
            QCOMPARE(grown, Table(sizes));
            return;
        }
        QByteArray wanted = Table(expected);
        quint32 offset = 0;
        for (int slot = 0; slot < expected.size(); offset += expected[slot++])
            qToLittleEndian<quint32>(offset, wanted.data() + 2 + slot * 4820);
        QCOMPARE(grown, wanted);
    }

};

QTEST_APPLESS_MAIN(TestModFolder)
#include "tst_ModFolder.moc"
