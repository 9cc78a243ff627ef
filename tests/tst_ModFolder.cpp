#include "app/ModFolder.h"
#include "format/BankSlotFile.h"

#include <QtEndian>
#include <QTemporaryDir>
#include <QtTest>

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

// The two files of a mod folder that are worked out: the grown slot table and the README.
class TestModFolder : public QObject
{
    Q_OBJECT
private slots:
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
        QTemporaryDir folder;
        QFile file(folder.filePath("BankSlot.dat"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(Table(sizes)) == Table(sizes).size());
        file.close();
        kivo::BankSlotFile table = kivo::BankSlotFile::Load(QFile::encodeName(file.fileName()).toStdString());
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

    void ReadmeKeepsTheOtherArchives()
    {
        const QString first = ModFolder::MergeReadme(QString(), "GENRL", {"Bank_001/sound_001.wav: a", "b: c"});
        const QString both = ModFolder::MergeReadme(first, "CH", {"Track_001.ogg: d"});
        const QString again = ModFolder::MergeReadme(both, "GENRL", {"Bank_002/sound_001.wav: e"});
        QVERIFY(both.contains("== GENRL ==\nBank_001/sound_001.wav: a\nb: c\n") && both.contains("== CH ==\nTrack_001.ogg: d\n"));
        QVERIFY(again.contains("== CH ==\nTrack_001.ogg: d\n") && again.contains("== GENRL ==\nBank_002/sound_001.wav: e\n"));
        QVERIFY(!again.contains("sound_001.wav: a"));
        QCOMPARE(ModFolder::ReadmeEntries(both, "GENRL"), (QStringList{"Bank_001/sound_001.wav", "b"}));
    }
};

QTEST_APPLESS_MAIN(TestModFolder)
#include "tst_ModFolder.moc"
