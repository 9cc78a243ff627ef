#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QRegularExpression>
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
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
    "<Anything>\n"
    "  <InfoData Id=\"7\" Text=\"a;;b\"/>\n"
    "  <InfoData Id=\"8\" Text=\"first\"/>\n"
    "  <InfoData Id=\"8\" Text=\"second\"/>\n"
    "  <InfoData Text=\"no id\"/>\n"
    "  <InfoData Id=\"\" Text=\"empty id\"/>\n"
    "  <InfoData Id=\"9\"/>\n"
    "  <Deeper><Still><InfoData Id=\"10\" Text=\"nested &amp; escaped\"/></Still></Deeper>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\sound_001.wav\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\twice.wav\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\twice.wav\" InfoDataItemId=\"8\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\ghost.wav\" InfoDataItemId=\"404\"/>\n"
    "  <MetaData VirtualPath=\"\" InfoDataItemId=\"7\"/>\n"
    "  <MetaData InfoDataItemId=\"8\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\no-id.wav\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\untexted.wav\" InfoDataItemId=\"9\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\nested.wav\" InfoDataItemId=\"10\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\station é.wav\" InfoDataItemId=\"8\"/>\n"
    "</Anything>\n";
}

class TestXmlMetaData : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void LooksUpTextsByVirtualPath_data();
    void LooksUpTextsByVirtualPath();
    void SkipsElementsWithoutKey();
    void ReportsAFileThatCannotBeOpened_data();
    void ReportsAFileThatCannotBeOpened();
    void ReportsAFileThatIsNotWellFormed_data();
    void ReportsAFileThatIsNotWellFormed();
    void ReadsALargeFileWithoutMessage();
    void ExpandsNoEntityBomb();
    void ReadsQuicklyWhatQtReads_data();
    void ReadsQuicklyWhatQtReads();

    void PairsStreamAndStationLines_data();
    void PairsStreamAndStationLines();
    void ReadsNoStationsFromAMissingOrBadFile();
    void ShowsStationNamesInTheTreeWhenMetadataIsUsed();

private:
    QTemporaryDir folder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void TestXmlMetaData::init()
{
    QVERIFY(folder.isValid());
    dialogs = std::make_unique<ScriptedDialogs>();
}

void TestXmlMetaData::cleanup()
{
    dialogs.reset();
    QFile::remove(StationFileBesideProgram());
}

void TestXmlMetaData::LooksUpTextsByVirtualPath_data()
{
    QTest::addColumn<QString>("virtualPath");
    QTest::addColumn<QString>("text");

    QTest::newRow("path to id to text") << "Archiv\\SFX\\FEET\\sound_001.wav" << "a;;b";
    QTest::newRow("later path and later id win") << "Archiv\\SFX\\FEET\\twice.wav" << "second";
    QTest::newRow("id without InfoData") << "Archiv\\ghost.wav" << "";
    QTest::newRow("path without id") << "Archiv\\no-id.wav" << "";
    QTest::newRow("InfoData without text") << "Archiv\\untexted.wav" << "";
    QTest::newRow("elements anywhere in the document") << "Archiv\\nested.wav" << "nested & escaped";
    QTest::newRow("non-ASCII path") << "Archiv\\station é.wav" << "second";
    QTest::newRow("unknown path") << "Archiv\\SFX\\FEET\\sound_002.wav" << "";
    QTest::newRow("paths compare case-sensitively") << "archiv\\sfx\\feet\\sound_001.wav" << "";
    QTest::newRow("slashes are not backslashes") << "Archiv/SFX/FEET/sound_001.wav" << "";
    QTest::newRow("empty path") << "" << "";
}

void TestXmlMetaData::LooksUpTextsByVirtualPath()
{
    QFETCH(QString, virtualPath);
    QFETCH(QString, text);
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, entries));
    const XmlMetaData metaData = ReadMetaData(path);
    QCOMPARE(metaData.GetText(virtualPath), text);
    QVERIFY(dialogs->shown.isEmpty());
}

void TestXmlMetaData::SkipsElementsWithoutKey()
{
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, entries));
    const XmlMetaData metaData = ReadMetaData(path);
    QVERIFY(!metaData.textsById.contains(QString()));
    QVERIFY(!metaData.idsByPath.contains(QString()));
    QCOMPARE(metaData.textsById.size(), 4);
    QCOMPARE(metaData.idsByPath.size(), 7);
}

void TestXmlMetaData::ReportsAFileThatCannotBeOpened_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("missing") << "absent.xml";
    QTest::newRow("a folder") << "folder.xml";
    QTest::newRow("far larger than any real file") << "huge.xml";
    QTest::newRow("a pipe nobody writes to") << "pipe.xml";
    QTest::newRow("a device without end") << "device.xml";
}

void TestXmlMetaData::ReportsAFileThatCannotBeOpened()
{
    QFETCH(QString, name);
    const QString path = folder.filePath(name);
    if (name == QLatin1String("folder.xml"))
        QVERIFY(QDir(folder.path()).mkpath(name));
    if (name == QLatin1String("huge.xml")) {
        QFile huge(path);
        QVERIFY(huge.open(QIODevice::WriteOnly));
        QVERIFY(huge.resize(qint64(300) * 1024 * 1024));  // sparse: costs no disk
    }
    if (name == QLatin1String("pipe.xml"))
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    if (name == QLatin1String("device.xml"))
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), path));

    const XmlMetaData metaData = ReadMetaData(path);

    QCOMPARE(dialogs->Log(), QStringList{QStringLiteral("Error: ") + path + QStringLiteral(" could not be opened.")});
    QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Critical);
    QCOMPARE(dialogs->shown.first().pParent, nullptr);
    QVERIFY(metaData.textsById.isEmpty());
    QVERIFY(metaData.idsByPath.isEmpty());
}

void TestXmlMetaData::ReportsAFileThatIsNotWellFormed_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("line");

    QTest::newRow("unclosed element after good entries")
        << QByteArray("<Root>\n  <InfoData Id=\"7\" Text=\"x\"/>\n  <MetaData VirtualPath=\"p\" InfoDataItemId=\"7\"/>\n")
        << 4;
    QTest::newRow("mismatched end tag") << QByteArray("<Root>\n<InfoData Id=\"1\" Text=\"a\">\n</Other>\n</Root>\n") << 3;
    QTest::newRow("empty file") << QByteArray() << 1;
    QTest::newRow("binary") << QByteArray("\x89PNG\r\n\x1a\n\0\0\0\rIHDR\xff\xfe", 18) << 1;
    QTest::newRow("two roots") << QByteArray("<A/>\n<B/>\n") << 2;
    QTest::newRow("declaration only") << QByteArray("<?xml version=\"1.0\"?>\n") << 2;
    QTest::newRow("undeclared entity") << QByteArray("<R>\n<InfoData Id=\"1\" Text=\"&nope;\"/>\n</R>") << 2;
    QTest::newRow("attribute without quotes") << QByteArray("<R>\n\n<MetaData VirtualPath=p/>\n</R>") << 3;
}

void TestXmlMetaData::ReportsAFileThatIsNotWellFormed()
{
    QFETCH(QByteArray, content);
    QFETCH(int, line);
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, content));

    const XmlMetaData metaData = ReadMetaData(path);

    QCOMPARE(dialogs->shown.size(), 1);
    const UserDialogs::Request box = dialogs->shown.first();
    QCOMPARE(box.kind, UserDialogs::Kind::Critical);
    QCOMPARE(box.pParent, nullptr);
    QCOMPARE(box.title, QStringLiteral("Error in Xml-File"));
    const QRegularExpression frame(QStringLiteral("^(.+)\\nLine: (\\d+), Column: (\\d+)$"));
    const QRegularExpressionMatch match = frame.match(box.text);
    QVERIFY2(match.hasMatch(), qPrintable(box.text));
    QCOMPARE(match.captured(2).toInt(), line);
    // The message, line and column are those Qt's XML document parser gives for the same file.
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QDomDocument document;
    QString message;
    int domLine = 0;
    int domColumn = 0;
    QVERIFY(!document.setContent(&file, &message, &domLine, &domColumn));
    QCOMPARE(box.text, message + QStringLiteral("\nLine: %1, Column: %2").arg(domLine).arg(domColumn));
    // Nothing of what came before the fault is kept.
    QVERIFY(metaData.textsById.isEmpty());
    QVERIFY(metaData.idsByPath.isEmpty());
}

void TestXmlMetaData::ReadsALargeFileWithoutMessage()
{
    constexpr int count = 200000;
    QByteArray content("<Root>\n");
    content.reserve(count * 110);
    for (int i = 0; i < count; ++i) {
        const QByteArray n = QByteArray::number(i);
        content += "<InfoData Id=\"" + n + "\" Text=\"line " + n + ";more\"/>\n";
        content += "<MetaData VirtualPath=\"Archiv\\S\\A\\" + n + ".wav\" InfoDataItemId=\"" + n + "\"/>\n";
    }
    content += "</Root>\n";
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, content));

    const XmlMetaData metaData = ReadMetaData(path);

    QVERIFY(dialogs->shown.isEmpty());
    QCOMPARE(metaData.idsByPath.size(), count);
    QCOMPARE(metaData.GetText(QStringLiteral("Archiv\\S\\A\\%1.wav").arg(count - 1)),
             QStringLiteral("line %1;more").arg(count - 1));
}

void TestXmlMetaData::ExpandsNoEntityBomb()
{
    // Nested entities that would expand to gigabytes: refused or cut short, never expanded.
    QByteArray content("<?xml version=\"1.0\"?>\n<!DOCTYPE r [\n<!ENTITY a \"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaa\">\n");
    char previous = 'a';
    for (char name = 'b'; name <= 'j'; ++name) {
        content += QByteArray("<!ENTITY ") + name + " \"";
        for (int i = 0; i < 16; ++i)
            content += QByteArray("&") + previous + ";";
        content += "\">\n";
        previous = name;
    }
    content += "]>\n<r><InfoData Id=\"1\" Text=\"&j;\"/></r>\n";
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, content));

    const XmlMetaData metaData = ReadMetaData(path);

    QVERIFY(metaData.textsById.value(QStringLiteral("1")).size() < 1024 * 1024);
}

void TestXmlMetaData::ReadsQuicklyWhatQtReads_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("bQuick");  // within what the quick reading takes on

    const QByteArray body = "<InfoData Id=\"1\" Text=\"t\"/><MetaData VirtualPath=\"p\" InfoDataItemId=\"1\"/>";
    QTest::newRow("the usual file") << QByteArray(entries) << true;
    QTest::newRow("no declaration, one element") << QByteArray("<InfoData Id=\"1\" Text=\"root\"/>") << true;
    QTest::newRow("byte order mark, single quotes, standalone")
        << "\xEF\xBB\xBF<?xml version='1.0' encoding='utf-8' standalone='yes' ?>\n<R>" + body + "</R>" << true;
    QTest::newRow("references in values")
        << QByteArray("<R><InfoData Id=\"a&amp;b\" Text=\"&lt;&gt;&quot;&apos;&#65;&#x42;&#x1F600;\"/>"
                      "<MetaData VirtualPath=\"&#x9;x&#10;\" InfoDataItemId=\"a&amp;b\"/></R>")
        << true;
    QTest::newRow("tabs and line ends in values become spaces")
        << QByteArray("<R><InfoData Id=\"1\" Text=\"a\tb\nc\"/><MetaData VirtualPath=\"x\ty\" InfoDataItemId=\"1\"/></R>")
        << true;
    // UTF-16 puts U+1F600 before U+FF21, its code point and UTF-8 after it; keys decide the order.
    QTest::newRow("keys whose bytes sort otherwise than their text")
        << QByteArray("<R><InfoData Id=\"\xEF\xBC\xA1\" Text=\"fullwidth\"/><InfoData Id=\"\xF0\x9F\x98\x80\" Text=\"face\"/>"
                      "<InfoData Id=\"\xEE\x80\x80\" Text=\"private\"/><InfoData Id=\"\xED\x9F\xBF\" Text=\"last before\"/>"
                      "<InfoData Id=\"\xF0\x9F\x98\x80\" Text=\"face again\"/></R>")
        << true;
    QTest::newRow("later keys win, whatever the order")
        << QByteArray("<R><MetaData VirtualPath=\"b\" InfoDataItemId=\"1\"/><MetaData VirtualPath=\"a\" InfoDataItemId=\"2\"/>"
                      "<MetaData VirtualPath=\"b\" InfoDataItemId=\"3\"/><MetaData VirtualPath=\"b\"/>"
                      "<MetaData VirtualPath=\"ab\" InfoDataItemId=\"4\"/><MetaData VirtualPath=\"a\" InfoDataItemId=\"5\"/></R>")
        << true;
    QTest::newRow("values that begin with a byte order mark")
        << QByteArray("<R><InfoData Id=\"\xEF\xBB\xBF\xEF\xBB\xBF" "2\" Text=\"&#xFEFF;x\"/><InfoData Id=\"2\" Text=\"\xEF\xBB\xBF&amp;\"/></R>")
        << true;
    QTest::newRow("equal keys written differently")
        << QByteArray("<R><InfoData Id=\"a&amp;b\" Text=\"1\"/><InfoData Id=\"a&#38;b\" Text=\"2\"/><InfoData Id=\"c d\" Text=\"3\"/>"
                      "<InfoData Id=\"c\td\" Text=\"4\"/><InfoData Id=\"c&#x20;d\" Text=\"5\"/></R>")
        << true;
    QTest::newRow("comments, nesting, spacing and other attributes")
        << QByteArray("<!-- head --><!----><R a = 'x' >\n <!-- a - b --><Q><InfoData  Text = \"t\" Other=\"o\" Id='9' /></Q >"
                      "text &amp; ] ]> <MetaData InfoDataItemId=\"9\" VirtualPath=\"v\"></MetaData></R >\n<!-- tail -->\n")
        << true;
    QTest::newRow("key elements as the root") << QByteArray("<MetaData VirtualPath=\"v\" InfoDataItemId=\"1\"></MetaData>") << true;

    // Well-formed, but left to Qt's reader.
    QTest::newRow("document type") << "<!DOCTYPE R>\n<R>" + body + "</R>" << false;
    QTest::newRow("character data section") << "<R><![CDATA[x]]>" + body + "</R>" << false;
    QTest::newRow("processing instruction") << "<R><?pi x?>" + body + "</R>" << false;
    QTest::newRow("carriage return in a value")
        << QByteArray("<R><InfoData Id=\"1\" Text=\"a\r\nb\"/></R>") << false;
    QTest::newRow("another encoding") << "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><R>\xE9" + body + "</R>" << false;
    QTest::newRow("prefixed names") << "<x:R xmlns:x=\"u\">" + body + "</x:R>" << false;
    QTest::newRow("non-ASCII names") << "<R\xC3\xA9>" + body + "</R\xC3\xA9>" << false;
    QTest::newRow("deeper than ten thousand")
        << QByteArray("<a>").repeated(10001) + body + QByteArray("</a>").repeated(10001) << false;

    // Not well-formed: Qt's reader words the fault.
    QTest::newRow("mismatched end tag") << "<R>" + body + "</Q>" << false;
    QTest::newRow("repeated attribute") << QByteArray("<R><InfoData Id=\"1\" Id=\"2\"/></R>") << false;
    QTest::newRow("unknown entity") << QByteArray("<R><InfoData Id=\"1\" Text=\"&nbsp;\"/></R>") << false;
    QTest::newRow("reference to no character") << QByteArray("<R><InfoData Id=\"1\" Text=\"&#0;\"/></R>") << false;
    QTest::newRow("reference beyond Unicode") << QByteArray("<R><InfoData Id=\"1\" Text=\"&#x110000;\"/></R>") << false;
    QTest::newRow("end of a data section in text") << "<R>]]>" + body + "</R>" << false;
    QTest::newRow("control character") << "<R>\x01" + body + "</R>" << false;
    QTest::newRow("broken UTF-8") << "<R>\xC3(" + body + "</R>" << false;
    QTest::newRow("overlong UTF-8") << QByteArray("<R><InfoData Id=\"\xC0\xAF\"/></R>") << false;
    QTest::newRow("text after the root") << "<R>" + body + "</R>x" << false;
    QTest::newRow("two roots") << "<R>" + body + "</R><R/>" << false;
    QTest::newRow("nothing but a comment") << QByteArray("<!-- only -->") << false;
    QTest::newRow("double hyphen in a comment") << "<R><!-- a -- b -->" + body + "</R>" << false;
    QTest::newRow("attributes without space") << QByteArray("<R><InfoData Id=\"1\"Text=\"t\"/></R>") << false;
    QTest::newRow("cut inside a value") << QByteArray("<R><InfoData Id=\"1\" Text=\"t") << false;
    QTest::newRow("lower than sign in a value") << QByteArray("<R><InfoData Id=\"1\" Text=\"<\"/></R>") << false;
}

void TestXmlMetaData::ReadsQuicklyWhatQtReads()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, bQuick);
    XmlMetaData expected;
    const bool bWellFormed = ReadWithQt(document, expected);

    XmlMetaData quick;
    const bool bRead = ScanMetaData(document, quick);
    QCOMPARE(bRead, bQuick);
    if (bRead) {
        QVERIFY(bWellFormed);
        QCOMPARE(quick.textsById, expected.textsById);
        QCOMPARE(quick.idsByPath, expected.idsByPath);
    }

    // Whichever way the file is read, the program gets what Qt's reader gives, or one box.
    const QString path = folder.filePath(QStringLiteral("MetaData.xml"));
    QVERIFY(WriteFile(path, document));
    const XmlMetaData read = ReadMetaData(path);
    QCOMPARE(dialogs->shown.size(), bWellFormed ? 0 : 1);
    QCOMPARE(read.textsById, bWellFormed ? expected.textsById : StringMap());
    QCOMPARE(read.idsByPath, bWellFormed ? expected.idsByPath : StringMap());
}

void TestXmlMetaData::PairsStreamAndStationLines_data()
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
    QTest::newRow("keywords are case-sensitive") << QByteArray("Stream = AA\nstation = S\n") << StringMap{};
    QTest::newRow("a second station without stream is ignored")
        << QByteArray("stream = AA\nstation = S\nstation = T\n") << StringMap{{"AA", "S"}};
    QTest::newRow("a later pair for the same stream wins")
        << QByteArray("stream = AA\nstation = 1\nstream = AA\nstation = 2\n") << StringMap{{"AA", "2"}};
    QTest::newRow("other lines between keep the stream pending")
        << QByteArray("stream = AA\n\n# note\ntitle = x\nstation = S\n") << StringMap{{"AA", "S"}};
    QTest::newRow("CRLF line ends") << QByteArray("stream = AA\r\nstation = S1\r\n") << StringMap{{"AA", "S1"}};
    QTest::newRow("only the prefix is cut") << QByteArray("stream = a = b\nstation = =\n") << StringMap{{"a = b", "="}};
    QTest::newRow("empty names") << QByteArray("stream = \nstation = \n") << StringMap{{"", ""}};
    QTest::newRow("UTF-8 names") << QByteArray("stream = \xc3\x84\nstation = Radio \xe2\x99\xaa\n")
                                 << StringMap{{QStringLiteral("\u00c4"), QStringLiteral("Radio \u266a")}};
    QTest::newRow("leading blank is no stream line") << QByteArray(" stream = AA\nstation = S\n") << StringMap{};
}

void TestXmlMetaData::PairsStreamAndStationLines()
{
    QFETCH(QByteArray, content);
    QFETCH(StringMap, names);
    const QString path = folder.filePath(QStringLiteral("metadata-full.ini"));
    QVERIFY(WriteFile(path, content));
    QCOMPARE(TreeModel::ReadStationNames(path), names);
}

void TestXmlMetaData::ReadsNoStationsFromAMissingOrBadFile()
{
    QVERIFY(TreeModel::ReadStationNames(folder.filePath(QStringLiteral("absent.ini"))).isEmpty());
    QVERIFY(TreeModel::ReadStationNames(folder.path()).isEmpty());
    const QString pipe = folder.filePath(QStringLiteral("pipe.ini"));
    QCOMPARE(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    QVERIFY(TreeModel::ReadStationNames(pipe).isEmpty());
    const QString device = folder.filePath(QStringLiteral("device.ini"));
    QVERIFY(QFile::link(QStringLiteral("/dev/zero"), device));
    QVERIFY(TreeModel::ReadStationNames(device).isEmpty());

    // Binary bytes, then a real pair: the pair still counts.
    QByteArray binary(1 << 20, '\0');
    quint32 state = 7919;
    for (char &byte : binary) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 23);
    }
    const QString path = folder.filePath(QStringLiteral("binary.ini"));
    QVERIFY(WriteFile(path, binary + "\nstream = AA\nstation = S\n"));
    QCOMPARE(TreeModel::ReadStationNames(path).value(QStringLiteral("AA")), QStringLiteral("S"));

    // One very long line followed by a real pair: the pair still counts.
    QVERIFY(WriteFile(path, QByteArray(longLine, 'x') + "\nstream = AA\nstation = S\n"));
    QCOMPARE(TreeModel::ReadStationNames(path), (StringMap{{"AA", "S"}}));
    QVERIFY(dialogs->shown.isEmpty());
}

void TestXmlMetaData::ShowsStationNamesInTheTreeWhenMetadataIsUsed()
{
    QVERIFY(WriteFile(StationFileBesideProgram(), "stream = AA\nstation = R\nstream = SFX\nstation = Q\n"));
    const QString configuration = QStringLiteral("Streams\n  AA\taudio/streams/AA\tSTREAM\tb\n  AA \tp\tSTREAM\n");

    const TreeModel withNames(configuration, true);
    const QModelIndex group = withNames.index(0, 0);
    const auto *leaf = static_cast<TreeItem *>(withNames.index(0, 0, group).internalPointer());
    QCOMPARE(withNames.data(withNames.index(0, 0, group)).toString(), QStringLiteral("R"));
    QCOMPARE(leaf->GetName(), QStringLiteral("R"));
    // Names are matched whole and exactly: a trailing blank in the tree keeps the stream name.
    QCOMPARE(withNames.data(withNames.index(1, 0, group)).toString(), QStringLiteral("AA "));
    QCOMPARE(withNames.GetStreamNames(), (StringMap{{"AA", "R"}, {"SFX", "Q"}}));

    // Every column is looked up, the type as well: a station named like a type changes it.
    const TreeModel typeMapped(QStringLiteral("G\n  L\tp\tSFX\tb\n"), true);
    const auto *typed = static_cast<TreeItem *>(typeMapped.index(0, 0, typeMapped.index(0, 0)).internalPointer());
    QVERIFY(!typed->IsSfx());

    const TreeModel withoutNames(configuration, false);
    QCOMPARE(withoutNames.data(withoutNames.index(0, 0, withoutNames.index(0, 0))).toString(), QStringLiteral("AA"));
    QVERIFY(withoutNames.GetStreamNames().isEmpty());
}

QTEST_MAIN(TestXmlMetaData)
#include "tst_XmlMetaData.moc"
