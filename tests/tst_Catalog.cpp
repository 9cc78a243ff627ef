// The catalog of described entries below the window: the search over every archive of the tree,
// the user's own descriptions in "user-metadata.xml", and descriptions shared as CSV or in the form
// of "MetaData.xml".
#include <QtTest>

#include "ScratchFiles.h"
#include "app/archive/EntryPreview.h"
#include "app/archive/GameArchive.h"
#include "app/archive/LoadedArchive.h"
#include "catalog/CatalogResultModel.h"
#include "catalog/CatalogArchive.h"
#include "catalog/DescriptionCatalog.h"
#include "catalog/DescriptionSharing.h"
#include "catalog/DescriptionText.h"
#include "catalog/UserDescriptions.h"
#include "tree/TreeItem.h"
#include "tree/TreeModel.h"
#include "tree/XmlMetaData.h"

using StringMap = QMap<QString, QString>;

namespace
{
const QByteArray configuration = "SFX\n  GENRL\taudio/SFX/GENRL\tSFX\tCONFIG/BankLkup.dat\n"
                                 "  FEET\taudio/SFX/FEET\tSFX\tCONFIG/BankLkup.dat\n"
                                 "Streams\n  Radio/Talk\n    AA\taudio/streams/AA\tSTREAM\tCONFIG/TrakLkup.dat\n"
                                 "  Empty\n";
const QString genrl = QStringLiteral("Archiv\\SFX\\GENRL\\");
const QString feet = QStringLiteral("Archiv\\SFX\\FEET\\");
const QString aa = QStringLiteral("Archiv\\Streams\\Radio\\Talk\\AA\\");

QList<CatalogArchive> Archives()
{
    const TreeModel tree(QString::fromLatin1(configuration), false);
    return CatalogArchivesOf(tree);
}

// Descriptions as "MetaData.xml" would give them, each text under an id of its own.
XmlMetaData Described(const StringMap &texts)
{
    XmlMetaData data;
    for (auto text = texts.constBegin(); text != texts.constEnd(); ++text) {
        data.textsById.insert(QLatin1Char('#') + text.key(), text.value());
        data.idsByPath.insert(text.key(), QLatin1Char('#') + text.key());
    }
    return data;
}

QByteArray Content(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}
}

class TestCatalog : public QObject
{
    Q_OBJECT
private slots:
    void ResultTableShowsTheHitsOfTheLastSearch()
    {
        CatalogResultModel results;
        QAbstractItemModelTester tester(&results, QAbstractItemModelTester::FailureReportingMode::QtTest);
        results.SetCatalog(DescriptionCatalog(Archives(), Described({{genrl + "Bank_002\\sound_001.wav", "Door;heavy"},
                                                                     {genrl + "Bank_001\\sound_003.wav", "Door;light"},
                                                                     {aa + "Track_001.ogg", "Talk show"}})));
        QCOMPARE(results.rowCount(), 0);
        results.Search("door");
        QStringList rows;
        for (int row = 0; row < results.rowCount(); ++row)
            rows << results.index(row, 0).data().toString() + " | " + results.index(row, 1).data().toString() + " | "
                        + results.index(row, 2).data().toString();
        QCOMPARE(rows, QStringList({QString::fromUtf8("SFX > GENRL | Bank_001/sound_003.wav | Door \u00B7 light"),
                                    QString::fromUtf8("SFX > GENRL | Bank_002/sound_001.wav | Door \u00B7 heavy")}));
        QVERIFY(!results.EntryAt(2));
        // Typing on looks only at the last hits; a shorter query looks at all again.
        results.Search("door  hea");
        QCOMPARE(results.rowCount(), 1);
        QCOMPARE(results.EntryAt(0)->description, QString::fromUtf8("Door \u00B7 heavy"));
        results.Search("talk");
        QCOMPARE(results.rowCount(), 1);
        results.Search("talk show");
        QCOMPARE(results.rowCount(), 1);
        results.Search("o");
        QCOMPARE(results.rowCount(), 3);
        results.SetCatalog(DescriptionCatalog());
        QCOMPARE(results.rowCount(), 0);
        QVERIFY(!results.EntryAt(0));
    }

    void PreviewKeepsOneCopyOutsideTheUsersFolders_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<QString>("tool");       // what the stand-in does: "writes", "fails", "writes nothing"
        QTest::addColumn<QString>("fileName");   // of the copy; empty when it must fail
        QTest::newRow("sound of a bank") << "Bank_001/sound_002.wav" << "writes" << "sound_002.wav";
        QTest::newRow("a name that climbs out stays inside") << "../../sound.wav" << "writes" << "sound.wav";
        QTest::newRow("tool fails") << "Track_001.ogg" << "fails" << "";
        QTest::newRow("tool writes nothing") << "Track_001.ogg" << "writes nothing" << "";
    }
    void PreviewKeepsOneCopyOutsideTheUsersFolders()
    {
        QFETCH(QString, entry);
        QFETCH(QString, tool);
        QFETCH(QString, fileName);
        QStringList calls;
        EntryPreview preview([&](const QString &program, const QStringList &arguments) {
            calls << program + ' ' + arguments.join(' ');
            // The first copy is always made, so that the second has one to take the place of.
            if (tool == "fails" && calls.size() > 1)
                throw QStringLiteral("KIVO returned the following message:\nbroken");
            if (tool == "writes" || calls.size() == 1) {
                QFile file(arguments.at(3));
                file.open(QIODevice::WriteOnly);
            }
            return QByteArray();
        });
        const TreeModel tree(QString::fromLatin1(configuration), false);
        const QModelIndex leaf = tree.ArchiveIndexes().first();
        const GameArchive archive(leaf, QStringLiteral("/no/game"));
        const QString previous = preview.Extract(archive, "Bank_001/sound_001.wav");
        QVERIFY(QFileInfo(previous).isFile());

        QString copy;
        try {
            copy = preview.Extract(archive, entry);
        } catch (const QString &message) {
            QVERIFY2(fileName.isEmpty(), qPrintable(message));
        }
        // The copy that played before goes in every case, so no folder is ever left behind.
        QVERIFY(!QFileInfo::exists(QFileInfo(previous).path()));
        QCOMPARE(preview.FilePath(), copy);
        QCOMPARE(calls.last().section(' ', 0, 2), "kivo_sfx.exe -x " + archive.ArchivePath());
        if (fileName.isEmpty())
            return;
        QCOMPARE(QFileInfo(copy).fileName(), fileName);
        QVERIFY(QFileInfo(copy).isFile());
        QVERIFY(copy.startsWith(QDir::tempPath()));
        preview.Forget();
        QVERIFY(!QFileInfo::exists(QFileInfo(copy).path()));
        QVERIFY(preview.FilePath().isNull());
    }

    void KeysAreThoseOfTheLoadedArchive()
    {
        const TreeModel tree(QString::fromLatin1(configuration), false);
        const QList<CatalogArchive> archives = CatalogArchivesOf(tree);
        QStringList names;
        for (int position = 0; position < archives.size(); ++position) {
            const LoadedArchive loaded(IniMetafileModel::SFX, QStringLiteral("x/sfx_import.ini"), tree.ArchiveIndexes().at(position), QString());
            QCOMPARE(loaded.VirtualPath("Bank_001/sound_002.wav"), archives.at(position).pathPrefix + "Bank_001\\sound_002.wav");
            names << archives.at(position).TreeName();
        }
        QCOMPARE(names, QStringList({"SFX > GENRL", "SFX > FEET", "Streams > Radio/Talk > AA"}));
    }

    void FindsEntriesHoldingEveryWord_data()
    {
        QTest::addColumn<QString>("query");
        QTest::addColumn<QStringList>("expected");
        const QString door9 = "SFX > GENRL|Bank_002/sound_9.wav|Door knock", door10 = "SFX > GENRL|Bank_002/sound_010.wav|Door creak";
        const QString slam = "SFX > GENRL|Bank_010/sound_001.wav|Door slam \u00B7 metal", step = "SFX > FEET|Bank_001/sound_001.wav|Footstep \u00B7 gravel";
        const QString jingle = "Streams > Radio/Talk > AA|Track_003.ogg|Radio jingle";
        const QString sofos = "Streams > Radio/Talk > AA|Track_012.ogg|\u03C3\u03BF\u03C6\u03BF\u03C2 intro";
        QTest::newRow("a word of descriptions, sorted by bank and sound") << "door" << QStringList{door9, door10, slam};
        QTest::newRow("every word, in any order") << "METAL  door" << QStringList{slam};
        QTest::newRow("one word missing") << "door gravel" << QStringList();
        QTest::newRow("tree names") << "talk" << QStringList{jingle, sofos};
        QTest::newRow("entry name") << "sound_010" << QStringList{door10};
        QTest::newRow("case folding, not lower case") << "\u03A3\u039F\u03A6\u039F\u03A3" << QStringList{sofos};
        QTest::newRow("case folding of the query") << "\u03C3\u03BF\u03C6\u03BF\u03C2" << QStringList{sofos};
        QTest::newRow("no word across two texts") << "genrlbank" << QStringList();
        QTest::newRow("everything in tree order") << "_" << QStringList{door9, door10, slam, step, jingle, sofos};
        QTest::newRow("empty query") << "" << QStringList();
        QTest::newRow("blanks only") << " \t " << QStringList();
    }

    void FindsEntriesHoldingEveryWord()
    {
        QFETCH(QString, query);
        QFETCH(QStringList, expected);
        const DescriptionCatalog catalog(Archives(), Described({
            {aa + "Track_012.ogg", "\u03C3\u03BF\u03C6\u03BF\u03C2 intro"}, {feet + "Bank_001\\sound_001.wav", "Footstep;gravel"},
            {genrl + "Bank_010\\sound_001.wav", "Door slam;;metal"}, {genrl + "Bank_002\\sound_010.wav", "Door creak"},
            {aa + "Track_003.ogg", "Radio jingle"}, {genrl + "Bank_002\\sound_9.wav", "Door knock"},
            {genrl + "Bank_003\\sound_001.wav", ";"}, {"Archiv\\Elsewhere\\X\\door_1.wav", "Door"},
            {genrl, "Door of the archive itself"}}));
        QStringList found;
        for (const int position : catalog.Search(query)) {
            const CatalogEntry &entry = catalog.Entries().at(position);
            found << QStringList{catalog.Archives().at(entry.archive).TreeName(), entry.entryName, entry.description}.join('|');
        }
        QCOMPARE(found, expected);
    }

    void UnreadableUserFileIsNeverOverwritten_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("message");
        QTest::newRow("unclosed element") << QByteArray("<R>\n<InfoData Id=\"1\" Text=\"a\">\n</R>\n") << "Line: 3";
        QTest::newRow("no XML") << QByteArray("notes") << "Line: 1";
        QTest::newRow("a folder in its place") << QByteArray() << "could not be opened.";
    }

    void UnreadableUserFileIsNeverOverwritten()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        ScratchFiles files;
        const QString path = content.isNull() ? files.Path("user-metadata.xml") : files.Write(content);
        if (content.isNull())
            QVERIFY(QDir().mkdir(path));
        UserDescriptions user(path);
        const QString error = user.Read();
        QVERIFY2(error.startsWith(path) && error.contains(message), qPrintable(error));
        QCOMPARE(user.SetDescription(genrl + "a.wav", QStringLiteral("text")), error);
        QVERIFY(user.Texts().isEmpty());
        QCOMPARE(Content(path), content.isNull() ? QByteArray("(unreadable)") : content);
    }

    void RewriteKeepsEveryOtherElement_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::addColumn<StringMap>("texts");
        QTest::addColumn<bool>("bOldKept");
        QTest::newRow("a path whose text another shares") << "P1" << "new" << StringMap{{"P1", "new"}, {"P2", "shared"}, {"P3", "old"}} << true;
        QTest::newRow("removing a path drops its text") << "P3" << "" << StringMap{{"P1", "shared"}, {"P2", "shared"}} << false;
        QTest::newRow("a new path") << "P4" << "a&<\"b" << StringMap{{"P1", "shared"}, {"P2", "shared"}, {"P3", "old"}, {"P4", "a&<\"b"}} << true;
    }

    void RewriteKeepsEveryOtherElement()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QFETCH(StringMap, texts);
        QFETCH(bool, bOldKept);
        ScratchFiles files;
        const QString file = files.Write("<!-- mine -->\n<Root xmlns:x=\"urn:x\">\n  <Note lang=\"en\">keep me</Note>\n  <x:Extra/>\n"
                                         "  <InfoData Id=\"1\" Text=\"shared\"/>\n  <InfoData Id=\"2\" Text=\"old\"/>\n"
                                         "  <InfoData Id=\"9\" Text=\"orphan\"/>\n  <MetaData VirtualPath=\"P1\" InfoDataItemId=\"1\"/>\n"
                                         "  <MetaData VirtualPath=\"P2\" InfoDataItemId=\"1\"/>\n"
                                         "  <MetaData VirtualPath=\"P3\" InfoDataItemId=\"2\"/>\n</Root>\n");
        UserDescriptions user(file);
        QVERIFY(user.Read().isNull());
        QVERIFY(user.SetDescription(path, text).isNull());
        UserDescriptions again(file);
        QVERIFY(again.Read().isNull());
        QCOMPARE(again.Texts(), texts);
        const QByteArray written = Content(file);
        for (const char *kept : {"<!-- mine -->", "<Note lang=\"en\">keep me</Note>", "<x:Extra/>", "Text=\"orphan\""})
            QVERIFY2(written.contains(kept), written.constData());
        QCOMPARE(written.contains("Text=\"old\""), bOldKept);
    }

    void SharedRowsComeBackAsTheyWent_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("line");
        QTest::newRow("plain") << genrl + "a.wav" << "quiet;soft" << "Archiv\\SFX\\GENRL\\a.wav,quiet;soft";
        QTest::newRow("comma") << "P,1" << "a, b" << "\"P,1\",\"a, b\"";
        QTest::newRow("quotes") << "P" << "say \"hi\"" << "P,\"say \"\"hi\"\"\"";
        QTest::newRow("empty lines dropped") << "P" << ";a;;b;" << "P,a;b";
        QTest::newRow("a line break kept") << "P" << "Z\u00FCrich\nend" << "P,\"Z\u00FCrich\nend\"";
    }

    void SharedRowsComeBackAsTheyWent()
    {
        QFETCH(QString, path);
        QFETCH(QString, text);
        QFETCH(QString, line);
        ScratchFiles files;
        const QString csv = files.Path(QStringLiteral("shared.csv"));
        const XmlMetaData known = Described({{path, text}, {"Q", ";"}});
        QVERIFY(ExportDescriptions(csv, known).isNull());
        QCOMPARE(QString::fromUtf8(Content(csv)), "virtual path,description\r\n" + line + "\r\n");
        const DescriptionImport fresh = ReadDescriptionImport(csv, XmlMetaData(), Archives());
        QCOMPARE(fresh.rows, StringMap({{path, DescriptionLines(text).join(';')}}));
        QCOMPARE(fresh.unknownPaths, path.startsWith(genrl) ? QStringList() : QStringList{path});
        QCOMPARE(ReadDescriptionImport(csv, known, Archives()).equalPaths, QStringList{path});
    }

    void SortsImportedRowsAndAppliesThem_data()
    {
        QTest::addColumn<bool>("bTakeFileTexts");
        QTest::addColumn<StringMap>("userTexts");
        const QString gone = QStringLiteral("Archiv\\Gone\\n.wav");
        QTest::newRow("keep the known texts") << false << StringMap{{genrl + "c.wav", "w"}, {gone, "v"}};
        QTest::newRow("take the file's texts") << true << StringMap{{genrl + "b.wav", "z"}, {genrl + "c.wav", "w"}, {gone, "v"}};
    }

    void SortsImportedRowsAndAppliesThem()
    {
        QFETCH(bool, bTakeFileTexts);
        QFETCH(StringMap, userTexts);
        ScratchFiles files;
        const QString csv = files.Write("virtual path,description\nArchiv\\SFX\\GENRL\\a.wav,x\nArchiv\\SFX\\GENRL\\b.wav,z\n"
                                        "Archiv\\SFX\\GENRL\\c.wav,w\nArchiv\\Gone\\n.wav,v\n");
        const XmlMetaData known = Described({{genrl + "a.wav", "x"}, {genrl + "b.wav", "y"}});
        const DescriptionImport import = ReadDescriptionImport(csv, known, Archives());
        QCOMPARE(import.newPaths, QStringList({"Archiv\\Gone\\n.wav", genrl + "c.wav"}));
        QCOMPARE(import.equalPaths, QStringList{genrl + "a.wav"});
        QVERIFY(import.differing.size() == 1 && import.differing.first().virtualPath + import.differing.first().knownText
                                                  + import.differing.first().fileText == genrl + "b.wavyz");
        QCOMPARE(import.unknownPaths, QStringList{"Archiv\\Gone\\n.wav"});
        UserDescriptions user(files.Path(QStringLiteral("user-metadata.xml")));
        QVERIFY(user.Read().isNull());
        QVERIFY(ApplyDescriptionImport(import, bTakeFileTexts, user).isNull());
        UserDescriptions again(user.FilePath());
        QVERIFY(again.Read().isNull());
        QCOMPARE(again.Texts(), userTexts);
    }

    void ReadsEitherFormOrNamesWhereItStopped_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<StringMap>("rows");
        QTest::addColumn<int>("line");  // where reading stopped; 0 when it did not
        const QByteArray header = "virtual path,description\n";
        QTest::newRow("CSV with BOM, LF, no last line end") << "\xEF\xBB\xBF" + header + "P,x" << StringMap{{"P", "x"}} << 0;
        QTest::newRow("the last row counts, empty ones none") << header + "P,a\n\nP,b\nQ,\n" << StringMap{{"P", "b"}} << 0;
        QTest::newRow("MetaData.xml form") << QByteArray(" <R><InfoData Id=\"1\" Text=\"a;;b\"/><MetaData VirtualPath=\"P\" InfoDataItemId=\"1\"/></R>")
                                           << StringMap{{"P", "a;b"}} << 0;
        QTest::newRow("plain text") << QByteArray("just some notes\n") << StringMap() << 1;
        QTest::newRow("another header") << QByteArray("path;text\nP;a\n") << StringMap() << 1;
        QTest::newRow("three fields") << header + "P,a\nQ,b,c\n" << StringMap() << 3;
        QTest::newRow("a quote never closed") << header + "P,\"a\nb\nc\n" << StringMap() << 4;
        QTest::newRow("a quote in a plain field") << header + "P,say \"hi\"\n" << StringMap() << 2;
        QTest::newRow("text after a closing quote") << header + "\"P\"x,a\n" << StringMap() << 2;
        QTest::newRow("a row without a path") << header + ",a\n" << StringMap() << 2;
        QTest::newRow("not UTF-8") << header + "P,a\nQ,\xFF\n" << StringMap() << 3;
        QTest::newRow("a character cut short at a line's end") << header + "P,\xE2\x82\nQ,b\n" << StringMap() << 2;
        QTest::newRow("broken XML") << QByteArray("<R>\n<A>\n</B>\n</R>\n") << StringMap() << 3;
    }

    void ReadsEitherFormOrNamesWhereItStopped()
    {
        QFETCH(QByteArray, content);
        QFETCH(StringMap, rows);
        QFETCH(int, line);
        ScratchFiles files;
        const QString path = files.Write(content);
        const DescriptionImport import = ReadDescriptionImport(path, XmlMetaData(), Archives());
        const bool bRefused = import.error.startsWith(QFileInfo(path).fileName())
                           && import.error.contains(QStringLiteral("reading stopped at line %1:").arg(line));
        QVERIFY2(line == 0 ? import.error.isNull() : bRefused, qPrintable(import.error));
        QCOMPARE(import.rows, rows);
        QCOMPARE(import.newPaths, rows.keys());
    }
};

QTEST_MAIN(TestCatalog)
#include "tst_Catalog.moc"
