#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>
#include <QtTest>

#include "Sanitized.h"
#include "ScriptedDialogs.h"
#include "app/MainWindow.h"

namespace
{
const char *const configuration = "SFX\n"
                                  "  FEET\taudio/SFX/FEET\tSFX\taudio/CONFIG/BankLkup.dat\n"
                                  "Streams\n"
                                  "  AA\taudio/streams/AA\tSTREAM\taudio/CONFIG/TrakLkup.dat\n"
                                  "  CAF\xc9\taudio/streams/CAFE\tSTREAM\taudio/CONFIG/TrakLkup.dat\n";
const char *const metaDataXml = "<?xml version=\"1.0\"?>\n<Root>\n"
                                "  <InfoData Id=\"1\" Text=\"a;b\"/>\n"
                                "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\s.wav\" InfoDataItemId=\"1\"/>\n"
                                "</Root>\n";
const QString noConfiguration =
    "Error: Failed to load configuration.\nConfiguration-file could not be found or isn't accessable.";

QString BesideProgram(const QString &name)
{
    return QCoreApplication::applicationDirPath() + '/' + name;
}

// Puts a file of the given kind where the program looks for it: "file" with the content, a
// "folder", a "huge" sparse file of 300 MB, a "device" that never ends, or nothing ("missing").
bool Place(const QString &path, const QString &kind, const QByteArray &content = QByteArray())
{
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return false;
    QFile file(path);
    if (kind == "missing")
        return true;
    if (kind == "folder")
        return QDir().mkpath(path);
    if (kind == "device")
        return QFile::link("/dev/zero", path);
    if (kind == "huge")
        return file.open(QIODevice::WriteOnly) && file.resize(qint64(300) * 1024 * 1024);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

// Bytes of every value, the same on every run.
QByteArray Noise(int size)
{
    QByteArray bytes(size, '\0');
    quint32 state = 12345;
    for (char &byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = char(state >> 23);
    }
    return bytes;
}

QTreeView *ArchiveView(const QMainWindow &window)
{
    return window.findChild<QTreeView *>("archiveView");
}

// The archive tree two levels deep, children indented.
QStringList ArchiveNames(const QMainWindow &window)
{
    QStringList names;
    const QAbstractItemModel *model = ArchiveView(window)->model();
    for (int row = 0; model && row < model->rowCount(); ++row) {
        const QModelIndex group = model->index(row, 0);
        names << group.data().toString();
        for (int child = 0; child < model->rowCount(group); ++child)
            names << "  " + model->index(child, 0, group).data().toString();
    }
    return names;
}

void Show(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

// The window's own member hides QMainWindow::statusBar(); the base class still answers.
QString StatusText(QMainWindow &window)
{
    return window.statusBar()->currentMessage();
}

QString SettingsValue(const QString &key)
{
    return QSettings("settings.ini", QSettings::IniFormat).value(key).toString();
}
}

class TestMainWindowStartup : public QObject
{
    Q_OBJECT
private slots:
    void init();
    void cleanup();

    void ShowsStartUpMessagesInOrder_data();
    void ShowsStartUpMessagesInOrder();
    void FollowsUseKivoMetadata_data();
    void FollowsUseKivoMetadata();
    void WritesTheSettingsBackOnClose_data();
    void WritesTheSettingsBackOnClose();
    void WarnsWhenTheSettingsCannotBeWritten();
    void AsksForBothFoldersWithoutUsableSettings_data();
    void AsksForBothFoldersWithoutUsableSettings();
    void StartsDespiteBadFilesBesideTheProgram_data();
    void StartsDespiteBadFilesBesideTheProgram();
    void ShowsTheAboutBoxes();

private:
    void WriteSettings(const QMap<QString, QVariant> &more = {}) const
    {
        QSettings settings("settings.ini", QSettings::IniFormat);
        settings.setValue("WorkingDirectory", workFolder);
        settings.setValue("GtaDirectory", gtaFolder);
        for (auto it = more.begin(); it != more.end(); ++it)
            settings.setValue(it.key(), it.value());
    }

    std::unique_ptr<QTemporaryDir> home;
    QString startDirectory;
    QString workFolder;
    QString gtaFolder;
    std::unique_ptr<ScriptedDialogs> dialogs;
};

void TestMainWindowStartup::init()
{
    // Settings live in the current directory: every test starts in a fresh one.
    startDirectory = QDir::currentPath();
    home = std::make_unique<QTemporaryDir>();
    QVERIFY(QDir::setCurrent(home->path()));
    workFolder = home->filePath("work folder");
    gtaFolder = home->filePath("GTA San Andreas");
    QVERIFY(QDir().mkpath(workFolder) && QDir().mkpath(gtaFolder));
    QVERIFY(Place(BesideProgram("configuration.ini"), "file", configuration));
    QVERIFY(Place(BesideProgram("MetaData.xml"), "file", metaDataXml));
    dialogs = std::make_unique<ScriptedDialogs>();
}

void TestMainWindowStartup::cleanup()
{
    dialogs.reset();
    for (const char *name : {"configuration.ini", "MetaData.xml", "metadata-full.ini", "settings.ini"}) {
        const QString path = BesideProgram(QString::fromLatin1(name));
        QFileInfo(path).isDir() ? QDir(path).removeRecursively() : QFile::remove(path);
    }
    QDir::setCurrent(startDirectory);
    home.reset();
}

void TestMainWindowStartup::ShowsStartUpMessagesInOrder_data()
{
    QTest::addColumn<bool>("bConfiguration");
    QTest::addColumn<QByteArray>("xml");  // "missing": no file
    QTest::addColumn<bool>("bSettings");
    QTest::addColumn<QStringList>("headlines");  // titles of boxes, captions of choosers

    const QStringList folders{"Workingdirectory", "chooser: Select a working directory", "GTA Folder was not found.",
                              "chooser: "};
    QTest::newRow("all there") << true << QByteArray(metaDataXml) << true << QStringList{};
    QTest::newRow("everything missing") << false << QByteArray("missing") << false << QStringList{"Error", "Error"} + folders;
    QTest::newRow("descriptions broken, configuration missing")
        << false << QByteArray("<Root>") << true << QStringList{"Error in Xml-File", "Error"};
}

void TestMainWindowStartup::ShowsStartUpMessagesInOrder()
{
    QFETCH(bool, bConfiguration);
    QFETCH(QByteArray, xml);
    QFETCH(bool, bSettings);
    QFETCH(QStringList, headlines);
    if (!bConfiguration)
        QVERIFY(Place(BesideProgram("configuration.ini"), "missing"));
    QVERIFY(Place(BesideProgram("MetaData.xml"), xml == "missing" ? "missing" : "file", xml));
    if (bSettings)
        WriteSettings();

    MainWindow window;
    QStringList shown = dialogs->Log();
    for (QString &line : shown)
        line = line.startsWith("chooser: ") ? line : line.section(": ", 0, 0);
    QCOMPARE(shown, headlines);
    if (xml == "missing")
        QCOMPARE(dialogs->Log().first(), "Error: " + BesideProgram("MetaData.xml") + " could not be opened.");
    if (!bConfiguration)
        QVERIFY(dialogs->Log().contains(noConfiguration));
}

void TestMainWindowStartup::FollowsUseKivoMetadata_data()
{
    QTest::addColumn<QString>("stored");  // empty: no key
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("written");

    QTest::newRow("missing means on") << "" << "Radio Los Santos" << "true";
    QTest::newRow("true") << "true" << "Radio Los Santos" << "true";
    QTest::newRow("false") << "false" << "AA" << "false";
    QTest::newRow("0 is false") << "0" << "AA" << "false";
    QTest::newRow("other text is true") << "yes" << "Radio Los Santos" << "true";
}

void TestMainWindowStartup::FollowsUseKivoMetadata()
{
    QFETCH(QString, stored);
    QFETCH(QString, shownName);
    QFETCH(QString, written);
    QVERIFY(Place(BesideProgram("metadata-full.ini"), "file", "stream = AA\nstation = Radio Los Santos\n"));
    WriteSettings(stored.isEmpty() ? QMap<QString, QVariant>() : QMap<QString, QVariant>{{"UseKivoMetadata", stored}});
    {
        MainWindow window;
        QVERIFY(dialogs->shown.isEmpty());
        // The configuration is read as Latin-1.
        QCOMPARE(ArchiveNames(window), (QStringList{"SFX", "  FEET", "Streams", "  " + shownName, QStringLiteral("  CAF\u00c9")}));
        window.close();
    }
    QFile file("settings.ini");
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("UseKivoMetadata=" + written.toLatin1() + '\n'));
}

void TestMainWindowStartup::WritesTheSettingsBackOnClose_data()
{
    QTest::addColumn<bool>("bByExit");
    QTest::newRow("Exit") << true;
    QTest::newRow("window frame") << false;
}

void TestMainWindowStartup::WritesTheSettingsBackOnClose()
{
    QFETCH(bool, bByExit);
    const QMap<QString, QVariant> stored{{"LastImportDirectory", "C:\\Sounds\\new wav"},
                                         {"LastExportDirectory", home->filePath(QStringLiteral("export \u00e9t\u00e9 = ; #"))},
                                         {"UseKivoMetadata", false}};
    // A settings file beside the program is not the one used.
    QSettings(BesideProgram("settings.ini"), QSettings::IniFormat).setValue("WorkingDirectory", home->path());
    WriteSettings(stored);
    {
        MainWindow window;
        QVERIFY(dialogs->shown.isEmpty());
        QCOMPARE(StatusText(window), workFolder);
        Show(window);
        // Gone from the disk while the program runs: the values alone are written back.
        QVERIFY(QFile::remove("settings.ini"));
        bByExit ? window.Exit() : void(window.close());
        QVERIFY(!window.isVisible());
    }
    QCOMPARE(QSettings("settings.ini", QSettings::IniFormat).allKeys().size(), 5);
    QCOMPARE(SettingsValue("WorkingDirectory"), workFolder);
    QCOMPARE(SettingsValue("GtaDirectory"), gtaFolder);
    for (auto it = stored.begin(); it != stored.end(); ++it)
        QCOMPARE(SettingsValue(it.key()), it.value().toString());
    QVERIFY(dialogs->shown.isEmpty());
}

void TestMainWindowStartup::WarnsWhenTheSettingsCannotBeWritten()
{
    WriteSettings();
    {
        MainWindow window;
        QVERIFY(dialogs->shown.isEmpty());
        // A folder in the way of the file: nothing can be written there.
        QVERIFY(Place("settings.ini", "folder"));
        window.close();
    }
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Warning);
    QCOMPARE(dialogs->shown.first().title, "Warning");
    QVERIFY2(dialogs->shown.first().text.contains(QDir::current().absoluteFilePath("settings.ini")),
             qPrintable(dialogs->shown.first().text));
}

void TestMainWindowStartup::AsksForBothFoldersWithoutUsableSettings_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no settings file at all
    QTest::addColumn<bool>("bAnswered");      // false: both choosers cancelled
    QTest::newRow("first start") << QByteArray() << true;
    QTest::newRow("first start, choosers cancelled") << QByteArray() << false;
    QTest::newRow("empty") << QByteArray("") << true;
    QTest::newRow("binary") << Noise(64 * 1024) << true;
    QTest::newRow("enormous") << Noise(1024 * 1024).toHex().repeated(8) << true;
    QTest::newRow("keys inside a group") << QByteArray("[Folders]\nWorkingDirectory=/tmp\nGtaDirectory=/tmp\n") << true;
    QTest::newRow("stored variant of another type")
        << QByteArray("WorkingDirectory=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\nQDateTime\\0\\0)\n"
                      "GtaDirectory=@ByteArray(\\xff\\xfe)\n") << true;
    QTest::newRow("folder name longer than any path")
        << "WorkingDirectory=" + QByteArray(100000, 'w') + "\nGtaDirectory=" + QByteArray(100000, 'g') + '\n' << true;
}

void TestMainWindowStartup::AsksForBothFoldersWithoutUsableSettings()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, bAnswered);
    if (!content.isNull())
        QVERIFY(Place("settings.ini", "file", content));
    if (bAnswered)
        dialogs->paths << workFolder << gtaFolder;
    {
        MainWindow window;
        QCOMPARE(dialogs->Log(),
                 (QStringList{"Workingdirectory: No working directory was defined or the old one wasn't found.\n"
                              "Please choose a new directory.",
                              "chooser: Select a working directory",
                              "GTA Folder was not found.: GTA Folder was not found or was not specified. "
                              "Please select your GTA Folder",
                              "chooser: "}));
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(dialogs->shown.at(i).kind,
                     i % 2 ? UserDialogs::Kind::ExistingDirectory : UserDialogs::Kind::Information);
            QCOMPARE(dialogs->shown.at(i).pParent, &window);
            QCOMPARE(dialogs->shown.at(i).directory, QString());
        }
        QCOMPARE(StatusText(window), bAnswered ? workFolder : QString());
        Show(window);
        window.close();
    }
    QCOMPARE(dialogs->shown.size(), 4);
    // Every key is written back, the folders as chosen or empty.
    const QSettings settings("settings.ini", QSettings::IniFormat);
    for (const char *key : {"WorkingDirectory", "LastImportDirectory", "LastExportDirectory", "GtaDirectory"})
        QVERIFY2(settings.contains(QLatin1String(key)), key);
    QCOMPARE(SettingsValue("WorkingDirectory"), bAnswered ? workFolder : QString());
    QCOMPARE(SettingsValue("GtaDirectory"), bAnswered ? gtaFolder : QString());
    QCOMPARE(SettingsValue("UseKivoMetadata"), "true");
}

void TestMainWindowStartup::StartsDespiteBadFilesBesideTheProgram_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("kind");          // how the file is put there
    QTest::addColumn<QString>("title");         // of the one box, or empty for none
    QTest::addColumn<int>("topLevelRows");      // of the archive tree; -1: any

    QByteArray many("<Root>\n");
    for (int i = 0; i < 100000; ++i)
        many += "<MetaData VirtualPath=\"Archiv\\S\\" + QByteArray::number(i) + ".wav\" InfoDataItemId=\"1\"/>\n";
    many += "</Root>\n";
    const struct
    {
        const char *name, *tag;
        QByteArray content;
        const char *kind, *title;
        int rows;
    } rows[] = {
        {"configuration.ini", "missing", {}, "missing", "Error", 0},
        {"configuration.ini", "empty", {}, "file", "", 0},
        {"configuration.ini", "binary", Noise(256 * 1024), "file", "", -1},
        {"configuration.ini", "a hundred thousand archives", "Group\n" + QByteArray("  L\tp\tSFX\tb\n").repeated(100000),
         "file", "", 1},
        {"configuration.ini", "one very long line", QByteArray(longLine, 'n'), "file", "", 1},
        {"configuration.ini", "a folder", {}, "folder", "Error", 0},
        {"configuration.ini", "far larger than any real file", {}, "huge", "Error", 0},
        {"configuration.ini", "a device without end", {}, "device", "Error", 0},
        {"metadata-full.ini", "empty", {}, "file", "", 2},
        {"metadata-full.ini", "binary", Noise(256 * 1024), "file", "", 2},
        {"metadata-full.ini", "one very long line", QByteArray(longLine, 's'), "file", "", 2},
        {"metadata-full.ini", "a folder", {}, "folder", "", 2},
        {"metadata-full.ini", "a device without end", {}, "device", "", 2},
        {"MetaData.xml", "empty", {}, "file", "Error in Xml-File", 2},
        {"MetaData.xml", "binary", Noise(256 * 1024), "file", "Error in Xml-File", 2},
        {"MetaData.xml", "a hundred thousand entries", many, "file", "", 2},
        {"MetaData.xml", "a folder", {}, "folder", "Error", 2},
        {"MetaData.xml", "far larger than any real file", {}, "huge", "Error", 2},
        {"MetaData.xml", "a device without end", {}, "device", "Error", 2},
    };
    for (const auto &row : rows)
        QTest::addRow("%s: %s", row.name, row.tag) << row.name << row.content << row.kind << row.title << row.rows;
}

void TestMainWindowStartup::StartsDespiteBadFilesBesideTheProgram()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(int, topLevelRows);
    QVERIFY(Place(BesideProgram(name), kind, content));
    WriteSettings();

    MainWindow window;
    QCOMPARE(dialogs->shown.size(), title.isEmpty() ? 0 : 1);
    const bool bConfiguration = name == "configuration.ini";
    if (!title.isEmpty()) {
        QCOMPARE(dialogs->shown.first().title, title);
        // Only the configuration's box has the window for a parent: the descriptions are read before it stands.
        QCOMPARE(dialogs->shown.first().pParent, bConfiguration ? &window : nullptr);
    }
    if (bConfiguration && !title.isEmpty()) {
        QCOMPARE(dialogs->Log(), QStringList{noConfiguration});
        QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Critical);
        QCOMPARE(ArchiveView(window)->model(), nullptr);
    }
    if (!bConfiguration)  // station names fall back to the folder names
        QCOMPARE(ArchiveNames(window).mid(0, 4), (QStringList{"SFX", "  FEET", "Streams", "  AA"}));
    if (topLevelRows >= 0)
        QCOMPARE(ArchiveView(window)->model() ? ArchiveView(window)->model()->rowCount() : 0, topLevelRows);
    Show(window);
    ArchiveView(window)->expandAll();
    QVERIFY(!window.grab().isNull());  // every row measured and drawn once
}

void TestMainWindowStartup::ShowsTheAboutBoxes()
{
    WriteSettings();
    MainWindow window;
    Show(window);
    // The boxes are modal: look at each from inside its own event loop, then close it.
    QStringList seen;
    QList<QWidget *> parents;
    bool bLogo = false, bName = false;
    const auto inspectAndClose = [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box)
            return;
        seen << box->windowTitle();
        parents << box->parentWidget();
        for (const QLabel *label : box->findChildren<QLabel *>()) {
            bLogo = bLogo || label->pixmap().size() == QSize(96, 85);
            bName = bName || label->text().contains("RozivOze");
        }
        QTest::keyClick(box, Qt::Key_Escape);
    };
    QTimer::singleShot(0, &window, inspectAndClose);
    window.ShowAbout();
    QVERIFY(bLogo && bName);
    QTimer::singleShot(0, &window, inspectAndClose);
    window.ShowAboutQt();
    QCOMPARE(seen, (QStringList{"About", "About Qt"}));
    QCOMPARE(parents, (QList<QWidget *>{&window, &window}));
}

QTEST_MAIN(TestMainWindowStartup)
#include "tst_MainWindowStartup.moc"
