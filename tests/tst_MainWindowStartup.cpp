#include <QApplication>
#include <QLabel>
#include <QTimer>

#include "WindowFixture.h"

namespace
{
const QByteArray configuration = "SFX\n"
                                 "  FEET\taudio/SFX/FEET\tSFX\taudio/CONFIG/BankLkup.dat\n"
                                 "Streams\n"
                                 "  AA\taudio/streams/AA\tSTREAM\taudio/CONFIG/TrakLkup.dat\n"
                                 "  CAF\xc9\taudio/streams/CAFE\tSTREAM\taudio/CONFIG/TrakLkup.dat\n";
const QString noConfiguration =
    "Error: Failed to load configuration.\nConfiguration-file could not be found or isn't accessable.";
const QStringList askForFolders{"Workingdirectory: No working directory was defined or the old one wasn't found.\n"
                                "Please choose a new directory.",
                                "chooser: Select a working directory",
                                "GTA Folder was not found.: GTA Folder was not found or was not specified. "
                                "Please select your GTA Folder",
                                "chooser: "};

// Puts a file of the given kind at `path`: "file" with the content, a "folder", a "huge" sparse
// file of 300 MB, a "device" that never ends, or nothing ("missing").
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
    for (char &byte : bytes)
        byte = char((state = state * 1103515245u + 12345u) >> 23);
    return bytes;
}

// The archive tree two levels deep, children indented.
QStringList ArchiveNames(const QMainWindow &window)
{
    QStringList names;
    const QAbstractItemModel *model = window.findChild<QTreeView *>("archiveView")->model();
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

QString SettingsValue(const QString &key)
{
    return QSettings("settings.ini", QSettings::IniFormat).value(key).toString();
}
}

class TestMainWindowStartup : public QObject
{
    Q_OBJECT
private slots:
    void init()
    {
        // Settings live in the current directory: every test starts in a fresh one, without them.
        fixture = std::make_unique<WindowFixture>(false);
        fixture->WriteBesideProgram("<?xml version=\"1.0\"?>\n<Root>\n  <InfoData Id=\"1\" Text=\"a;b\"/>\n"
                                    "  <MetaData VirtualPath=\"Archiv\\SFX\\FEET\\s.wav\" InfoDataItemId=\"1\"/>\n</Root>\n",
                                    configuration);
        fixture->Beside("metadata-full.ini");
        fixture->Beside("settings.ini");
    }
    void cleanup() { fixture.reset(); }

    void WritesTheSettingsBackOnClose_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::addColumn<QString>("useKivoMetadata");  // as stored; empty: no key
        QTest::addColumn<bool>("bOn");
        QTest::newRow("Exit, station names off") << "Exit" << "false" << false;
        QTest::newRow("window frame, no key means on") << "frame" << "" << true;
        QTest::newRow("a folder in the way of the file, other text is true") << "blocked" << "yes" << true;
    }
    void WritesTheSettingsBackOnClose()
    {
        QFETCH(QString, ending);
        QFETCH(QString, useKivoMetadata);
        QFETCH(bool, bOn);
        const QVariantMap stored{{"LastImportDirectory", "C:\\Sounds\\new wav"},
                                 {"LastExportDirectory", fixture->Root() + QStringLiteral("/export \u00e9t\u00e9 = ; #")}};
        QVERIFY(Place(fixture->Beside("metadata-full.ini"), "file", "stream = AA\nstation = Radio Los Santos\n"));
        // A settings file beside the program is not the one used.
        QSettings(fixture->Beside("settings.ini"), QSettings::IniFormat).setValue("WorkingDirectory", fixture->Root());
        QVariantMap settings = stored;
        if (!useKivoMetadata.isEmpty())
            settings.insert("UseKivoMetadata", useKivoMetadata);
        fixture->WriteSettings(settings);
        {
            MainWindow window;
            QCOMPARE(window.QMainWindow::statusBar()->currentMessage(), fixture->WorkDir());
            // The configuration is read as Latin-1.
            QCOMPARE(ArchiveNames(window), (QStringList{"SFX", "  FEET", "Streams", bOn ? "  Radio Los Santos" : "  AA",
                                                        QStringLiteral("  CAF\u00c9")}));
            Show(window);
            // Gone from the disk while the program runs: the values alone are written back.
            QVERIFY(QFile::remove("settings.ini"));
            QVERIFY(ending != "blocked" || Place("settings.ini", "folder"));
            ending == "Exit" ? window.Exit() : void(window.close());
            QVERIFY(!window.isVisible());
        }
        if (ending == "blocked") {
            QCOMPARE(fixture->dialogs.shown.size(), 1);
            QVERIFY(fixture->dialogs.Log()[0].startsWith("Warning: "));
            QVERIFY(fixture->dialogs.shown[0].text.contains(QDir::current().absoluteFilePath("settings.ini")));
            return;
        }
        QCOMPARE(QSettings("settings.ini", QSettings::IniFormat).allKeys().size(), 6);
        QCOMPARE(SettingsValue("ShowWaveform"), "true");
        QCOMPARE(SettingsValue("WorkingDirectory"), fixture->WorkDir());
        QCOMPARE(SettingsValue("GtaDirectory"), fixture->GtaDir());
        QCOMPARE(SettingsValue("UseKivoMetadata"), bOn ? "true" : "false");
        for (auto it = stored.begin(); it != stored.end(); ++it)
            QCOMPARE(SettingsValue(it.key()), it.value().toString());
        QVERIFY(fixture->dialogs.shown.isEmpty());
    }

    void AsksForBothFoldersWithoutUsableSettings_data()
    {
        QTest::addColumn<QByteArray>("content");  // null: no settings file at all
        QTest::addColumn<bool>("bAnswered");      // false: both choosers cancelled
        QTest::newRow("first start") << QByteArray() << true;
        // Both files' errors come before the questions for the folders.
        QTest::newRow("first start, nothing beside the program, choosers cancelled") << QByteArray() << false;
        // Damaged files of every kind give the defaults, never a crash.
        QTest::newRow("binary") << Noise(64 * 1024) << true;
        QTest::newRow("stored variant of another type")
            << QByteArray("WorkingDirectory=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\nQDateTime\\0\\0)\n"
                          "GtaDirectory=@ByteArray(\\xff\\xfe)\n") << true;
        QTest::newRow("folder name longer than any path")
            << "WorkingDirectory=" + QByteArray(100000, 'w') + "\nGtaDirectory=" + QByteArray(100000, 'g') + '\n' << true;
    }
    void AsksForBothFoldersWithoutUsableSettings()
    {
        QFETCH(QByteArray, content);
        QFETCH(bool, bAnswered);
        if (!content.isNull())
            QVERIFY(Place("settings.ini", "file", content));
        if (!bAnswered)
            QVERIFY(Place(fixture->Beside("configuration.ini"), "missing") && Place(fixture->Beside("MetaData.xml"), "missing"));
        const QStringList files = bAnswered ? QStringList()
                                            : QStringList{"Error: " + fixture->Beside("MetaData.xml") + " could not be opened.",
                                                          noConfiguration};
        if (bAnswered)
            fixture->dialogs.paths << fixture->WorkDir() << fixture->GtaDir();
        {
            MainWindow window;
            QCOMPARE(fixture->dialogs.Log(), files + askForFolders);
            QCOMPARE(fixture->dialogs.shown[files.size()].pParent, &window);
            QCOMPARE(window.QMainWindow::statusBar()->currentMessage(), bAnswered ? fixture->WorkDir() : QString());
            Show(window);
            window.close();
        }
        QCOMPARE(fixture->dialogs.shown.size(), files.size() + 4);
        // Every key is written back, the folders as chosen or empty.
        const QSettings settings("settings.ini", QSettings::IniFormat);
        for (const char *key : {"WorkingDirectory", "LastImportDirectory", "LastExportDirectory", "GtaDirectory"})
            QVERIFY2(settings.contains(QLatin1String(key)), key);
        QCOMPARE(SettingsValue("WorkingDirectory"), bAnswered ? fixture->WorkDir() : QString());
        QCOMPARE(SettingsValue("GtaDirectory"), bAnswered ? fixture->GtaDir() : QString());
        QCOMPARE(SettingsValue("UseKivoMetadata"), "true");
    }

    void StartsDespiteBadFilesBesideTheProgram_data()
    {
        // Each row is named after the file it spoils.
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("kind");      // how the file is put there
        QTest::addColumn<QString>("title");     // of the one box, or empty for none
        QTest::addColumn<int>("topLevelRows");  // of the archive tree; -1: any
        QTest::addRow("configuration.ini: missing") << QByteArray() << "missing" << "Error" << 0;
        QTest::addRow("configuration.ini: empty") << QByteArray() << "file" << "" << 0;
        QTest::addRow("configuration.ini: binary") << Noise(256 * 1024) << "file" << "" << -1;
        QTest::addRow("configuration.ini: far larger than any real file") << QByteArray() << "huge" << "Error" << 0;
        QTest::addRow("configuration.ini: a device without end") << QByteArray() << "device" << "Error" << 0;
        QTest::addRow("metadata-full.ini: binary") << Noise(256 * 1024) << "file" << "" << 2;
        QTest::addRow("metadata-full.ini: a folder") << QByteArray() << "folder" << "" << 2;
        QTest::addRow("metadata-full.ini: a device without end") << QByteArray() << "device" << "" << 2;
        QTest::addRow("MetaData.xml: binary") << Noise(256 * 1024) << "file" << "Error in Xml-File" << 2;
        QTest::addRow("MetaData.xml: a folder") << QByteArray() << "folder" << "Error" << 2;
        QTest::addRow("MetaData.xml: far larger than any real file") << QByteArray() << "huge" << "Error" << 2;
        QTest::addRow("MetaData.xml: a device without end") << QByteArray() << "device" << "Error" << 2;
    }
    void StartsDespiteBadFilesBesideTheProgram()
    {
        const QString name = QString::fromLatin1(QTest::currentDataTag()).section(": ", 0, 0);
        QFETCH(QByteArray, content);
        QFETCH(QString, kind);
        QFETCH(QString, title);
        QFETCH(int, topLevelRows);
        QVERIFY(Place(fixture->Beside(name), kind, content));
        fixture->WriteSettings();

        MainWindow window;
        QCOMPARE(fixture->dialogs.shown.size(), title.isEmpty() ? 0 : 1);
        const bool bConfiguration = name == "configuration.ini";
        if (!title.isEmpty()) {
            QCOMPARE(fixture->dialogs.shown[0].title, title);
            // Only the configuration's box has the window for a parent: the descriptions are read before it stands.
            QCOMPARE(fixture->dialogs.shown[0].pParent, bConfiguration ? &window : nullptr);
        }
        if (bConfiguration && !title.isEmpty())
            QCOMPARE(fixture->dialogs.Log(), QStringList{noConfiguration});
        if (!bConfiguration)  // station names fall back to the folder names
            QCOMPARE(ArchiveNames(window).mid(0, 4), (QStringList{"SFX", "  FEET", "Streams", "  AA"}));
        auto *view = window.findChild<QTreeView *>("archiveView");
        if (topLevelRows >= 0)
            QCOMPARE(view->model() ? view->model()->rowCount() : 0, topLevelRows);
        Show(window);
        view->expandAll();
        QVERIFY(!window.grab().isNull());  // every row measured and drawn once
    }

    void ShowsTheAboutBoxes()
    {
        fixture->WriteSettings();
        MainWindow window;
        Show(window);
        // The boxes are modal: look at each from inside its own event loop, then close it.
        QStringList seen;
        bool bLogo = false;  // a wrong resource name leaves the box without it
        const auto inspectAndClose = [&] {
            if (QWidget *box = QApplication::activeModalWidget()) {
                seen << box->windowTitle() + (box->parentWidget() == &window ? "" : " without the window for a parent");
                for (const QLabel *label : box->findChildren<QLabel *>())
                    bLogo = bLogo || label->pixmap().size() == QSize(96, 85);
                QTest::keyClick(box, Qt::Key_Escape);
            }
        };
        QTimer::singleShot(0, &window, inspectAndClose);
        window.ShowAbout();
        QVERIFY(bLogo);
        QTimer::singleShot(0, &window, inspectAndClose);
        window.ShowAboutQt();
        QCOMPARE(seen, (QStringList{"About", "About Qt"}));
    }

private:
    std::unique_ptr<WindowFixture> fixture;
};

QTEST_MAIN(TestMainWindowStartup)
#include "tst_MainWindowStartup.moc"
