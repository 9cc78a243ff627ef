#include <QAbstractItemModel>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QSettings>
#include <QSplitter>
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
const char *const configuration =
    "SFX\n"
    "  FEET\taudio/SFX/FEET\tSFX\taudio/CONFIG/BankLkup.dat\n"
    "Streams\n"
    "  AA\taudio/streams/AA\tSTREAM\taudio/CONFIG/TrakLkup.dat\n"
    "  CAF\xc9\taudio/streams/CAFE\tSTREAM\taudio/CONFIG/TrakLkup.dat\n";

const char *const metaDataXml =
    "<?xml version=\"1.0\"?>\n<Root>\n"
    "  <InfoData Id=\"1\" Text=\"a;b\"/>\n"
    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\s.wav\" InfoDataItemId=\"1\"/>\n"
    "</Root>\n";

const QString noConfiguration = QStringLiteral(
    "Error: Failed to load configuration.\nConfiguration-file could not be found or isn't accessable.");
const QStringList askBothFolders{
    "Workingdirectory: No working directory was defined or the old one wasn't found.\nPlease choose a new directory.",
    "chooser: Select a working directory",
    "GTA Folder was not found.: GTA Folder was not found or was not specified. Please select your GTA Folder",
    "chooser: "};

QString BesideProgram(const QString &name)
{
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') + name;
}

bool WriteFile(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(content) == content.size();
}

// Puts a file of the given kind where the program looks for it: "file" with the content, a
// "folder", a "huge" sparse file of 300 MB, a "device" that never ends, or nothing ("missing").
bool Place(const QString &path, const QString &kind, const QByteArray &content)
{
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return false;
    if (kind == QLatin1String("missing"))
        return true;
    if (kind == QLatin1String("folder"))
        return QDir().mkpath(path);
    if (kind == QLatin1String("device"))
        return QFile::link(QStringLiteral("/dev/zero"), path);
    if (kind == QLatin1String("huge")) {
        QFile huge(path);
        return huge.open(QIODevice::WriteOnly) && huge.resize(qint64(300) * 1024 * 1024);
    }
    return WriteFile(path, content);
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

// Titles of boxes and captions of choosers, to compare orders without the longer texts.
QStringList Headlines(const ScriptedDialogs &dialogs)
{
    QStringList lines;
    for (const QString &line : dialogs.Log())
        lines << (line.startsWith(QLatin1String("chooser: ")) ? line : line.section(QStringLiteral(": "), 0, 0));
    return lines;
}

// The window's own member hides QMainWindow::statusBar(); the base class still answers.
QString StatusText(QMainWindow &window)
{
    return window.statusBar()->currentMessage();
}

QTreeView *ArchiveView(const QMainWindow &window)
{
    return window.findChild<QTreeView *>(QStringLiteral("archiveView"));
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
            names << QStringLiteral("  ") + model->index(child, 0, group).data().toString();
    }
    return names;
}

void Show(QWidget &window)
{
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
}

QString SettingsValue(const char *key)
{
    return QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat).value(QLatin1String(key)).toString();
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
    void ArrangesTheWindow();
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
    void WriteGoodSettings(const QString &useKivoMetadata = QString());

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
    QVERIFY(home->isValid());
    QVERIFY(QDir::setCurrent(home->path()));
    workFolder = home->filePath(QStringLiteral("work folder"));
    gtaFolder = home->filePath(QStringLiteral("GTA San Andreas"));
    QVERIFY(QDir().mkpath(workFolder));
    QVERIFY(QDir().mkpath(gtaFolder));
    QVERIFY(WriteFile(BesideProgram(QStringLiteral("configuration.ini")), configuration));
    QVERIFY(WriteFile(BesideProgram(QStringLiteral("MetaData.xml")), metaDataXml));
    dialogs = std::make_unique<ScriptedDialogs>();
}

void TestMainWindowStartup::cleanup()
{
    dialogs.reset();
    for (const char *name : {"configuration.ini", "MetaData.xml", "metadata-full.ini", "settings.ini"}) {
        const QString path = BesideProgram(QString::fromLatin1(name));
        if (QFileInfo(path).isDir())
            QDir(path).removeRecursively();
        else
            QFile::remove(path);
    }
    QDir::setCurrent(startDirectory);
    home.reset();
}

void TestMainWindowStartup::WriteGoodSettings(const QString &useKivoMetadata)
{
    QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
    settings.setValue(QStringLiteral("WorkingDirectory"), workFolder);
    settings.setValue(QStringLiteral("GtaDirectory"), gtaFolder);
    if (!useKivoMetadata.isEmpty())
        settings.setValue(QStringLiteral("UseKivoMetadata"), useKivoMetadata);
}

void TestMainWindowStartup::ShowsStartUpMessagesInOrder_data()
{
    QTest::addColumn<bool>("withConfiguration");
    QTest::addColumn<QByteArray>("xml");
    QTest::addColumn<bool>("withSettings");
    QTest::addColumn<QStringList>("headlines");

    const QStringList folders{"Workingdirectory", "chooser: Select a working directory", "GTA Folder was not found.",
                              "chooser: "};
    QTest::newRow("all there") << true << QByteArray(metaDataXml) << true << QStringList{};
    QTest::newRow("everything missing")
        << false << QByteArray("missing") << false << QStringList{"Error", "Error"} + folders;
    QTest::newRow("descriptions broken, configuration missing")
        << false << QByteArray("<Root>") << true << QStringList{"Error in Xml-File", "Error"};
}

void TestMainWindowStartup::ShowsStartUpMessagesInOrder()
{
    QFETCH(bool, withConfiguration);
    QFETCH(QByteArray, xml);
    QFETCH(bool, withSettings);
    QFETCH(QStringList, headlines);
    if (!withConfiguration)
        QVERIFY(QFile::remove(BesideProgram(QStringLiteral("configuration.ini"))));
    if (xml == "missing")
        QVERIFY(QFile::remove(BesideProgram(QStringLiteral("MetaData.xml"))));
    else
        QVERIFY(WriteFile(BesideProgram(QStringLiteral("MetaData.xml")), xml));
    if (withSettings)
        WriteGoodSettings();

    MainWindow window;
    QCOMPARE(Headlines(*dialogs), headlines);
    if (xml == "missing")
        QCOMPARE(dialogs->Log().first(),
                 "Error: " + BesideProgram(QStringLiteral("MetaData.xml")) + " could not be opened.");
    if (!withConfiguration)
        QVERIFY(dialogs->Log().contains(noConfiguration));
}

void TestMainWindowStartup::ArrangesTheWindow()
{
    WriteGoodSettings();
    MainWindow window;
    QCOMPARE(dialogs->Log(), QStringList{});
    QCOMPARE(window.windowTitle(), QStringLiteral("Zelt's KIVO GUI RozivOze 1.0"));
    const QImage icon = window.windowIcon().pixmap(QSize(16, 16)).toImage();
    QCOMPARE(icon, QImage(QStringLiteral(":/main_icon")).convertToFormat(icon.format()));
    QCOMPARE(StatusText(window), workFolder);

    // Archives, entries and the hidden metadata list side by side, in this order.
    auto *splitter = window.findChild<QSplitter *>();
    QVERIFY(splitter && splitter->count() == 3);
    QCOMPARE(splitter->widget(0), ArchiveView(window));
    QCOMPARE(splitter->widget(1), window.findChild<QTreeView *>(QStringLiteral("entryView")));
    QCOMPARE(splitter->widget(2), window.findChild<QListView *>(QStringLiteral("metaList")));
    QVERIFY(splitter->widget(2)->isHidden());
    QCOMPARE(ArchiveView(window)->model()->headerData(0, Qt::Horizontal).toString(), QStringLiteral("Archiv"));
    Show(window);
}

void TestMainWindowStartup::FollowsUseKivoMetadata_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("shownName");
    QTest::addColumn<QString>("written");

    QTest::newRow("missing means on") << QString() << "Radio Los Santos" << "true";
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
    QVERIFY(WriteFile(BesideProgram(QStringLiteral("metadata-full.ini")), "stream = AA\nstation = Radio Los Santos\n"));
    WriteGoodSettings(stored);
    {
        MainWindow window;
        QVERIFY(dialogs->shown.isEmpty());
        // The configuration is read as Latin-1.
        QCOMPARE(ArchiveNames(window),
                 (QStringList{"SFX", "  FEET", "Streams", "  " + shownName, QStringLiteral("  CAF\u00c9")}));
        window.close();
    }
    QFile file(QStringLiteral("settings.ini"));
    QVERIFY(file.open(QIODevice::ReadOnly));
    QVERIFY(file.readAll().contains("UseKivoMetadata=" + written.toLatin1() + '\n'));
}

void TestMainWindowStartup::WritesTheSettingsBackOnClose_data()
{
    QTest::addColumn<bool>("byExit");
    QTest::newRow("Exit") << true;
    QTest::newRow("window frame") << false;
}

void TestMainWindowStartup::WritesTheSettingsBackOnClose()
{
    QFETCH(bool, byExit);
    const QString importFolder = QStringLiteral("C:\\Sounds\\new wav");
    const QString exportFolder = home->filePath(QStringLiteral("export \u00e9t\u00e9 = ; #"));
    {
        // A settings file beside the program is not the one used.
        QSettings decoy(BesideProgram(QStringLiteral("settings.ini")), QSettings::IniFormat);
        decoy.setValue(QStringLiteral("WorkingDirectory"), home->path());
        decoy.setValue(QStringLiteral("GtaDirectory"), home->path());
        QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), workFolder);
        settings.setValue(QStringLiteral("LastImportDirectory"), importFolder);
        settings.setValue(QStringLiteral("LastExportDirectory"), exportFolder);
        settings.setValue(QStringLiteral("GtaDirectory"), gtaFolder);
        settings.setValue(QStringLiteral("UseKivoMetadata"), false);
    }
    {
        MainWindow window;
        QVERIFY(dialogs->shown.isEmpty());
        QCOMPARE(StatusText(window), workFolder);
        Show(window);
        // Gone from the disk while the program runs: the values alone are written back.
        QVERIFY(QFile::remove(QStringLiteral("settings.ini")));
        if (byExit)
            window.Exit();
        else
            window.close();
        QVERIFY(!window.isVisible());
    }
    QCOMPARE(QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat).allKeys().size(), 5);
    QCOMPARE(SettingsValue("WorkingDirectory"), workFolder);
    QCOMPARE(SettingsValue("LastImportDirectory"), importFolder);
    QCOMPARE(SettingsValue("LastExportDirectory"), exportFolder);
    QCOMPARE(SettingsValue("GtaDirectory"), gtaFolder);
    QCOMPARE(SettingsValue("UseKivoMetadata"), QStringLiteral("false"));
    QVERIFY(dialogs->shown.isEmpty());
}

void TestMainWindowStartup::WarnsWhenTheSettingsCannotBeWritten()
{
    WriteGoodSettings();
    {
        MainWindow window;
        QVERIFY(dialogs->shown.isEmpty());
        // A folder in the way of the file: nothing can be written there.
        QVERIFY(QFile::remove(QStringLiteral("settings.ini")));
        QVERIFY(QDir().mkdir(QStringLiteral("settings.ini")));
        window.close();
    }
    QCOMPARE(dialogs->shown.size(), 1);
    QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Warning);
    QCOMPARE(dialogs->shown.first().title, QStringLiteral("Warning"));
    QVERIFY2(dialogs->shown.first().text.contains(QDir::current().absoluteFilePath(QStringLiteral("settings.ini"))),
             qPrintable(dialogs->shown.first().text));
}

void TestMainWindowStartup::AsksForBothFoldersWithoutUsableSettings_data()
{
    QTest::addColumn<QByteArray>("content");  // null: no settings file at all
    QTest::addColumn<bool>("answered");       // false: both choosers cancelled
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
        << QByteArray("WorkingDirectory=") + QByteArray(100000, 'w') + "\nGtaDirectory=" + QByteArray(100000, 'g') + '\n'
        << true;
}

void TestMainWindowStartup::AsksForBothFoldersWithoutUsableSettings()
{
    QFETCH(QByteArray, content);
    QFETCH(bool, answered);
    if (!content.isNull())
        QVERIFY(WriteFile(QStringLiteral("settings.ini"), content));
    if (answered)
        dialogs->paths << workFolder << gtaFolder;
    const QString work = answered ? workFolder : QString();
    {
        MainWindow window;
        QCOMPARE(dialogs->Log(), askBothFolders);
        const QList<UserDialogs::Kind> kinds{UserDialogs::Kind::Information, UserDialogs::Kind::ExistingDirectory,
                                             UserDialogs::Kind::Information, UserDialogs::Kind::ExistingDirectory};
        for (int i = 0; i < kinds.size(); ++i) {
            QCOMPARE(dialogs->shown.at(i).kind, kinds.at(i));
            QCOMPARE(dialogs->shown.at(i).pParent, &window);
            QCOMPARE(dialogs->shown.at(i).directory, QString());
        }
        QCOMPARE(StatusText(window), work);
        Show(window);
        window.close();
    }
    QCOMPARE(dialogs->shown.size(), 4);
    // Every key is written back, the folders as chosen or empty.
    const QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
    for (const char *key : {"WorkingDirectory", "LastImportDirectory", "LastExportDirectory", "GtaDirectory"})
        QVERIFY2(settings.contains(QLatin1String(key)), key);
    QCOMPARE(SettingsValue("WorkingDirectory"), work);
    QCOMPARE(SettingsValue("GtaDirectory"), answered ? gtaFolder : QString());
    QCOMPARE(SettingsValue("UseKivoMetadata"), QStringLiteral("true"));
}

void TestMainWindowStartup::StartsDespiteBadFilesBesideTheProgram_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<QString>("kind");   // how the file is put there
    QTest::addColumn<QString>("title");  // of the one box, or empty for none
    QTest::addColumn<int>("topLevelRows");  // of the archive tree; -1: any

    const QString config = QStringLiteral("configuration.ini");
    const QString stations = QStringLiteral("metadata-full.ini");
    const QString xml = QStringLiteral("MetaData.xml");
    QByteArray many("<Root>\n");
    for (int i = 0; i < 100000; ++i)
        many += "<MetaData VirtualPath=\"Archiv\\S\\" + QByteArray::number(i) + ".wav\" InfoDataItemId=\"1\"/>\n";
    many += "</Root>\n";
    const struct
    {
        QString name;
        const char *tag;
        QByteArray content;
        const char *kind;
        const char *title;
        int rows;
    } rows[] = {
        {config, "missing", {}, "missing", "Error", 0},
        {config, "empty", {}, "file", "", 0},
        {config, "binary", Noise(256 * 1024), "file", "", -1},
        {config, "a hundred thousand archives", "Group\n" + QByteArray("  L\tp\tSFX\tb\n").repeated(100000), "file", "", 1},
        {config, "one very long line", QByteArray(longLine, 'n'), "file", "", 1},
        {config, "a folder", {}, "folder", "Error", 0},
        {config, "far larger than any real file", {}, "huge", "Error", 0},
        {config, "a device without end", {}, "device", "Error", 0},
        {stations, "empty", {}, "file", "", 2},
        {stations, "binary", Noise(256 * 1024), "file", "", 2},
        {stations, "one very long line", QByteArray(longLine, 's'), "file", "", 2},
        {stations, "a folder", {}, "folder", "", 2},
        {stations, "a device without end", {}, "device", "", 2},
        {xml, "empty", {}, "file", "Error in Xml-File", 2},
        {xml, "binary", Noise(256 * 1024), "file", "Error in Xml-File", 2},
        {xml, "a hundred thousand entries", many, "file", "", 2},
        {xml, "a folder", {}, "folder", "Error", 2},
        {xml, "far larger than any real file", {}, "huge", "Error", 2},
        {xml, "a device without end", {}, "device", "Error", 2},
    };
    for (const auto &row : rows) {
        QTest::addRow("%s: %s", qPrintable(row.name), row.tag)
            << row.name << row.content << row.kind << row.title << row.rows;
    }
}

void TestMainWindowStartup::StartsDespiteBadFilesBesideTheProgram()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, content);
    QFETCH(QString, kind);
    QFETCH(QString, title);
    QFETCH(int, topLevelRows);
    QVERIFY(Place(BesideProgram(name), kind, content));
    WriteGoodSettings();

    MainWindow window;
    QCOMPARE(dialogs->shown.size(), title.isEmpty() ? 0 : 1);
    if (!title.isEmpty())
        QCOMPARE(dialogs->shown.first().title, title);
    if (name == QLatin1String("configuration.ini") && !title.isEmpty()) {
        QCOMPARE(dialogs->Log(), QStringList{noConfiguration});
        QCOMPARE(dialogs->shown.first().kind, UserDialogs::Kind::Critical);
        QCOMPARE(dialogs->shown.first().pParent, &window);
        QCOMPARE(ArchiveView(window)->model(), nullptr);
    } else if (!title.isEmpty()) {
        QCOMPARE(dialogs->shown.first().pParent, nullptr);
    }
    if (name != QLatin1String("configuration.ini"))  // station names fall back to the folder names
        QCOMPARE(ArchiveNames(window).mid(0, 4), (QStringList{"SFX", "  FEET", "Streams", "  AA"}));
    const int rows = ArchiveView(window)->model() ? ArchiveView(window)->model()->rowCount() : 0;
    if (topLevelRows >= 0)
        QCOMPARE(rows, topLevelRows);
    Show(window);
    ArchiveView(window)->expandAll();
    QVERIFY(!window.grab().isNull());  // every row measured and drawn once
}

void TestMainWindowStartup::ShowsTheAboutBoxes()
{
    WriteGoodSettings();
    MainWindow window;
    Show(window);
    // The boxes are modal: look at each from inside its own event loop, then close it.
    QString title;
    QWidget *parent = nullptr;
    bool bLogo = false;
    bool bName = false;
    const auto inspectAndClose = [&] {
        QWidget *box = QApplication::activeModalWidget();
        if (!box)
            return;
        title = box->windowTitle();
        parent = box->parentWidget();
        for (const QLabel *label : box->findChildren<QLabel *>()) {
            bLogo = bLogo || label->pixmap().size() == QSize(96, 85);
            bName = bName || label->text().contains(QStringLiteral("RozivOze"));
        }
        QTest::keyClick(box, Qt::Key_Escape);
    };
    QTimer::singleShot(0, &window, inspectAndClose);
    window.ShowAbout();
    QCOMPARE(title, QStringLiteral("About"));
    QCOMPARE(parent, &window);
    QVERIFY(bLogo && bName);

    QTimer::singleShot(0, &window, inspectAndClose);
    window.ShowAboutQt();
    QCOMPARE(title, QStringLiteral("About Qt"));
    QCOMPARE(parent, &window);
}

QTEST_MAIN(TestMainWindowStartup)
#include "tst_MainWindowStartup.moc"
