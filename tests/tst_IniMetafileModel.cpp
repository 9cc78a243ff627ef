#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

#include "metafile/IniMetafileItem.h"
#include "metafile/IniMetafileModel.h"

namespace {

using Model = IniMetafileModel;

QString NameOf(const QModelIndex &index)
{
    const QString name = index.data().toString();
    return name.isEmpty() ? QStringLiteral("_") : name;
}

// The rows as a user sees them, "_" for an empty name: "Bank_001[a.wav,_] Bank_003[]" or "a.ogg b.ogg".
QString Describe(const QAbstractItemModel &model)
{
    QStringList rows;
    for (int row = 0; row < model.rowCount(); ++row) {
        const QModelIndex index = model.index(row, 0);
        QString text = NameOf(index);
        if (model.rowCount(index) > 0 || text.startsWith(QLatin1String("Bank_"))) {
            QStringList children;
            for (int child = 0; child < model.rowCount(index); ++child)
                children << NameOf(model.index(child, 0, index));
            text += QLatin1Char('[') + children.join(QLatin1Char(',')) + QLatin1Char(']');
        }
        rows << text;
    }
    return rows.join(QLatin1Char(' '));
}

IniMetafileItem *ItemOf(const QModelIndex &index)
{
    return static_cast<IniMetafileItem *>(index.internalPointer());
}

const QByteArray twoBanks =
    "[Archive]\nbasename=GENRL\nlookup_index=7\nnum_banks=2\n"
    "[Bank_001]\nnum_sounds=3\n"
    "sound_001.filename=Bank_001/sound_001.wav\nsound_001.sample_rate=22050\nsound_001.unknown_16=-100\n"
    "sound_002.filename=Bank_001/sound_002.wav\nsound_002.sample_rate=44100\nsound_002.unknown_16=0\n"
    "sound_003.filename=Bank_001/sound_003.wav\nsound_003.sample_rate=8000\nsound_003.unknown_16=3\n"
    "[Bank_002]\nnum_sounds=2\n"
    "sound_001.filename=Bank_002/sound_001.wav\nsound_002.filename=Bank_002/sound_002.wav\n";

const QByteArray fourTracks =
    "[Stream]\nnum_tracks=4\nbasename=AA\nlookup_index=12\n"
    "[Track_001]\nbeat_total=5\nfilename=Track_001.ogg\nlength_extra=6\nlength_index=1\n"
    "[Track_002]\nfilename=Track_002.ogg\n"
    "[Track_003]\nfilename=Track_003.ogg\n"
    "[Track_004]\nfilename=Track_004.ogg\n";

} // namespace

class TestIniMetafileModel : public QObject
{
    Q_OBJECT

private slots:
    void ListsEntries_data();
    void ListsEntries();
    void NamesTheArchiveFolder_data();
    void NamesTheArchiveFolder();
    void ThrowsWhenTheMetafileIsUnusable_data();
    void ThrowsWhenTheMetafileIsUnusable();
    void KeepsTheNumbersOfEachEntry();
    void PadsNumbersToAtLeastThreeDigits();
    void AnswersTheViewAboutSfxRows();
    void PassesTheModelTester_data();
    void PassesTheModelTester();
    void ListsWhatTheFileBacksForAbsurdCounts_data();
    void ListsWhatTheFileBacksForAbsurdCounts();
    void BelievesSoundCountsUpToOneHundredThousand();

private:
    QString Write(const QByteArray &content);
    QTemporaryDir dir;
    int fileCount = 0;
};

QString TestIniMetafileModel::Write(const QByteArray &content)
{
    const QString path = dir.filePath(QStringLiteral("file%1.ini").arg(++fileCount));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        qFatal("cannot write %s", qPrintable(path));
    return path;
}

void TestIniMetafileModel::ListsEntries_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expected");
    const auto Row = [](int type, const char *name) -> QTestData & { return QTest::newRow(name) << type; };
    const int sfx = Model::SFX;
    const int stream = Model::STREAM;

    Row(sfx, "two banks") << twoBanks
        << "Bank_001[Bank_001/sound_001.wav,Bank_001/sound_002.wav,Bank_001/sound_003.wav] "
           "Bank_002[Bank_002/sound_001.wav,Bank_002/sound_002.wav]";
    Row(sfx, "gap in the bank numbers")
        << QByteArray("[Archive]\nnum_banks=3\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n"
                      "[Bank_003]\nnum_sounds=1\nsound_001.filename=c\n")
        << "Bank_001[a] Bank_003[c]";
    Row(sfx, "banks in number order, not file order")
        << QByteArray("[Archive]\nnum_banks=2\n[Bank_002]\nnum_sounds=1\nsound_001.filename=b\n"
                      "[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n")
        << "Bank_001[a] Bank_002[b]";
    Row(sfx, "sounds in number order, not file order")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nsound_002.filename=b\nnum_sounds=2\nsound_001.filename=a\n")
        << "Bank_001[a,b]";
    Row(sfx, "banks beyond num_banks ignored")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=1\n[Bank_002]\nnum_sounds=1\n")
        << "Bank_001[_]";
    Row(sfx, "sounds beyond num_sounds ignored")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\nsound_002.filename=b\n")
        << "Bank_001[a]";
    Row(sfx, "num_sounds=0 and missing num_sounds give no row")
        << QByteArray("[Archive]\nnum_banks=3\n[Bank_001]\nnum_sounds=0\nsound_001.filename=a\n"
                      "[Bank_002]\nsound_001.filename=b\n[Bank_003]\nnum_sounds=1\nsound_001.filename=c\n")
        << "Bank_003[c]";
    Row(sfx, "negative num_sounds gives no row")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=-2\nsound_001.filename=a\n") << "";
    Row(sfx, "missing sound keys give empty rows")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=2\nsound_001.filename=a\n")
        << "Bank_001[a,_]";
    Row(sfx, "num_banks not a number")
        << QByteArray("[Archive]\nnum_banks=abc\n[Bank_001]\nnum_sounds=1\n") << "";
    Row(sfx, "num_banks beyond 32 bits")
        << QByteArray("[Archive]\nnum_banks=4294967297\n[Bank_001]\nnum_sounds=1\n") << "";
    Row(sfx, "num_banks with leading zeros and sign")
        << QByteArray("[Archive]\nnum_banks=+002\n[Bank_002]\nnum_sounds=1\n") << "Bank_002[_]";
    Row(sfx, "unpadded and overpadded bank names are other sections")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_1]\nnum_sounds=1\n[Bank_0001]\nnum_sounds=1\n") << "";
    Row(sfx, "unpadded and overpadded sound keys are other keys")
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=1\nsound_1.filename=a\nsound_0001.filename=b\n")
        << "Bank_001[_]";
    Row(sfx, "Archive without banks") << QByteArray("[Archive]\n") << "";

    Row(stream, "four tracks") << fourTracks << "Track_001.ogg Track_002.ogg Track_003.ogg Track_004.ogg";
    Row(stream, "a missing track ends the list")
        << QByteArray("[Stream]\nnum_tracks=5\n[Track_001]\nfilename=a\n[Track_002]\nfilename=b\n"
                      "[Track_004]\nfilename=d\n")
        << "a b";
    Row(stream, "tracks beyond num_tracks ignored")
        << QByteArray("[Stream]\nnum_tracks=1\n[Track_001]\nfilename=a\n[Track_002]\nfilename=b\n") << "a";
    Row(stream, "track without keys at the end")
        << QByteArray("[Stream]\nnum_tracks=2\n[Track_001]\nfilename=a\n[Track_002]\n") << "a _";
    Row(stream, "keyless track header before the next one ends the list")
        << QByteArray("[Stream]\nnum_tracks=2\n[Track_001]\n[Track_002]\nfilename=b\n") << "";
    Row(stream, "no Stream section") << QByteArray("[Track_001]\nfilename=a\n") << "";
    Row(stream, "unpadded track name")
        << QByteArray("[Stream]\nnum_tracks=1\n[Track_1]\nfilename=a\n") << "";

    // Readable sections after a megabyte of random bytes are still found, names decoded as UTF-8.
    QRandomGenerator random(7);
    QByteArray garbage(1 << 20, Qt::Uninitialized);
    random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
    Row(sfx, "SFX after binary garbage")
        << garbage + "\n[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=1\nsound_001.filename=\xc3\xa4\xff.wav\n"
        << QString::fromUtf8("Bank_001[\xc3\xa4\xef\xbf\xbd.wav]");
    Row(stream, "stream after binary garbage") << garbage + "\n[Stream]\nnum_tracks=1\n[Track_001]\nfilename=\xfe.ogg\n"
                                             << QString::fromUtf8("\xef\xbf\xbd.ogg");
}

void TestIniMetafileModel::ListsEntries()
{
    QFETCH(int, type);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const Model model(Model::ArchiveType(type), Write(content), {});
    QCOMPARE(Describe(model), expected);
}

void TestIniMetafileModel::NamesTheArchiveFolder_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("expectedName");
    QTest::addColumn<QString>("expectedBasename");
    QTest::addColumn<int>("expectedLookupIndex");

    QTest::newRow("SFX basename trimmed") << int(Model::SFX)
        << QByteArray("[Archive]\nbasename =  GENRL  \nlookup_index=3\n") << "GENRL" << "" << 3;
    QTest::newRow("station name of the stream") << int(Model::STREAM) << fourTracks << "R" << "AA" << 12;
    QTest::newRow("stream without a station name") << int(Model::STREAM)
        << QByteArray("[Stream]\nbasename=BB\n") << "BB" << "BB" << 0;
    QTest::newRow("station names are case-sensitive") << int(Model::STREAM)
        << QByteArray("[Stream]\nbasename=aa\n") << "aa" << "aa" << 0;
    QTest::newRow("stream without Stream section") << int(Model::STREAM)
        << QByteArray("basename=AA\n") << "" << "" << 0;
    QTest::newRow("lookup_index not a number") << int(Model::SFX)
        << QByteArray("[Archive]\nlookup_index=1.5\n") << "" << "" << 0;
}

void TestIniMetafileModel::NamesTheArchiveFolder()
{
    QFETCH(int, type);
    QFETCH(QByteArray, content);
    QFETCH(QString, expectedName);
    QFETCH(QString, expectedBasename);
    QFETCH(int, expectedLookupIndex);
    QMap<QString, QString> stations{{"AA", "R"}};
    const Model model(Model::ArchiveType(type), Write(content), stations);
    stations.clear();  // read during construction only
    QCOMPARE(model.GetType(), Model::ArchiveType(type));
    QCOMPARE(model.GetName(), expectedName);
    QCOMPARE(model.GetBasename(), expectedBasename);
    QCOMPARE(model.GetLookupIndex(), expectedLookupIndex);
}

void TestIniMetafileModel::ThrowsWhenTheMetafileIsUnusable_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("content");  // null: no file at all
    QTest::addColumn<QString>("expected");    // empty: no throw

    QTest::newRow("SFX file missing") << int(Model::SFX) << QByteArray() << "Failed to load ini-file.";
    QTest::newRow("stream file missing") << int(Model::STREAM) << QByteArray() << "Failed to load ini-file.";
    QTest::newRow("SFX without Archive") << int(Model::SFX) << QByteArray("[Bank_001]\nnum_sounds=1\n")
                                         << "Invalid ini-fileformat.";
    QTest::newRow("SFX with an indented Archive header") << int(Model::SFX)
        << QByteArray("  [Archive]\nnum_banks=1\n") << "Invalid ini-fileformat.";
    QTest::newRow("SFX empty file") << int(Model::SFX) << QByteArray("") << "Invalid ini-fileformat.";
    QTest::newRow("stream without Stream is no error") << int(Model::STREAM) << QByteArray("[Archive]\n") << "";
    QTest::newRow("SFX with an empty last Archive section") << int(Model::SFX)
        << QByteArray("[Bank_001]\nnum_sounds=1\n[Archive]") << "";
}

void TestIniMetafileModel::ThrowsWhenTheMetafileIsUnusable()
{
    QFETCH(int, type);
    QFETCH(QByteArray, content);
    QFETCH(QString, expected);
    const QString path = content.isNull() ? dir.filePath(QStringLiteral("missing.ini")) : Write(content);
    QString thrown;
    std::unique_ptr<Model> model;
    try {
        model = std::make_unique<Model>(Model::ArchiveType(type), path, QMap<QString, QString>());
    } catch (const QString &message) {
        thrown = message;
    }
    QCOMPARE(thrown, expected);
    QCOMPARE(model == nullptr, !expected.isEmpty());
    if (model)
        QCOMPARE(model->rowCount(), 0);
}

void TestIniMetafileModel::KeepsTheNumbersOfEachEntry()
{
    const Model sfx(Model::SFX, Write(twoBanks), {});
    const IniMetafileItem *sound = ItemOf(sfx.index(0, 0, sfx.index(0, 0)));
    QCOMPARE(sound->GetSampleRate(), 22050);
    QCOMPARE(sound->GetUnknown16(), -100);
    QCOMPARE(sound->GetBeatTotal(), 0);
    const Model stream(Model::STREAM, Write(fourTracks), {});
    const IniMetafileItem *track = ItemOf(stream.index(0, 0));
    QCOMPARE(track->GetBeatTotal(), 5);
    QCOMPARE(track->GetLengthExtra(), 6);
    QCOMPARE(track->GetLengthIndex(), 1);
    QCOMPARE(ItemOf(stream.index(1, 0))->GetBeatTotal(), 0);
}

void TestIniMetafileModel::PadsNumbersToAtLeastThreeDigits()
{
    QByteArray stream = "[Stream]\nnum_tracks=1001\n";
    for (int track = 1; track <= 1000; ++track)
        stream += QStringLiteral("[Track_%1]\nfilename=%2.ogg\n").arg(track, 3, 10, QLatin1Char('0')).arg(track).toLatin1();
    const Model tracks(Model::STREAM, Write(stream), {});
    QCOMPARE(tracks.rowCount(), 1000);
    QCOMPARE(tracks.index(999, 0).data().toString(), QStringLiteral("1000.ogg"));

    const QByteArray sfx = "[Archive]\nnum_banks=1000\n[Bank_1000]\nnum_sounds=1000\n"
                           "sound_1000.filename=last.wav\nsound_0999.filename=wrong.wav\nsound_999.filename=999.wav\n";
    const Model banks(Model::SFX, Write(sfx), {});
    QCOMPARE(banks.rowCount(), 1);
    const QModelIndex bank = banks.index(0, 0);
    QCOMPARE(bank.data().toString(), QStringLiteral("Bank_1000"));
    QCOMPARE(banks.rowCount(bank), 1000);
    QCOMPARE(banks.index(998, 0, bank).data().toString(), QStringLiteral("999.wav"));
    QCOMPARE(banks.index(999, 0, bank).data().toString(), QStringLiteral("last.wav"));
}

void TestIniMetafileModel::AnswersTheViewAboutSfxRows()
{
    // The tester covers parents and rows; what is left are the lookups out of range.
    const Model model(Model::SFX, Write(twoBanks), {});
    const QModelIndex firstBank = model.index(0, 0);
    const QModelIndex secondSound = model.index(1, 0, firstBank);
    QCOMPARE(ItemOf(secondSound)->GetParent(), ItemOf(firstBank));
    QVERIFY(!model.index(5, 0).isValid());
    QVERIFY(!model.index(-1, 0).isValid());
    QVERIFY(!model.index(3, 0, firstBank).isValid());
    QVERIFY(!model.index(0, 0, secondSound).isValid());
    QVERIFY(!model.data(QModelIndex(), Qt::DisplayRole).isValid());
    QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("File"));
}

void TestIniMetafileModel::PassesTheModelTester_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("content");
    QTest::newRow("SFX") << int(Model::SFX) << twoBanks;
    QTest::newRow("stream") << int(Model::STREAM) << fourTracks;
    QTest::newRow("empty stream") << int(Model::STREAM) << QByteArray("[Track_001]\nfilename=a\n");
}

void TestIniMetafileModel::PassesTheModelTester()
{
    QFETCH(int, type);
    QFETCH(QByteArray, content);
    Model model(Model::ArchiveType(type), Write(content), {});
    // The entry view's root answers "enabled", which the tester does not expect of a root; any
    // other complaint fails the test. The tester stops its basic checks there, so the two it
    // skips are made below.
    QTest::ignoreMessage(QtWarningMsg,
                         QRegularExpression(QStringLiteral("^FAIL! flags == Qt::ItemIsDropEnabled \\|\\| flags == 0 ")));
    QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
    QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
    QVERIFY(!model.parent(QModelIndex()).isValid());
    QVERIFY(model.rowCount() >= 0);
}

void TestIniMetafileModel::ListsWhatTheFileBacksForAbsurdCounts_data()
{
    QTest::addColumn<int>("type");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("expectedRows");
    QTest::addColumn<QString>("expectedEnd");

    QTest::newRow("num_banks") << int(Model::SFX)
        << QByteArray("[Archive]\nnum_banks=2147483647\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n"
                      "[Bank_500]\nnum_sounds=1\nsound_001.filename=b\n[Bank_2147483647]\nnum_sounds=1\n"
                      "[Bank_2147483648]\nnum_sounds=1\n")
        << 3 << "Bank_001[a] Bank_500[b] Bank_2147483647[_]";
    QTest::newRow("num_sounds runs to the highest keyed sound") << int(Model::SFX)
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=2147483647\n"
                      "sound_001.filename=a\nsound_004.sample_rate=22050\n")
        << 1 << "Bank_001[a,_,_,_]";
    QTest::newRow("num_sounds without sound keys") << int(Model::SFX)
        << QByteArray("[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=2147483647\nother=1\n")
        << 1 << "Bank_001[]";
    QTest::newRow("num_tracks") << int(Model::STREAM)
        << QByteArray("[Stream]\nnum_tracks=2147483647\n[Track_001]\nfilename=a\n[Track_002]\nfilename=b\n")
        << 2 << "a b";
    QTest::newRow("num_tracks with every track section absent") << int(Model::STREAM)
        << QByteArray("[Stream]\nnum_tracks=2147483647\n") << 0 << "";

    QByteArray manyBanks = "[Archive]\nnum_banks=2147483647\n";
    for (int bank = 1; bank <= 2000; ++bank)
        manyBanks += QStringLiteral("[Bank_%1]\nnum_sounds=2147483647\n").arg(bank, 3, 10, QLatin1Char('0')).toLatin1();
    QTest::newRow("every bank with an absurd count") << int(Model::SFX) << manyBanks << 2000
        << "Bank_999[] Bank_1000[] Bank_1001[]";
}

void TestIniMetafileModel::ListsWhatTheFileBacksForAbsurdCounts()
{
    QFETCH(int, type);
    QFETCH(QByteArray, content);
    QFETCH(int, expectedRows);
    QFETCH(QString, expectedEnd);
    const QString path = Write(content);
    QElapsedTimer timer;
    timer.start();
    const Model model(Model::ArchiveType(type), path, {});
    // Only a guard against hanging; how fast loading is belongs to the benchmark.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
    QCOMPARE(model.rowCount(), expectedRows);
    const QString rows = Describe(model);
    QVERIFY2(rows.contains(expectedEnd), qPrintable(rows.left(300)));
}

void TestIniMetafileModel::BelievesSoundCountsUpToOneHundredThousand()
{
    // A believed count lists every number, keys or not; a larger one lists what the keys back:
    // everything up to the highest keyed number, and beyond 100000 only sounds with keys.
    struct Case
    {
        QByteArray soundCount;
        QByteArray keys;
        int expectedRows;
        int lastKeyedRow;
    };
    const QList<Case> cases{
        {"100000", "sound_001.filename=a\n", 100000, 0},
        {"100001", "sound_001.filename=a\n", 1, 0},
        {"2147483647", "sound_001.filename=a\nsound_150000.filename=z\nsound_120000.unknown_16=1\n",
         100002, 100001},
    };
    for (const Case &c : cases) {
        const QByteArray content = "[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=" + c.soundCount + "\n" + c.keys;
        const Model model(Model::SFX, Write(content), {});
        const QModelIndex bank = model.index(0, 0);
        QCOMPARE(model.rowCount(bank), c.expectedRows);
        QCOMPARE(model.index(0, 0, bank).data().toString(), QStringLiteral("a"));
        if (c.lastKeyedRow > 0) {
            QCOMPARE(ItemOf(model.index(c.lastKeyedRow - 1, 0, bank))->GetUnknown16(), 1);
            QCOMPARE(model.index(c.lastKeyedRow, 0, bank).data().toString(), QStringLiteral("z"));
        }
    }
}

QTEST_MAIN(TestIniMetafileModel)
#include "tst_IniMetafileModel.moc"
