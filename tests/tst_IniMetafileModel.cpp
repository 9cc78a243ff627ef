#include <QAbstractItemModelTester>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QtTest>

#include "ScratchFiles.h"
#include "metafile/IniMetafileItem.h"
#include "metafile/IniMetafileModel.h"

namespace
{
using Model = IniMetafileModel;
constexpr int sfx = Model::SFX;
constexpr int stream = Model::STREAM;

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

QByteArray Bank(int sounds, const QByteArray &keys = {})
{
    return "[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=" + QByteArray::number(sounds) + "\n" + keys;
}

const QByteArray twoBanks =
    "[Archive]\nbasename=GENRL\nlookup_index=7\nnum_banks=2\n[Bank_001]\nnum_sounds=3\n"
    "sound_001.filename=Bank_001/sound_001.wav\nsound_001.sample_rate=22050\nsound_001.unknown_16=-100\n"
    "sound_002.filename=Bank_001/sound_002.wav\nsound_003.filename=Bank_001/sound_003.wav\n"
    "[Bank_002]\nnum_sounds=2\nsound_001.filename=Bank_002/sound_001.wav\nsound_002.filename=Bank_002/sound_002.wav\n";

const QByteArray fourTracks =
    "[Stream]\nnum_tracks=4\nbasename=AA\nlookup_index=12\n"
    "[Track_001]\nbeat_total=5\nfilename=Track_001.ogg\nlength_extra=6\nlength_index=1\n"
    "[Track_002]\nfilename=Track_002.ogg\n[Track_003]\nfilename=Track_003.ogg\n[Track_004]\nfilename=Track_004.ogg\n";
}

class TestIniMetafileModel : public QObject
{
    Q_OBJECT
    ScratchFiles files;

private slots:
    void ListsEntries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const auto row = [](int type, const char *name, const QByteArray &content, const QString &expected) {
            QTest::newRow(name) << type << content << expected;
        };
        row(sfx, "two banks", twoBanks,
            "Bank_001[Bank_001/sound_001.wav,Bank_001/sound_002.wav,Bank_001/sound_003.wav] "
            "Bank_002[Bank_002/sound_001.wav,Bank_002/sound_002.wav]");
        row(sfx, "gap in the bank numbers", "[Archive]\nnum_banks=3\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n"
            "[Bank_003]\nnum_sounds=1\nsound_001.filename=c\n", "Bank_001[a] Bank_003[c]");
        row(sfx, "banks in number order, not file order", "[Archive]\nnum_banks=2\n[Bank_002]\nnum_sounds=1\n"
            "sound_001.filename=b\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n", "Bank_001[a] Bank_002[b]");
        row(sfx, "sounds in number order, not file order",
            "[Archive]\nnum_banks=1\n[Bank_001]\nsound_002.filename=b\nnum_sounds=2\nsound_001.filename=a\n", "Bank_001[a,b]");
        row(sfx, "sounds beyond num_sounds ignored", Bank(1, "sound_001.filename=a\nsound_002.filename=b\n"), "Bank_001[a]");
        row(sfx, "num_sounds=0 and missing num_sounds give no row", "[Archive]\nnum_banks=3\n[Bank_001]\nnum_sounds=0\n"
            "sound_001.filename=a\n[Bank_002]\nsound_001.filename=b\n[Bank_003]\nnum_sounds=1\nsound_001.filename=c\n",
            "Bank_003[c]");
        row(sfx, "negative num_sounds gives no row", Bank(-2, "sound_001.filename=a\n"), "");
        row(sfx, "missing sound keys give empty rows", Bank(2, "sound_001.filename=a\n"), "Bank_001[a,_]");
        row(sfx, "num_banks not a number", "[Archive]\nnum_banks=abc\n[Bank_001]\nnum_sounds=1\n", "");
        row(sfx, "num_banks beyond 32 bits", "[Archive]\nnum_banks=4294967297\n[Bank_001]\nnum_sounds=1\n", "");
        row(sfx, "num_banks with leading zeros and sign", "[Archive]\nnum_banks=+002\n[Bank_002]\nnum_sounds=1\n", "Bank_002[_]");
        row(sfx, "unpadded and overpadded bank names are other sections",
            "[Archive]\nnum_banks=1\n[Bank_1]\nnum_sounds=1\n[Bank_0001]\nnum_sounds=1\n", "");
        row(sfx, "unpadded and overpadded sound keys are other keys",
            Bank(1, "sound_1.filename=a\nsound_0001.filename=b\n"), "Bank_001[_]");

        row(stream, "four tracks", fourTracks, "Track_001.ogg Track_002.ogg Track_003.ogg Track_004.ogg");
        row(stream, "a missing track ends the list", "[Stream]\nnum_tracks=5\n[Track_001]\nfilename=a\n[Track_002]\n"
            "filename=b\n[Track_004]\nfilename=d\n", "a b");
        row(stream, "track without keys at the end", "[Stream]\nnum_tracks=2\n[Track_001]\nfilename=a\n[Track_002]\n", "a _");
        row(stream, "keyless track header before the next one ends the list",
            "[Stream]\nnum_tracks=2\n[Track_001]\n[Track_002]\nfilename=b\n", "");
        row(stream, "unpadded track name", "[Stream]\nnum_tracks=1\n[Track_1]\nfilename=a\n", "");

        // Readable sections after a megabyte of random bytes are still found, names decoded as UTF-8.
        QRandomGenerator random(7);
        QByteArray garbage(1 << 20, Qt::Uninitialized);
        random.fillRange(reinterpret_cast<quint32 *>(garbage.data()), garbage.size() / 4);
        row(sfx, "SFX after binary garbage", garbage + "\n" + Bank(1, "sound_001.filename=\xc3\xa4\xff.wav\n"),
            QString::fromUtf8("Bank_001[\xc3\xa4\xef\xbf\xbd.wav]"));
        row(stream, "stream after binary garbage", garbage + "\n[Stream]\nnum_tracks=1\n[Track_001]\nfilename=\xfe.ogg\n",
            QString::fromUtf8("\xef\xbf\xbd.ogg"));

        // Absurd counts list what the file backs, quickly.
        row(sfx, "absurd num_banks", "[Archive]\nnum_banks=2147483647\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n"
            "[Bank_500]\nnum_sounds=1\nsound_001.filename=b\n[Bank_2147483647]\nnum_sounds=1\n"
            "[Bank_2147483648]\nnum_sounds=1\n", "Bank_001[a] Bank_500[b] Bank_2147483647[_]");
        row(sfx, "absurd num_sounds runs to the highest keyed sound",
            Bank(2147483647, "sound_001.filename=a\nsound_004.sample_rate=22050\n"), "Bank_001[a,_,_,_]");
        row(sfx, "absurd num_sounds without sound keys", Bank(2147483647, "other=1\n"), "Bank_001[]");
        row(stream, "absurd num_tracks",
            "[Stream]\nnum_tracks=2147483647\n[Track_001]\nfilename=a\n[Track_002]\nfilename=b\n", "a b");

        // A null content stands for no file at all.
        row(sfx, "SFX file missing", QByteArray(), "thrown: Failed to load ini-file.");
        row(stream, "stream file missing", QByteArray(), "thrown: Failed to load ini-file.");
        row(sfx, "SFX with an indented Archive header", "  [Archive]\nnum_banks=1\n", "thrown: Invalid ini-fileformat.");
        row(sfx, "SFX empty file", "", "thrown: Invalid ini-fileformat.");
        row(stream, "stream without Stream is no error", "[Archive]\n", "");
        row(sfx, "SFX with an empty last Archive section", "[Bank_001]\nnum_sounds=1\n[Archive]", "");
    }
    void ListsEntries()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, content);
        QFETCH(QString, expected);
        const QString path = content.isNull() ? files.Path(QStringLiteral("missing.ini")) : files.Write(content);
        QElapsedTimer timer;
        timer.start();
        QString described;
        try {
            described = Describe(Model(Model::ArchiveType(type), path, {}));
        } catch (const QString &message) {
            described = QStringLiteral("thrown: ") + message;
        }
        QCOMPARE(described, expected);
        // Only a guard against hanging; how fast loading is belongs to the benchmark.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
    }

    void ListsEveryBankOfAnAbsurdCountAndPadsToThreeDigits()
    {
        QByteArray banks = "[Archive]\nnum_banks=2147483647\n";
        for (int bank = 1; bank <= 2000; ++bank)
            banks += QStringLiteral("[Bank_%1]\nnum_sounds=2147483647\n").arg(bank, 3, 10, QLatin1Char('0')).toLatin1();
        const Model model(Model::SFX, files.Write(banks), {});
        QCOMPARE(model.rowCount(), 2000);
        QVERIFY(Describe(model).contains(QLatin1String("Bank_999[] Bank_1000[] Bank_1001[]")));

        QByteArray tracks = "[Stream]\nnum_tracks=1001\n";
        for (int track = 1; track <= 1000; ++track)
            tracks += QStringLiteral("[Track_%1]\nfilename=%2.ogg\n").arg(track, 3, 10, QLatin1Char('0')).arg(track).toLatin1();
        const Model stream(Model::STREAM, files.Write(tracks), {});
        QCOMPARE(stream.rowCount(), 1000);
        QCOMPARE(stream.index(999, 0).data().toString(), QStringLiteral("1000.ogg"));

        const Model sounds(Model::SFX, files.Write("[Archive]\nnum_banks=1000\n[Bank_1000]\nnum_sounds=1000\nsound_1000.filename=last.wav\n"
                                             "sound_0999.filename=wrong.wav\nsound_999.filename=999.wav\n"), {});
        const QModelIndex bank = sounds.index(0, 0);
        QCOMPARE(bank.data().toString(), QStringLiteral("Bank_1000"));
        QCOMPARE(sounds.rowCount(bank), 1000);
        QCOMPARE(sounds.index(998, 0, bank).data().toString(), QStringLiteral("999.wav"));
        QCOMPARE(sounds.index(999, 0, bank).data().toString(), QStringLiteral("last.wav"));
    }

    void BelievesSoundCountsUpToOneHundredThousand_data()
    {
        // A believed count lists every number, keys or not; a larger one lists what the keys back:
        // everything up to the highest keyed number, and beyond 100000 only sounds with keys.
        QTest::addColumn<int>("soundCount");
        QTest::addColumn<QByteArray>("keys");
        QTest::addColumn<int>("expectedRows");
        QTest::addColumn<int>("lastKeyedRow");  // 0: only the first sound has keys
        QTest::newRow("100000") << 100000 << QByteArray("sound_001.filename=a\n") << 100000 << 0;
        QTest::newRow("100001") << 100001 << QByteArray("sound_001.filename=a\n") << 1 << 0;
        QTest::newRow("largest") << 2147483647
            << QByteArray("sound_001.filename=a\nsound_150000.filename=z\nsound_120000.unknown_16=1\n") << 100002 << 100001;
    }
    void BelievesSoundCountsUpToOneHundredThousand()
    {
        QFETCH(int, soundCount);
        QFETCH(QByteArray, keys);
        QFETCH(int, expectedRows);
        QFETCH(int, lastKeyedRow);
        const Model model(Model::SFX, files.Write(Bank(soundCount, keys)), {});
        const QModelIndex bank = model.index(0, 0);
        QCOMPARE(model.rowCount(bank), expectedRows);
        QCOMPARE(model.index(0, 0, bank).data().toString(), QStringLiteral("a"));
        if (lastKeyedRow > 0) {
            QCOMPARE(ItemOf(model.index(lastKeyedRow - 1, 0, bank))->GetUnknown16(), 1);
            QCOMPARE(model.index(lastKeyedRow, 0, bank).data().toString(), QStringLiteral("z"));
        }
    }

    void NamesTheArchiveFolder_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expectedName");
        QTest::addColumn<QString>("expectedBasename");
        QTest::addColumn<int>("expectedLookupIndex");
        QTest::newRow("SFX basename trimmed") << sfx << QByteArray("[Archive]\nbasename =  GENRL  \nlookup_index=3\n")
                                              << "GENRL" << "" << 3;
        QTest::newRow("station name of the stream") << stream << fourTracks << "R" << "AA" << 12;
        QTest::newRow("stream without a station name") << stream << QByteArray("[Stream]\nbasename=BB\n") << "BB" << "BB" << 0;
        QTest::newRow("stream without Stream section") << stream << QByteArray("basename=AA\n") << "" << "" << 0;
        QTest::newRow("lookup_index not a number") << sfx << QByteArray("[Archive]\nlookup_index=1.5\n") << "" << "" << 0;
    }
    void NamesTheArchiveFolder()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, content);
        QFETCH(QString, expectedName);
        QFETCH(QString, expectedBasename);
        QFETCH(int, expectedLookupIndex);
        QMap<QString, QString> stations{{"AA", "R"}};
        const Model model(Model::ArchiveType(type), files.Write(content), stations);
        stations.clear();  // read during construction only
        QCOMPARE(model.GetType(), Model::ArchiveType(type));
        QCOMPARE(model.GetName(), expectedName);
        QCOMPARE(model.GetBasename(), expectedBasename);
        QCOMPARE(model.GetLookupIndex(), expectedLookupIndex);
    }

    void ReadsTheLoopStart_data()
    {
        QTest::addColumn<QByteArray>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("no key") << QByteArray() << -1;
        QTest::newRow("no loop") << QByteArray("sound_001.loop_offset=-1\n") << -1;
        QTest::newRow("from the first frame") << QByteArray("sound_001.loop_offset=0\n") << 0;
        QTest::newRow("inside") << QByteArray("sound_001.loop_offset=11025\n") << 11025;
        QTest::newRow("not a number") << QByteArray("sound_001.loop_offset=later\n") << -1;
    }
    void ReadsTheLoopStart()
    {
        QFETCH(QByteArray, key);
        QFETCH(int, expected);
        const Model model(Model::SFX, files.Write(Bank(1, "sound_001.filename=a\n" + key)), {});
        QCOMPARE(ItemOf(model.index(0, 0, model.index(0, 0)))->GetLoopOffset(), expected);
    }

    void KeepsTheNumbersOfEachEntry()
    {
        const Model sounds(Model::SFX, files.Write(twoBanks), {});
        const IniMetafileItem *sound = ItemOf(sounds.index(0, 0, sounds.index(0, 0)));
        QCOMPARE(QList<int>({sound->GetSampleRate(), sound->GetUnknown16(), sound->GetBeatTotal()}), QList<int>({22050, -100, 0}));
        const Model tracks(Model::STREAM, files.Write(fourTracks), {});
        const IniMetafileItem *track = ItemOf(tracks.index(0, 0));
        QCOMPARE(QList<int>({track->GetBeatTotal(), track->GetLengthExtra(), track->GetLengthIndex()}), QList<int>({5, 6, 1}));
    }

    void PassesTheModelTester_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("SFX") << sfx << twoBanks;
        QTest::newRow("stream") << stream << fourTracks;
        QTest::newRow("empty stream") << stream << QByteArray("[Track_001]\nfilename=a\n");
    }
    void PassesTheModelTester()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, content);
        Model model(Model::ArchiveType(type), files.Write(content), {});
        // The entry view's root answers "enabled", which the tester does not expect of a root; any
        // other complaint fails the test.
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^FAIL! flags == Qt::ItemIsDropEnabled \\|\\| flags == 0 ")));
        QTest::failOnWarning(QRegularExpression(QStringLiteral(".")));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        // The tester stops its basic checks at that complaint; the lookups it skips are made here.
        QVERIFY(!model.parent(QModelIndex()).isValid());
        QVERIFY(!model.data(QModelIndex(), Qt::DisplayRole).isValid());
        const QModelIndex first = model.index(0, 0);
        QVERIFY(!model.index(-1, 0).isValid());
        QVERIFY(!model.index(model.rowCount(), 0).isValid());
        QVERIFY(!model.index(model.rowCount(first), 0, first).isValid());
        const QModelIndex leaf = model.rowCount(first) > 0 ? model.index(0, 0, first) : first;
        QVERIFY(!leaf.isValid() || !model.index(0, 0, leaf).isValid());
        if (model.rowCount(first) > 1)
            QCOMPARE(ItemOf(model.index(1, 0, first))->GetParent(), ItemOf(first));
        QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("File"));
    }
};

QTEST_MAIN(TestIniMetafileModel)
#include "tst_IniMetafileModel.moc"
