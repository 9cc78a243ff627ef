#include <QCoreApplication>
#include <QDomDocument>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include "Sanitized.h"
#include "ScriptedDialogs.h"
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

// Reading "MetaData.xml" and "metadata-full.ini".
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

    void RefusesMalformedFilesInQtsWords_data()
    {
        QTest::addColumn<QByteArray>("document");
        const QByteArray body = "<InfoData Id=\"1\" Text=\"t\"/><MetaData VirtualPath=\"p\" InfoDataItemId=\"1\"/>";
        // Entries read before the fault must not survive it.
        QTest::newRow("unclosed element after good entries") << "<Root>\n  " + body + "\n";
        QTest::newRow("mismatched end tag") << "<R>\n" + body + "\n</Q>";
        QTest::newRow("empty file") << QByteArray();
        QTest::newRow("repeated attribute") << QByteArray("<R><InfoData Id=\"1\" Id=\"2\"/></R>");
        QTest::newRow("unknown entity") << QByteArray("<R>\n<InfoData Id=\"1\" Text=\"&nbsp;\"/></R>");
        QTest::newRow("broken UTF-8") << "<R>\xC3(" + body + "</R>";
        QTest::newRow("text after the root") << "<R>" + body + "</R>x";
        QTest::newRow("attribute without quotes") << QByteArray("<R>\n\n<MetaData VirtualPath=p/>\n</R>");
    }
    void RefusesMalformedFilesInQtsWords()
    {
        QFETCH(QByteArray, document);
        const XmlMetaData read = ReadMetaData(Written(document));
        QVERIFY(read.textsById.isEmpty() && read.idsByPath.isEmpty());
        QCOMPARE(dialogs->shown.size(), 1);
        const UserDialogs::Request box = dialogs->shown.first();
        QCOMPARE(box.kind, UserDialogs::Kind::Critical);
        QCOMPARE(box.pParent, nullptr);
        QCOMPARE(box.title, QStringLiteral("Error in Xml-File"));
        // Worded, placed and numbered as Qt's document parser words the same fault.
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
