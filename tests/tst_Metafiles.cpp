// Reading the files that describe what the program lists: the toolkit's metafiles (by the program's
// reader and the tools' alike, and as the entry model shows them), "MetaData.xml",
// "metadata-full.ini" and "configuration.ini". The largest real files load whole; files built to
// hurt are read in bounded time and memory with what they really hold. (How load times grow is
// bench_Limits' subject.)
#include <QAbstractItemModelTester>
#include <QDomDocument>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtTest>

#include <sys/stat.h>

#include "LargeInputs.h"
#include "Sanitized.h"
#include "ScratchFiles.h"
#include "WindowFixture.h"
#include "format/Metafile.h"
#include "metafile/IniFile.h"
#include "metafile/IniMetafileItem.h"
#include "metafile/IniMetafileModel.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

using StringMap = QMap<QString, QString>;

namespace
{
using Model = IniMetafileModel;
constexpr int sfx = Model::SFX;
constexpr int stream = Model::STREAM;

QByteArray Random(int bytes, quint32 seed)
{
    QByteArray garbage(bytes, Qt::Uninitialized);
    QRandomGenerator(seed).fillRange(reinterpret_cast<quint32 *>(garbage.data()), bytes / 4);
    return garbage;
}

// The rows under parent as a user sees them, "_" for an empty name, children in brackets, siblings
// separated by blanks: "Bank_001[a.wav _] Bank_003[c.wav]". A row of the archive tree adds
// (archive path|bank file path|type) where its line has more than a name.
QString Dump(const QAbstractItemModel &model, const QModelIndex &parent = QModelIndex())
{
    QStringList parts;
    for (int row = 0; row < model.rowCount(parent); ++row) {
        const QModelIndex child = model.index(row, 0, parent);
        QString part = child.data().toString();
        part = part.isEmpty() ? QStringLiteral("_") : part;
        if (qobject_cast<const TreeModel *>(&model)) {
            const auto *item = static_cast<const TreeItem *>(child.internalPointer());
            const QString type = item->IsSfx() ? QStringLiteral("sfx") : item->IsStream() ? QStringLiteral("stream") : QString();
            if (!item->GetArchivePath().isEmpty() || !item->GetBankFilePath().isEmpty() || !type.isEmpty())
                part += '(' + QStringList{item->GetArchivePath(), item->GetBankFilePath(), type}.join('|') + ')';
        }
        if (model.rowCount(child) > 0)
            part += '[' + Dump(model, child) + ']';
        parts << part;
    }
    return parts.join(' ');
}

QByteArray Bank(int sounds, const QByteArray &keys = {})
{
    return "[Archive]\nnum_banks=1\n[Bank_001]\nnum_sounds=" + QByteArray::number(sounds) + "\n" + keys;
}

// Banks 1 to banks, each claiming a number of sounds and holding the same keys.
QByteArray Banks(int banks, int sounds, const QByteArray &keysOfEachBank = {})
{
    QByteArray text = "[Archive]\nnum_banks=" + QByteArray::number(banks) + "\n";
    for (int bank = 1; bank <= banks; ++bank)
        text += "[Bank_" + QByteArray::number(bank).rightJustified(3, '0') + "]\nnum_sounds=" + QByteArray::number(sounds)
              + "\n" + keysOfEachBank;
    return text;
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

const QByteArray descriptions =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Anything>\n"
    "  <InfoData Id=\"7\" Text=\"a;;b\"/>\n  <InfoData Id=\"8\" Text=\"first\"/>\n  <InfoData Id=\"8\" Text=\"second\"/>\n"
    "  <InfoData Text=\"no id\"/>\n  <InfoData Id=\"\" Text=\"empty id\"/>\n  <InfoData Id=\"9\"/>\n"
    "  <Deeper><Still><InfoData Id=\"10\" Text=\"nested &amp; escaped\"/></Still></Deeper>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\sound_001.wav\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\twice.wav\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\twice.wav\" InfoDataItemId=\"8\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\ghost.wav\" InfoDataItemId=\"404\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\no-id.wav\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\Deep.wav\" InfoDataItemId=\"10\"/>\n</Anything>\n";
}

class TestMetafiles : public QObject
{
    Q_OBJECT
    ScratchFiles files;

private slots:
    void ReadsValuesByTheToolkitsSyntax_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char *name, const QByteArray &content, const char *section, const char *key,
                            const QString &expected) { QTest::newRow(name) << content << section << key << expected; };
        row("key and value trimmed", "[Archive]\n  basename =  abc \t \n", "Archive", "basename", "abc");
        row("blanks inside a value kept", "[A]\nk = a  b \n", "A", "k", "a  b");
        row("split at the first =", "[A]\nfilename=a=b.wav\n", "A", "filename", "a=b.wav");
        row("later key wins", "[A]\nk=1\nk=2\n", "A", "k", "2");
        row("repeated section merges", "[A]\nk=1\nj=1\n[B]\nx=1\n[A]\nk=2\n", "A", "j", "1");
        row("repeated section's later key wins", "[A]\nk=1\nj=1\n[B]\nx=1\n[A]\nk=2\n", "A", "k", "2");
        row("blank-padded header is another section", "[ A ]\nk=1\n", "A", "k", "");
        row("indented or blank-ended header is no header", "[A]\nk=1\n  [B]\n[C] \nj=2\n", "A", "j", "2");
        row("keys before the first header", "k=1\n[A]\nj=2\n", "A", "k", "1");
        row("no unnamed section beside headers", "k=1\n[A]\n", "", "k", "");
        row("semicolon line with = is a key", "[A]\n;k=1\n", "A", ";k", "1");
        row("empty key ignored", "[A]\n = 5\nk=1\n", "A", "", "");
        row("CRLF line ends", "[A]\r\nk=1\r\n", "A", "k", "1");
        row("last line without line end", "[A]\nk=1", "A", "k", "1");
        row("keyless header hands keys on", "[A]\n[B]\nk=1\n", "B", "k", "1");
        row("lone brackets are no headers", "[A]\n[\nk=1\n]\n", "A", "k", "1");
        row("stray carriage return dropped", "[A]\nk=a\rb\n", "A", "k", "ab");
        row("carriage returns around a header", "[A]\r\r\nk=1\r\r\n", "A", "k", "1");
        row("Unicode blanks trimmed", "[A]\nk\xe3\x80\x80=\xc2\xa0x.wav\xc2\xa0\xe2\x80\x89\n", "A", "k", "x.wav");
        row("no-width space is no blank", "[A]\nk=x.wav\xe2\x80\x8b\n", "A", "k", QStringLiteral("x.wav\u200b"));
        row("broken, overlong and undecodable sequences", "[A]\nk=\xe2\x82 \xc0\xaf\xed\xa0\x80\xff\xf0\x9f\x98\x80\n", "A",
            "k", QStringLiteral("\uFFFD\uFFFD \uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\uFFFD\U0001F600"));
        row("byte order mark inside a value kept", "[A]\nk=a\xef\xbb\xbf\n", "A", "k", QStringLiteral("a\uFEFF"));
        const QString text = QStringLiteral("[Archive]\r\nbasename=caf\u00e9\r\n");
        const auto encoded = [&text](QStringConverter::Encoding encoding) {
            return QByteArray(QStringEncoder(encoding, QStringConverter::Flag::WriteBom)(text));
        };
        row("UTF-8 byte order mark", encoded(QStringConverter::Utf8), "Archive", "basename", QStringLiteral("caf\u00e9"));
        row("UTF-16 little endian", encoded(QStringConverter::Utf16LE), "Archive", "basename", QStringLiteral("caf\u00e9"));
        row("UTF-32 big endian", encoded(QStringConverter::Utf32BE), "Archive", "basename", QStringLiteral("caf\u00e9"));
        // An unfinished character right before a line end, wherever a reader in pieces would pause,
        // must not take the line end with it.
        for (const int offset : {100, 16384, 65537})
            for (const QByteArray &unfinished : {QByteArray("\xe4"), QByteArray("\xf0\x9f")})
                QTest::addRow("%s before a line end at %d", unfinished.toHex().constData(), offset)
                    << "[A]\nlong=" + QByteArray(offset - 9 - unfinished.size(), 'x') + unfinished + "\n[B]\nk=1\n"
                    << "B" << "k" << "1";
        // Readable lines after garbage must still be found: the garbage may not swallow them.
        row("after binary garbage", Random(4 << 20, 20240601) + "\n[Archive]\nbasename=after\n", "Archive", "basename",
            "after");
        row("one enormous line", "[A]\nk= " + QByteArray(longLine, 'a') + " \n", "A", "k", QString(longLine, QLatin1Char('a')));
    }
    // The program and the tools must read the same metafile alike: a value read otherwise by one
    // of them plays one file while the other packs another.
    void ReadsValuesByTheToolkitsSyntax()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        const QString path = files.Write(content);
        IniFile ini;
        QVERIFY(ini.Load(path));
        QCOMPARE(ini.GetValue(section, key), expected);
        const auto metafile = kivo::Metafile::Load(path.toStdString());
        const std::string *value = metafile.Find(section.toStdString(), key.toStdString());
        // As bytes: they name the files the tools open.
        QCOMPARE(value ? QByteArray::fromStdString(*value) : QByteArray(), expected.toUtf8());
    }

    void ListsEntries_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expected");
        const auto row = [](int type, const char *name, const QByteArray &content, const QString &expected) {
            QTest::newRow(name) << type << content << expected;
        };
        row(sfx, "two banks", twoBanks,
            "Bank_001[Bank_001/sound_001.wav Bank_001/sound_002.wav Bank_001/sound_003.wav] "
            "Bank_002[Bank_002/sound_001.wav Bank_002/sound_002.wav]");
        row(sfx, "gap in the bank numbers", "[Archive]\nnum_banks=3\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n"
            "[Bank_003]\nnum_sounds=1\nsound_001.filename=c\n", "Bank_001[a] Bank_003[c]");
        row(sfx, "banks in number order, not file order", "[Archive]\nnum_banks=2\n[Bank_002]\nnum_sounds=1\n"
            "sound_001.filename=b\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n", "Bank_001[a] Bank_002[b]");
        row(sfx, "sounds in number order, not file order",
            "[Archive]\nnum_banks=1\n[Bank_001]\nsound_002.filename=b\nnum_sounds=2\nsound_001.filename=a\n", "Bank_001[a b]");
        row(sfx, "sounds beyond num_sounds ignored", Bank(1, "sound_001.filename=a\nsound_002.filename=b\n"), "Bank_001[a]");
        row(sfx, "zero, negative and missing num_sounds give no row", "[Archive]\nnum_banks=4\n[Bank_001]\nnum_sounds=0\n"
            "sound_001.filename=a\n[Bank_002]\nnum_sounds=-2\nsound_001.filename=b\n[Bank_003]\nsound_001.filename=c\n"
            "[Bank_004]\nnum_sounds=1\nsound_001.filename=d\n", "Bank_004[d]");
        row(sfx, "missing sound keys give empty rows", Bank(2, "sound_001.filename=a\n"), "Bank_001[a _]");
        row(sfx, "num_banks beyond 32 bits", "[Archive]\nnum_banks=4294967297\n[Bank_001]\nnum_sounds=1\n", "");
        row(sfx, "num_banks with leading zeros and sign", "[Archive]\nnum_banks=+002\n[Bank_002]\nnum_sounds=1\n", "Bank_002[_]");
        row(sfx, "unpadded and overpadded bank names are other sections",
            "[Archive]\nnum_banks=1\n[Bank_1]\nnum_sounds=1\n[Bank_0001]\nnum_sounds=1\n", "");
        row(sfx, "unpadded and overpadded sound keys are other keys",
            Bank(1, "sound_1.filename=a\nsound_0001.filename=b\n"), "Bank_001[_]");

        row(stream, "four tracks", fourTracks, "Track_001.ogg Track_002.ogg Track_003.ogg Track_004.ogg");
        row(stream, "a missing track ends the list", "[Stream]\nnum_tracks=5\n[Track_001]\nfilename=a\n[Track_002]\n"
            "filename=b\n[Track_004]\nfilename=d\n", "a b");
        row(stream, "unpadded track name", "[Stream]\nnum_tracks=1\n[Track_1]\nfilename=a\n", "");
        row(stream, "a keyless track section ends the list", "[Stream]\nnum_tracks=2\n[Track_001]\n[Track_002]\nfilename=b\n", "");
        QByteArray tracks = "[Stream]\nnum_tracks=1001\n";
        QStringList names;
        for (int track = 1; track <= 1000; ++track) {
            tracks += "[Track_" + QByteArray::number(track).rightJustified(3, '0') + "]\nfilename=" + QByteArray::number(track) + "\n";
            names << QString::number(track);
        }
        row(stream, "track numbers padded to three digits and beyond", tracks, names.join(' '));

        // Absurd counts list what the file backs, quickly.
        row(sfx, "absurd num_banks", "[Archive]\nnum_banks=2147483647\n[Bank_001]\nnum_sounds=1\nsound_001.filename=a\n"
            "[Bank_500]\nnum_sounds=1\nsound_001.filename=b\n[Bank_2147483647]\nnum_sounds=1\n"
            "[Bank_2147483648]\nnum_sounds=1\n", "Bank_001[a] Bank_500[b] Bank_2147483647[_]");
        row(sfx, "absurd num_sounds runs to the highest keyed sound",
            Bank(2147483647, "sound_001.filename=a\nsound_004.sample_rate=22050\n"), "Bank_001[a _ _ _]");

        // A null content stands for no file at all.
        row(sfx, "SFX file missing", QByteArray(), "thrown: Failed to load ini-file.");
        row(stream, "stream file missing", QByteArray(), "thrown: Failed to load ini-file.");
        row(sfx, "SFX without an Archive header", "  [Archive]\nnum_banks=1\n", "thrown: Invalid ini-fileformat.");
        // Lines without a key do not keep a section: its header hands on to the next.
        row(sfx, "SFX with an Archive section of ignored lines", "[Archive]\n = 1\n;note\n[Bank_001]\nnum_sounds=1\n",
            "thrown: Invalid ini-fileformat.");
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
            described = Dump(Model(Model::ArchiveType(type), path, {}));
        } catch (const QString &message) {
            described = QStringLiteral("thrown: ") + message;
        }
        QCOMPARE(described, expected);
        // Only a guard against hanging; how fast loading is belongs to the benchmark.
        QVERIFY2(timer.elapsed() < 5000, qPrintable(QStringLiteral("took %1 ms").arg(timer.elapsed())));
    }

    void ListsTheSoundsTheFileBacks_data()
    {
        // A believed count lists every number, keys or not; a larger one lists what the keys back:
        // everything up to the highest keyed number, and beyond 100000 only sounds with keys.
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("soundRows");
        QTest::addColumn<QString>("lastRowName");  // of the last bank
        // The largest real packages come nowhere near it.
        QByteArray sounds;
        for (int sound = 1; sound <= 1000; ++sound) {
            const QByteArray key = "sound_" + QByteArray::number(sound).rightJustified(3, '0');
            sounds += key + ".filename=" + key + ".wav\r\n" + key + ".sample_rate=22050\r\n" + key + ".unknown_16=1\r\n";
        }
        QTest::newRow("a million sounds") << Banks(1000, 1000, sounds) << 1000000 << "sound_1000.wav";
        QTest::newRow("100000 believed") << Bank(100000, "sound_001.filename=a\n") << 100000 << QString();
        QTest::newRow("100001 not believed") << Bank(100001, "sound_001.filename=a\n") << 1 << "a";
        QTest::newRow("keyed sounds beyond 100000 in number order")
            << Bank(2147483647, "sound_001.filename=a\nsound_150000.filename=z\nsound_120000.unknown_16=1\n") << 100002 << "z";
        // 28 KB that asked for a hundred million rows (ten gigabytes and more than a minute).
        QTest::newRow("999 banks claiming 99,999 sounds") << Banks(999, 99999) << 99999 << QString();
        // The first bank takes the empty rows; every later one lists its one sound with a key.
        QTest::newRow("999 banks keying their last sound")
            << Banks(999, 99999, "sound_99999.filename=last.wav\n") << 99999 + 998 << QStringLiteral("last.wav");
    }
    void ListsTheSoundsTheFileBacks()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, soundRows);
        QFETCH(QString, lastRowName);
        const Model model(Model::SFX, files.Write(content), {});
        int rows = 0;
        for (int bank = 0; bank < model.rowCount(); ++bank)
            rows += model.rowCount(model.index(bank, 0));
        QCOMPARE(rows, soundRows);
        const QModelIndex lastBank = model.index(model.rowCount() - 1, 0);
        QCOMPARE(model.index(model.rowCount(lastBank) - 1, 0, lastBank).data().toString(), lastRowName);
    }

    void ReadsNamesAndNumbers_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("names");        // name|basename|lookup index
        // The first sound's sample rate, unknown_16 and loop start, or the first track's beat total,
        // length_extra and length_index.
        QTest::addColumn<QList<int>>("numbers");
        QTest::newRow("SFX") << sfx << twoBanks << "GENRL||7" << QList<int>{22050, -100, -1};
        QTest::newRow("loop from the first frame") << sfx << Bank(1, "sound_001.loop_offset=0\n") << "||0" << QList<int>{0, 0, 0};
        // A key that is no number must not mark a loop from the first frame either.
        QTest::newRow("loop start not a number") << sfx << Bank(1, "sound_001.loop_offset=later\n") << "||0"
                                                 << QList<int>{0, 0, -1};
        QTest::newRow("stream with a station name") << stream << fourTracks << "R|AA|12" << QList<int>{5, 6, 1};
        QTest::newRow("stream without a station name") << stream << QByteArray("[Stream]\nbasename=BB\n") << "BB|BB|0"
                                                       << QList<int>();
    }
    void ReadsNamesAndNumbers()
    {
        QFETCH(int, type);
        QFETCH(QByteArray, content);
        QFETCH(QString, names);
        QFETCH(QList<int>, numbers);
        StringMap stations{{"AA", "R"}};
        const Model model(Model::ArchiveType(type), files.Write(content), stations);
        stations.clear();  // read during construction only
        QCOMPARE(QStringList({model.GetName(), model.GetBasename(), QString::number(model.GetLookupIndex())}).join('|'), names);
        QList<int> read;
        if (const IniMetafileItem *sound = Model::ItemOf(model.index(0, 0, model.index(0, 0))))
            read = {sound->GetSampleRate(), sound->GetUnknown16(), sound->GetLoopOffset()};
        else if (const IniMetafileItem *track = Model::ItemOf(model.index(0, 0)); track && type == stream)
            read = {track->GetBeatTotal(), track->GetLengthExtra(), track->GetLengthIndex()};
        QCOMPARE(read, numbers);
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
        const QModelIndex first = model.index(0, 0);
        QVERIFY(!model.index(-1, 0).isValid());
        QVERIFY(!model.index(model.rowCount(), 0).isValid());
        QVERIFY(!model.index(model.rowCount(first), 0, first).isValid());
        const QModelIndex leaf = model.rowCount(first) > 0 ? model.index(0, 0, first) : first;
        QVERIFY(!leaf.isValid() || !model.index(0, 0, leaf).isValid());
        if (model.rowCount(first) > 1)
            QCOMPARE(Model::ItemOf(model.index(1, 0, first))->GetParent(), Model::ItemOf(first));
        QCOMPARE(model.headerData(0, Qt::Horizontal, Qt::DisplayRole).toString(), QStringLiteral("File"));
    }

    void LooksUpDescriptionsByVirtualPath_data()
    {
        QTest::addColumn<QString>("virtualPath");
        QTest::addColumn<QString>("text");
        QTest::newRow("path to id to text") << "Archiv\\SFX\\FEET\\sound_001.wav" << "a;;b";
        QTest::newRow("later path and later id win") << "Archiv\\SFX\\FEET\\twice.wav" << "second";
        QTest::newRow("nested and escaped") << "Archiv\\Deep.wav" << "nested & escaped";
        QTest::newRow("slashes are not backslashes") << "Archiv/SFX/FEET/sound_001.wav" << "";
        QTest::newRow("case counts") << "Archiv\\SFX\\FEET\\SOUND_001.WAV" << "";
        QTest::newRow("id without InfoData") << "Archiv\\ghost.wav" << "";
        QTest::newRow("path without id") << "Archiv\\no-id.wav" << "";
    }
    void LooksUpDescriptionsByVirtualPath()
    {
        QFETCH(QString, virtualPath);
        QFETCH(QString, text);
        ScriptedDialogs dialogs;
        QCOMPARE(ReadMetaData(files.Write(descriptions)).GetText(virtualPath), text);
        QVERIFY(dialogs.shown.isEmpty());
    }

    void ReportsAFileThatCannotBeOpenedOrIsAPipe()
    {
        // A folder, a device and a file far larger than any real one are refused by the start-up tests.
        const QString pipe = files.Path(QStringLiteral("pipe"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);  // nobody writes: reading would block
        for (const QString &path : {files.Path(QStringLiteral("absent")), pipe}) {
            ScriptedDialogs dialogs;
            const XmlMetaData metaData = ReadMetaData(path);
            QCOMPARE(dialogs.Log(), QStringList{QStringLiteral("Error: ") + path + QStringLiteral(" could not be opened.")});
            QCOMPARE(dialogs.shown.first().kind, UserDialogs::Kind::Critical);
            QCOMPARE(dialogs.shown.first().pParent, nullptr);
            QVERIFY(metaData.textsById.isEmpty() && metaData.idsByPath.isEmpty());
            QVERIFY(TreeModel::ReadStationNames(path).isEmpty());
        }
    }

    void RefusesMalformedDescriptionsInQtsWords_data()
    {
        QTest::addColumn<QByteArray>("document");
        const QByteArray body = "<InfoData Id=\"1\" Text=\"t\"/><MetaData VirtualPath=\"p\" InfoDataItemId=\"1\"/>";
        // Entries read before the fault must not survive it.
        QTest::newRow("unclosed element after good entries") << "<Root>\n  " + body + "\n";
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("unknown entity") << QByteArray("<R>\n<InfoData Id=\"1\" Text=\"&nbsp;\"/></R>");
        QTest::newRow("attribute without quotes") << QByteArray("<R>\n\n<MetaData VirtualPath=p/>\n</R>");
        // Each level holds ten of the one below: a billion copies of "ha" if all were expanded.
        QByteArray declarations = "<!ENTITY e0 \"ha\">";
        for (int level = 1; level <= 9; ++level)
            declarations += "<!ENTITY e" + QByteArray::number(level) + " \""
                          + QByteArray("&e" + QByteArray::number(level - 1) + ";").repeated(10) + "\">";
        QTest::newRow("nested entities") << "<?xml version=\"1.0\"?>\n<!DOCTYPE Root [" + declarations
                                                + "]>\n<Root><InfoData Id=\"1\" Text=\"&e9;\"/>" + body + "</Root>\n";
    }
    void RefusesMalformedDescriptionsInQtsWords()
    {
        QFETCH(QByteArray, document);
        ScriptedDialogs dialogs;
        const XmlMetaData read = ReadMetaData(files.Write(document));
        QVERIFY(read.textsById.isEmpty() && read.idsByPath.isEmpty());
        QCOMPARE(dialogs.shown.size(), 1);
        const UserDialogs::Request box = dialogs.shown.first();
        QCOMPARE(box.kind, UserDialogs::Kind::Critical);
        QCOMPARE(box.pParent, nullptr);
        QCOMPARE(box.title, QStringLiteral("Error in Xml-File"));
        // Worded, placed and numbered as Qt's document parser words the same fault.
        QDomDocument dom;
        QString message;
        int line = 0, column = 0;
        QVERIFY(!dom.setContent(document, &message, &line, &column));
        QCOMPARE(box.text, message + QStringLiteral("\nLine: %1, Column: %2").arg(line).arg(column));
    }

    void PairsStreamAndStationLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<StringMap>("names");
        QTest::newRow("blank after the name is part of it")
            << QByteArray("stream = AA \nstation = S1 \n") << StringMap{{"AA ", "S1 "}};
        QTest::newRow("only the second of two streams")
            << QByteArray("stream = AA\nstream = BB\nstation = S\n") << StringMap{{"BB", "S"}};
        QTest::newRow("station first is ignored")
            << QByteArray("station = X\nstream = AA\nstation = S\n") << StringMap{{"AA", "S"}};
        QTest::newRow("no blanks around = is no stream line") << QByteArray("stream=AA\nstation = S\n") << StringMap{};
        QTest::newRow("a later pair for the same stream wins")
            << QByteArray("stream = AA\nstation = 1\nstream = AA\nstation = 2\n") << StringMap{{"AA", "2"}};
        QTest::newRow("CRLF line ends") << QByteArray("stream = AA\r\nstation = S1\r\n") << StringMap{{"AA", "S1"}};
        QTest::newRow("only the prefix is cut") << QByteArray("stream = a = b\nstation = =\n") << StringMap{{"a = b", "="}};
        QTest::newRow("UTF-8 names") << QByteArray("stream = \xc3\x84\nstation = Radio \xe2\x99\xaa\n")
                                     << StringMap{{QStringLiteral("\u00c4"), QStringLiteral("Radio \u266a")}};
        // Binary bytes before a real pair must not swallow it.
        QTest::newRow("after binary bytes") << Random(1 << 20, 7919) + "\nstream = AA\nstation = S\n" << StringMap{{"AA", "S"}};
    }
    void PairsStreamAndStationLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(StringMap, names);
        QCOMPARE(TreeModel::ReadStationNames(files.Write(content)), names);
    }

    void ShowsStationNamesInTheTreeWhenMetadataIsUsed()
    {
        WindowFixture fixture;  // takes the station file beside the program away again
        QVERIFY(LargeInputs::Write(fixture.Beside("metadata-full.ini"), "stream = AA\nstation = R\nstream = SFX\nstation = Q\n"));
        const QString configuration = QStringLiteral("Streams\n  AA\taudio/streams/AA\tSTREAM\tb\n  AA \tp\tSTREAM\n");

        const TreeModel withNames(configuration, true);
        // Names are matched whole and exactly: a trailing blank in the tree keeps the stream name.
        QCOMPARE(Dump(withNames), QStringLiteral("Streams[R(audio/streams/AA|b|stream) AA (p||stream)]"));
        QCOMPARE(withNames.GetStreamNames(), (StringMap{{"AA", "R"}, {"SFX", "Q"}}));
        // Every column is looked up, the type as well: a station named like a type changes it.
        QCOMPARE(Dump(TreeModel(QStringLiteral("G\n  L\tp\tSFX\tb\n"), true)), QStringLiteral("G[L(p|b|)]"));

        const TreeModel withoutNames(configuration, false);
        QCOMPARE(Dump(withoutNames), QStringLiteral("Streams[AA(audio/streams/AA|b|stream) AA (p||stream)]"));
        QVERIFY(withoutNames.GetStreamNames().isEmpty());
    }

    void ReadsTheArchiveTreeByIndentation_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tree");
        QTest::newRow("group with a leaf") << "G\n  L\tp\tSFX\tb" << "G[L(p|b|sfx)]";
        QTest::newRow("first line indented stays on top, next at same depth nests") << "    A\n    B" << "A[B]";
        QTest::newRow("shallower line pops to level zero, its level is not recorded")
            << "X\n    Y\n  Z\n  W" << "X[Y] Z[W]";
        QTest::newRow("tab does not indent") << "A\n\tB" << "A B";
        QTest::newRow("blank line keeps nesting") << "G\n  L1\n\n      \n  L2" << "G[L1 L2]";
        QTest::newRow("return to a level between two") << "A\n  B\n      C\n    D" << "A[B[C] D]";
        // The columns of a line, tab-separated.
        QTest::newRow("lower case sfx, Stream in any case") << "L\tp\tsfx\tb\nM\tq\tStream" << "L(p|b|sfx) M(q||stream)";
        QTest::newRow("STREAMS is neither") << "L\tp\tSTREAMS\tb" << "L(p|b|)";
        QTest::newRow("two tabs make one separator") << "A\t\tB" << "A(B||)";
        QTest::newRow("trailing blanks and CR trimmed off the type") << "L\tp\tSFX \r" << "L(p||sfx)";
        QTest::newRow("leading tab after the indentation trimmed off") << "G\n  \tL\tp\tSFX\tb" << "G[L(p|b|sfx)]";
        QTest::newRow("blank column kept, shifting nothing") << "L\t \tSFX" << "L( ||sfx)";
    }
    void ReadsTheArchiveTreeByIndentation()
    {
        QFETCH(QString, text);
        QFETCH(QString, tree);
        QCOMPARE(Dump(TreeModel(text, false)), tree);
    }

    void ArchiveTreePassesTheModelTesterAndHighlightsOneRow()
    {
        TreeModel model(QStringLiteral("SFX\n  FEET\tp\tSFX\tb\nStreams\n  AA\tq\tSTREAM\tb\n  Radio\n    CH\tr\tStream\tb\n"),
                        false);
        // The root answers "enabled", as the entry model's does (views never ask it), which the tester
        // remarks on after every change; any other remark fails the test.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("^(?!FAIL! flags == Qt::ItemIsDropEnabled \\|\\| flags == 0 )")));
        QAbstractItemModelTester tester(&model, QAbstractItemModelTester::FailureReportingMode::Warning);
        const QModelIndex feet = model.index(0, 0, model.index(0, 0));
        const QModelIndex aa = model.index(0, 0, model.index(1, 0));
        const QModelIndex ch = model.index(0, 0, model.index(1, 0, model.index(1, 0)));
        const auto colour = [&](const QModelIndex &index) { return model.data(index, Qt::ForegroundRole).value<QColor>(); };

        model.SetHighlightedIndex(feet);
        QCOMPARE(colour(feet), QColor(Qt::red));
        QCOMPARE(colour(feet.siblingAtColumn(1)), QColor(Qt::red));
        // Same row number under another parent, and the parent itself, stay as they were.
        QVERIFY(colour(aa) != QColor(Qt::red) && colour(feet.parent()) != QColor(Qt::red));
        QSignalSpy changed(&model, &QAbstractItemModel::dataChanged);
        model.SetHighlightedIndex(ch);
        QCOMPARE(model.GetHighlightedIndex(), ch);
        QVERIFY(colour(feet) != QColor(Qt::red));
        // Both rows are repainted whole, each on its own.
        QList<QModelIndex> repainted;
        for (const auto &arguments : std::as_const(changed))
            repainted << arguments.at(0).value<QModelIndex>() << arguments.at(1).value<QModelIndex>();
        const int last = model.columnCount() - 1;
        QCOMPARE(repainted, (QList<QModelIndex>{feet, feet.siblingAtColumn(last), ch, ch.siblingAtColumn(last)}));
        model.SetHighlightedIndex(QModelIndex());
    }

    void BuildsDeepTrees()
    {
        // Each line one blank deeper than the last: every line nests in the one before.
        constexpr int lines = 6000;
        QString text;
        for (int level = 0; level < lines; ++level)
            text += QString(level, ' ') + QStringLiteral("N%1\n").arg(level);
        const TreeModel model(text, false);
        QModelIndex index = model.index(0, 0);
        int levels = 0;
        for (; model.rowCount(index) > 0; ++levels)
            index = model.index(0, 0, index);
        QCOMPARE(levels, lines - 1);
        QCOMPARE(model.data(model.parent(index)).toString(), QStringLiteral("N%1").arg(lines - 2));
    }

    void ShowsAVeryLongArchiveNameCutShort()
    {
        const QString longName(longLine, 'n');
        const TreeModel tall(longName + QStringLiteral("\tpath"), false);
        const auto *item = static_cast<const TreeItem *>(tall.index(0, 0).internalPointer());
        QCOMPARE(item->GetName().size(), longName.size());
        QCOMPARE(item->GetArchivePath(), QStringLiteral("path"));
        // Cut short, so that a view can measure it; a real name is shown whole.
        const QString shown = tall.data(tall.index(0, 0)).toString();
        QVERIFY(shown.size() <= 1025 && shown.size() >= 200);
        QVERIFY(longName.startsWith(shown.chopped(1)));
        const QString longestReal(255, 'r');
        QCOMPARE(Dump(TreeModel(longestReal, false)), longestReal);
    }

    void StartsWithTheLargestConfigurationAndDescriptions()
    {
        WindowFixture fixture;
        fixture.WriteSettings({{"UseKivoMetadata", false}});
        QVERIFY(LargeInputs::WriteConfiguration(fixture.Beside("configuration.ini"), 100000));
        QVERIFY(LargeInputs::WriteMetaData(fixture.Beside("MetaData.xml"), 500000));
        MainWindow *window = fixture.Open();
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QCOMPARE(fixture.dialogs.Log(), QStringList());
        // Groups of eleven lines; the last group's archives, its nested one included, all arrived.
        const QAbstractItemModel *tree = fixture.ArchiveView()->model();
        const int groups = (100000 + 10) / 11;
        QCOMPARE(tree->rowCount(), groups);
        const QModelIndex lastGroup = tree->index(groups - 1, 0);
        QCOMPARE(lastGroup.data().toString(), QStringLiteral("GROUP_%1").arg(groups - 1));
        QVERIFY(tree->rowCount(lastGroup) > 0);
    }
};

QTEST_MAIN(TestMetafiles)
#include "tst_Metafiles.moc"
