#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "QtMetaDataReading.h"
#include "Sanitized.h"
#include "ScriptedDialogs.h"
#include "tree/MetaDataScanner.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

using StringMap = QMap<QString, QString>;

namespace
{
bool WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

QString StationFileBesideProgram()
{
    return QCoreApplication::applicationDirPath() + QStringLiteral("/metadata-full.ini");
}

const char *const entries =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Anything>\n"
    "  <InfoData Id=\"7\" Text=\"a;;b\"/>\n  <InfoData Id=\"8\" Text=\"first\"/>\n  <InfoData Id=\"8\" Text=\"second\"/>\n"
    "  <InfoData Text=\"no id\"/>\n  <InfoData Id=\"\" Text=\"empty id\"/>\n  <InfoData Id=\"9\"/>\n"
    "  <Deeper><Still><InfoData Id=\"10\" Text=\"nested &amp; escaped\"/></Still></Deeper>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\sound_001.wav\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\twice.wav\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\twice.wav\" InfoDataItemId=\"8\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\ghost.wav\" InfoDataItemId=\"404\"/>\n"
    "  <MetaData VirtualPath=\"\" InfoDataItemId=\"7\"/>\n  <MetaData InfoDataItemId=\"8\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\no-id.wav\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\untexted.wav\" InfoDataItemId=\"9\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\station é.wav\" InfoDataItemId=\"8\"/>\n</Anything>\n";
}

// Reading "MetaData.xml" (the quick scanner checked against Qt's reader) and "metadata-full.ini".
class TestXmlMetaData : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
    QString Written(const QByteArray &content)
    {
        const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
        return WriteFile(path, content) ? path : QString();
    }

private slots:
    void init() { dialogs = std::make_unique<ScriptedDialogs>(); }
    void cleanup()
    {
        dialogs.reset();
        QFile::remove(StationFileBesideProgram());
    }

    void LooksUpTextsByVirtualPath_data()
    {
        QTest::addColumn<QString>("virtualPath");
        QTest::addColumn<QString>("text");
        QTest::newRow("path to id to text") << "Archiv\\SFX\\FEET\\sound_001.wav" << "a;;b";
        QTest::newRow("later path and later id win") << "Archiv\\SFX\\FEET\\twice.wav" << "second";
        QTest::newRow("slashes are not backslashes") << "Archiv/SFX/FEET/sound_001.wav" << "";
        QTest::newRow("id without InfoData") << "Archiv\\ghost.wav" << "";
        QTest::newRow("path without id") << "Archiv\\no-id.wav" << "";
    }
    void LooksUpTextsByVirtualPath()
    {
        QFETCH(QString, virtualPath);
        QFETCH(QString, text);
        QCOMPARE(ReadMetaData(Written(entries)).GetText(virtualPath), text);
        QVERIFY(dialogs->shown.isEmpty());
    }

    void ReportsAFileThatCannotBeOpened_data()
    {
        QTest::addColumn<QString>("name");
        // A folder, a device and a file far larger than any real one are refused by the start-up tests.
        QTest::newRow("absent") << "absent";
        QTest::newRow("pipe") << "pipe";
    }
    void ReportsAFileThatCannotBeOpened()
    {
        QFETCH(QString, name);
        const QString path = folder.filePath(name + QStringLiteral(".xml"));
        if (name == QLatin1String("pipe"))  // nobody writes to it: reading would block for good
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);

        const XmlMetaData metaData = ReadMetaData(path);
        QCOMPARE(dialogs->Log(), QStringList{QStringLiteral("Error: ") + path + QStringLiteral(" could not be opened.")});
        QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Critical);
        QCOMPARE(dialogs->shown.first().pParent, nullptr);
        QVERIFY(metaData.textsById.isEmpty() && metaData.idsByPath.isEmpty());
    }

    void ReadsQuicklyWhatQtReads_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("bQuick");  // within what the quick reading takes on
        const auto row = [](const char *name, const QByteArray &document, bool bQuick) {
            QTest::newRow(name) << document << bQuick;
        };
        const QByteArray body = "<InfoData Id=\"1\" Text=\"t\"/><MetaData VirtualPath=\"p\" InfoDataItemId=\"1\"/>";
        row("the usual file", entries, true);
        row("byte order mark, single quotes, standalone",
            "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<R>" + body + "</R>", true);
        row("references in values",
            "<R><InfoData Id=\"a&amp;b\" Text=\"&lt;&gt;&quot;&apos;&#65;&#x42;&#x1F600;\"/>"
            "<MetaData VirtualPath=\"&#x9;x&#10;\" InfoDataItemId=\"a&amp;b\"/></R>", true);
        row("tabs and line ends in values become spaces",
            "<R><InfoData Id=\"1\" Text=\"a\tb\nc\"/><MetaData VirtualPath=\"x\ty\" InfoDataItemId=\"1\"/></R>", true);
        // UTF-16 puts U+1F600 before U+FF21, its code point and UTF-8 after it; keys decide the order.
        row("keys whose bytes sort otherwise than their text",
            "<R><InfoData Id=\"\xEF\xBC\xA1\" Text=\"fullwidth\"/><InfoData Id=\"\xF0\x9F\x98\x80\" Text=\"face\"/>"
            "<InfoData Id=\"\xEE\x80\x80\" Text=\"private\"/><InfoData Id=\"\xED\x9F\xBF\" Text=\"last before\"/>"
            "<InfoData Id=\"\xF0\x9F\x98\x80\" Text=\"face again\"/></R>", true);
        row("later keys win, whatever the order",
            "<R><MetaData VirtualPath=\"b\" InfoDataItemId=\"1\"/><MetaData VirtualPath=\"a\" InfoDataItemId=\"2\"/>"
            "<MetaData VirtualPath=\"b\" InfoDataItemId=\"3\"/><MetaData VirtualPath=\"b\"/>"
            "<MetaData VirtualPath=\"ab\" InfoDataItemId=\"4\"/><MetaData VirtualPath=\"a\" InfoDataItemId=\"5\"/></R>", true);
        row("values that begin with a byte order mark",
            "<R><InfoData Id=\"\xEF\xBB\xBF\xEF\xBB\xBF" "2\" Text=\"&#xFEFF;x\"/><InfoData Id=\"2\" Text=\"\xEF\xBB\xBF&amp;\"/></R>",
            true);
        row("equal keys written differently",
            "<R><InfoData Id=\"a&amp;b\" Text=\"1\"/><InfoData Id=\"a&#38;b\" Text=\"2\"/><InfoData Id=\"c d\" Text=\"3\"/>"
            "<InfoData Id=\"c\td\" Text=\"4\"/><InfoData Id=\"c&#x20;d\" Text=\"5\"/></R>", true);
        row("comments, nesting, spacing and other attributes",
            "<!-- head --><!----><R a = 'x' >\n <!-- a - b --><Q><InfoData  Text = \"t\" Other=\"o\" Id='9' /></Q >"
            "text &amp; ] ]> <MetaData InfoDataItemId=\"9\" VirtualPath=\"v\"></MetaData></R >\n<!-- tail -->\n", true);
        row("key elements as the root", "<MetaData VirtualPath=\"v\" InfoDataItemId=\"1\"></MetaData>", true);

        // Well-formed, but left to Qt's reader.
        row("document type", "<!DOCTYPE R>\n<R>" + body + "</R>", false);
        row("character data section", "<R><![CDATA[x]]>" + body + "</R>", false);
        row("processing instruction", "<R><?pi x?>" + body + "</R>", false);
        row("carriage return in a value", "<R><InfoData Id=\"1\" Text=\"a\r\nb\"/></R>", false);
        row("another encoding", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R>\xE9" + body + "</R>", false);
        row("prefixed names", "<x:R xmlns:x=\"u\">" + body + "</x:R>", false);
        row("non-ASCII names", "<R\xC3\xA9>" + body + "</R\xC3\xA9>", false);
        row("deeper than ten thousand", QByteArray("<a>").repeated(10001) + body + QByteArray("</a>").repeated(10001), false);

        // Not well-formed: Qt's reader words the fault, and nothing read before it is kept.
        row("unclosed element after good entries", "<Root>\n  " + body + "\n", false);
        row("mismatched end tag", "<R>\n" + body + "\n</Q>", false);
        row("empty file", "", false);
        row("repeated attribute", "<R><InfoData Id=\"1\" Id=\"2\"/></R>", false);
        row("unknown entity", "<R>\n<InfoData Id=\"1\" Text=\"&nbsp;\"/></R>", false);
        row("reference to no character", "<R><InfoData Id=\"1\" Text=\"&#0;\"/></R>", false);
        row("reference beyond Unicode", "<R><InfoData Id=\"1\" Text=\"&#x110000;\"/></R>", false);
        row("end of a data section in text", "<R>]]>" + body + "</R>", false);
        row("control character", "<R>\x01" + body + "</R>", false);
        row("broken UTF-8", "<R>\xC3(" + body + "</R>", false);
        row("overlong UTF-8", "<R><InfoData Id=\"\xC0\xAF\"/></R>", false);
        row("text after the root", "<R>" + body + "</R>x", false);
        row("nothing but a comment", "<!-- only -->", false);
        row("double hyphen in a comment", "<R><!-- a -- b -->" + body + "</R>", false);
        row("attribute without quotes", "<R>\n\n<MetaData VirtualPath=p/>\n</R>", false);
        row("cut inside a value", "<R><InfoData Id=\"1\" Text=\"t", false);
        row("lower than sign in a value", "<R><InfoData Id=\"1\" Text=\"<\"/></R>", false);
    }
    void ReadsQuicklyWhatQtReads()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, bQuick);
        XmlMetaData expected;
        const bool bWellFormed = ReadWithQt(document, expected);
        XmlMetaData quick;
        QCOMPARE(ScanMetaData(document, quick), bQuick);
        if (bQuick) {
            QVERIFY(bWellFormed);
            QCOMPARE(quick.textsById, expected.textsById);
            QCOMPARE(quick.idsByPath, expected.idsByPath);
        }

        // Whichever way the file is read, the program gets what Qt's reader gives, or one box
        // worded, placed and numbered as Qt's document parser words the same fault.
        const XmlMetaData read = ReadMetaData(Written(document));
        QCOMPARE(read.textsById, bWellFormed ? expected.textsById : StringMap());
        QCOMPARE(read.idsByPath, bWellFormed ? expected.idsByPath : StringMap());
        QCOMPARE(dialogs->shown.size(), bWellFormed ? 0 : 1);
        if (bWellFormed)
            return;
        const UserDialogs::Request box = dialogs->shown.first();
        QCOMPARE(box.kind, UserDialogs::Kind::Critical);
        QCOMPARE(box.pParent, nullptr);
        QCOMPARE(box.title, QStringLiteral("Error in Xml-File"));
        QDomDocument dom;
        QString message;
        int line = 0;
        int column = 0;
        QVERIFY(!dom.setContent(document, &message, &line, &column));
        QCOMPARE(box.text, message + QStringLiteral("\nLine: %1, Column: %2").arg(line).arg(column));
    }

    void PairsStreamAndStationLines_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<StringMap>("names");
        QTest::newRow("a pair") << QByteArray("stream = AA\nstation = S1\n") << StringMap{{"AA", "S1"}};
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
        // Binary bytes or one enormous line before a real pair must not swallow it.
        QByteArray binary(1 << 20, '\0');
        quint32 state = 7919;
        for (char &byte : binary)
            byte = char((state = state * 1103515245u + 12345u) >> 23);
        QTest::newRow("after binary bytes") << binary + "\nstream = AA\nstation = S\n" << StringMap{{"AA", "S"}};
        QTest::newRow("after a long line") << QByteArray(longLine, 'x') + "\nstream = AA\nstation = S\n"
                                           << StringMap{{"AA", "S"}};
    }
    void PairsStreamAndStationLines()
    {
        QFETCH(QByteArray, content);
        QFETCH(StringMap, names);
        const QString path = folder.filePath(QStringLiteral("metadata-full.ini"));
        QVERIFY(WriteFile(path, content));
        QCOMPARE(TreeModel::ReadStationNames(path), names);
    }

    void ReadsNoStationsFromAMissingFileOrAPipe()
    {
        const QString pipe = folder.filePath(QStringLiteral("pipe.ini"));
        QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
        QVERIFY(TreeModel::ReadStationNames(pipe).isEmpty());
        QVERIFY(TreeModel::ReadStationNames(folder.filePath(QStringLiteral("absent.ini"))).isEmpty());
        QVERIFY(dialogs->shown.isEmpty());
    }

    void ShowsStationNamesInTheTreeWhenMetadataIsUsed()
    {
        QVERIFY(WriteFile(StationFileBesideProgram(), "stream = AA\nstation = R\nstream = SFX\nstation = Q\n"));
        const QString configuration = QStringLiteral("Streams\n  AA\taudio/streams/AA\tSTREAM\tb\n  AA \tp\tSTREAM\n");

        const TreeModel withNames(configuration, true);
        const QModelIndex group = withNames.index(0, 0);
        QCOMPARE(withNames.data(withNames.index(0, 0, group)).toString(), QStringLiteral("R"));
        QCOMPARE(static_cast<TreeItem *>(withNames.index(0, 0, group).internalPointer())->GetName(), QStringLiteral("R"));
        // Names are matched whole and exactly: a trailing blank in the tree keeps the stream name.
        QCOMPARE(withNames.data(withNames.index(1, 0, group)).toString(), QStringLiteral("AA "));
        QCOMPARE(withNames.GetStreamNames(), (StringMap{{"AA", "R"}, {"SFX", "Q"}}));

        // Every column is looked up, the type as well: a station named like a type changes it.
        const TreeModel typeMapped(QStringLiteral("G\n  L\tp\tSFX\tb\n"), true);
        QVERIFY(!static_cast<TreeItem *>(typeMapped.index(0, 0, typeMapped.index(0, 0)).internalPointer())->IsSfx());

        const TreeModel withoutNames(configuration, false);
        QCOMPARE(withoutNames.data(withoutNames.index(0, 0, withoutNames.index(0, 0))).toString(), QStringLiteral("AA"));
        QVERIFY(withoutNames.GetStreamNames().isEmpty());
    }
};

QTEST_MAIN(TestXmlMetaData)
#include "tst_XmlMetaData.moc"
