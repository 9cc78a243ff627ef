#include "WindowFixture.h"

#include <QAction>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QPushButton>

namespace
{
const QStringList pictureNames{"import", "search", "clear", "working", "save", "exit", "info", "expand", "play_next",
                               "play_previous", "break", "stop", "play", "export", "about", "gta_small", "main_icon",
                               "gta_logo", "revert", "changed"};

// Latin-1, as the program reads it.
const QByteArray configuration = "Audio\n"
                                 "  Sfx1\tAUDIO/SFX/SFX1\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
                                 "  Sfx2\tAUDIO/SFX/SFX2\tSFX\tAUDIO/CONFIG/BankLkup.dat\n"
                                 "  Radio\tAUDIO/STREAMS/RADIO\tSTREAM\n"
                                 "Streams\n"
                                 "  CAF\xc9\taudio/streams/CAFE\tSTREAM\taudio/CONFIG/TrakLkup.dat\n";
const QByteArray metaData = "<?xml version=\"1.0\"?>\n<Root>\n"
                            "  <InfoData Id=\"1\" Text=\"a;;b;\"/>\n"
                            "  <InfoData Id=\"2\" Text=\"Engine ROAR;Loud\"/>\n"
                            "  <InfoData Id=\"3\" Text=\"quiet\"/>\n"
                            "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\a1.wav\" InfoDataItemId=\"1\"/>\n"
                            "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx2\\a1.wav\" InfoDataItemId=\"2\"/>\n"
                            "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx2\\beta.wav\" InfoDataItemId=\"2\"/>\n"
                            "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx2\\delta.ogg\" InfoDataItemId=\"3\"/>\n"
                            "</Root>\n";
const QStringList archiveTree{"Audio", "Sfx1", "Sfx2", "Radio", "Streams", QStringLiteral("CAF\u00c9")};
const QString noConfiguration =
    "Error: Failed to load configuration.\nConfiguration-file could not be found or isn't accessable.";
const QStringList askForFolders{"Workingdirectory: No working directory was defined or the old one wasn't found.\n"
                                "Please choose a new directory.",
                                "folder chooser: Select a working directory",
                                "GTA Folder was not found.: GTA Folder was not found or was not specified. "
                                "Please select your GTA Folder",
                                "folder chooser: "};

// Puts a file of the given kind at `path`: "file" with the content, "binary" noise of every byte
// value, a "folder", a "huge" sparse file of 300 MB, a "device" that never ends, or nothing ("missing").
bool Place(const QString &path, const QString &kind, QByteArray content = QByteArray())
{
    if (QFileInfo::exists(path) && !QFile::remove(path))
        return false;
    QFile file(path);
    if (kind == "folder")
        return QDir().mkpath(path);
    if (kind == "device")
        return QFile::link("/dev/zero", path);
    if (kind == "huge")
        return file.open(QIODevice::WriteOnly) && file.resize(qint64(300) * 1024 * 1024);
    if (kind == "binary") {
        content.resize(256 * 1024);
        QRandomGenerator(12345).fillRange(reinterpret_cast<quint32 *>(content.data()), content.size() / 4);
    }
    return kind == "missing" || (file.open(QIODevice::WriteOnly) && file.write(content) == content.size());
}

// Every name in the archive tree, depth first.
QStringList ArchiveNames(const QMainWindow &window)
{
    const QAbstractItemModel *model = window.findChild<QTreeView *>("archiveView")->model();
    QStringList names;
    for (const QModelIndex &index : model ? model->match(model->index(0, 0), Qt::DisplayRole, "*", -1,
                                                         Qt::MatchWildcard | Qt::MatchRecursive) : QModelIndexList())
        names << index.data().toString();
    return names;
}
}

// The main window's pictures and its commands, a table each: start-up and close, playing, searching, asking.
class TestMainWindow : public QObject
{
    Q_OBJECT

private slots:
    // The compiled-in pictures the window asks for by their bare names: each there, of its size, and
    // no two the same picture under different names.
    void ProvidesEveryPictureOnce()
    {
        QList<QImage> seen;
        for (const QString &name : pictureNames) {
            const QImage image(QStringLiteral(":/") + name);
            const QSize size = name == "main_icon" || name == "changed" ? QSize(16, 16) : name == "gta_logo" ? QSize(96, 85) : QSize(32, 32);
            QVERIFY2(image.size() == size, qPrintable(name));
            QVERIFY2(!seen.contains(image), qPrintable(name + " is the picture of another name"));
            seen << image;
        }
    }
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        fixture->WriteBesideProgram(metaData, configuration);
        fixture->WriteSfxArchive("Sfx1", {{"a1.wav", "a2.wav", "a3.wav"}, {"b1.wav", "b2.wav"}});
        fixture->WriteSfxArchive("Sfx2", {{"alpha.wav", "beta.wav"}, {"gamma.wav", "alpha2.wav", "delta.ogg"},
                                          {"epsilon.wav", QString::fromUtf8("i\u0307stanbul.wav")}}, false);
        fixture->WriteStreamArchive("Radio", {"one.ogg", "two.ogg", "three.ogg"});
        // Every file that a name in the metafile of "Odd" could reach is there to be played.
        for (const QString &path : {"Odd/in.wav", "Odd/sub/in.wav", "out.wav", "../elsewhere/in.wav"})
            WindowFixture::WriteWave(fixture->WorkDir() + '/' + path);
    }
    void cleanup() { fixture.reset(); }

    // Start-up over the files it reads, missing or spoiled (named before the colon; "-": none), then
    // Ctrl+W while the settings file is gone: every box in order and worded exactly, the archive tree,
    // and every setting written back from what the program holds.
    void StartsAndWritesTheSettingsBack_data()
    {
        QTest::addColumn<QString>("kind");  // how Place puts the files there; "blocked": a folder takes the settings' place
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("useKivoMetadata");  // as stored beforehand; empty: no key
        QTest::addColumn<QStringList>("boxes");        // BESIDE: the program's folder, CURRENT: the current one

        const QString noMetaData = "Error: BESIDE/MetaData.xml could not be opened. (no window)";
        QTest::newRow("-: station names off") << "" << QByteArray() << "false" << QStringList();
        QTest::newRow("-: a folder in the way on close, other text is true") << "blocked" << QByteArray() << "yes"
            << QStringList{"Warning: The settings could not be saved to CURRENT/settings.ini."};
        QTest::newRow("settings.ini: none, as at a first start") << "missing" << QByteArray() << "" << askForFolders;
        // Both files' errors come before the questions for the folders.
        QTest::newRow("settings.ini configuration.ini MetaData.xml: none, nothing beside the program either")
            << "missing" << QByteArray() << "" << QStringList{noMetaData, noConfiguration} + askForFolders;
        // Damaged settings give the defaults, never a crash.
        QTest::newRow("settings.ini: stored variant of another type")
            << "file" << QByteArray("WorkingDirectory=@Variant(\\0\\0\\0\\x7f\\0\\0\\0\\nQDateTime\\0\\0)\n"
                                    "GtaDirectory=@ByteArray(\\xff\\xfe)\n") << "" << askForFolders;
        QTest::newRow("configuration.ini: binary") << "binary" << QByteArray() << "" << QStringList();
        QTest::newRow("configuration.ini: huge") << "huge" << QByteArray() << "" << QStringList{noConfiguration};
        QTest::newRow("configuration.ini: a device") << "device" << QByteArray() << "" << QStringList{noConfiguration};
        QTest::newRow("metadata-full.ini: a device") << "device" << QByteArray() << "" << QStringList();
        QTest::newRow("MetaData.xml: huge") << "huge" << QByteArray() << "" << QStringList{noMetaData};
        QTest::newRow("MetaData.xml: a device") << "device" << QByteArray() << "" << QStringList{noMetaData};
    }
    void StartsAndWritesTheSettingsBack()
    {
        const QString files = QString::fromLatin1(QTest::currentDataTag()).section(": ", 0, 0);
        QFETCH(QString, kind);
        QFETCH(QByteArray, content);
        QFETCH(QString, useKivoMetadata);
        QFETCH(QStringList, boxes);
        QVariantMap stored{{"LastImportDirectory", "C:\\Sounds\\new wav"},
                           {"LastExportDirectory", fixture->Root() + QStringLiteral("/export \u00e9t\u00e9 = ; #")}};
        if (!useKivoMetadata.isEmpty())
            stored.insert("UseKivoMetadata", useKivoMetadata);
        fixture->WriteSettings(stored);
        // A settings file beside the program is not the one used.
        QSettings(fixture->Beside("settings.ini"), QSettings::IniFormat).setValue("WorkingDirectory", fixture->Root());
        QVERIFY(Place(fixture->Beside("metadata-full.ini"), "file", "stream = Radio\nstation = Radio Los Santos\n"));
        for (const QString &name : files.split(' ', Qt::SkipEmptyParts))
            QVERIFY(name == "-" || Place(name == "settings.ini" ? name : fixture->Beside(name), kind, content));
        fixture->dialogs.paths << fixture->WorkDir() << fixture->GtaDir();
        {
            MainWindow window;
            QCOMPARE(window.QMainWindow::statusBar()->currentMessage(), fixture->WorkDir());
            // The tree stands on the configuration alone; a spoiled station file leaves the folder names.
            const bool bConfiguration = files.contains("configuration.ini");
            const bool bStations = useKivoMetadata != "false" && !files.contains("metadata-full.ini");
            const QStringList tree = QStringList(archiveTree).replaceInStrings("Radio", bStations ? "Radio Los Santos" : "Radio");
            if (!bConfiguration || kind != "binary")
                QCOMPARE(ArchiveNames(window), bConfiguration ? QStringList() : tree);
            window.show();
            window.findChild<QTreeView *>("archiveView")->expandAll();
            QVERIFY(!window.grab().isNull());  // every row measured and drawn once
            QVERIFY(QTest::qWaitForWindowActive(&window));
            QVERIFY(Place("settings.ini", kind == "blocked" ? "folder" : "missing"));
            QTest::keySequence(&window, QKeySequence("Ctrl+W"));
        }
        QCOMPARE(Shown(), boxes.replaceInStrings("BESIDE", QCoreApplication::applicationDirPath())
                              .replaceInStrings("CURRENT", QDir::currentPath()));
        if (kind == "blocked")
            return;
        // Spoiled settings lose what they held; the folders are asked for again.
        const bool bKept = !files.contains("settings.ini");
        stored = {{"WorkingDirectory", fixture->WorkDir()}, {"GtaDirectory", fixture->GtaDir()}, {"ShowWaveform", "true"},
                  {"UseKivoMetadata", useKivoMetadata == "false" ? "false" : "true"},
                  {"LastImportDirectory", bKept ? stored["LastImportDirectory"] : ""},
                  {"LastExportDirectory", bKept ? stored["LastExportDirectory"] : ""}};
        const QSettings settings("settings.ini", QSettings::IniFormat);
        for (auto it = stored.begin(); it != stored.end(); ++it)
            QCOMPARE(settings.value(it.key(), "no such key").toString(), it.value().toString());
    }

    // Space, Right and Left play the current, next and previous entry; these are the edges, and the
    // names in a metafile that lead outside the archive's folder.
    void PlaysAndStepsThroughEntries_data()
    {
        QTest::addColumn<QString>("archive");  // the folder loaded; "Odd" is made with the one entry `spoil` names
        QTest::addColumn<QPoint>("start");     // (top-level row or -1, row); (-1, -1): nothing current
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("spoil");  // a sound file removed, or a folder made, beforehand
        QTest::addColumn<QString>("file");   // the current entry afterwards
        QTest::addColumn<QString>("state");  // playing that file, paused, stopped, idle as loaded, failed or refused

        QTest::newRow("Ctrl+B pauses") << "Sfx1" << QPoint(0, 0) << "Space, Ctrl+B" << "" << "a1.wav" << "paused";
        QTest::newRow("Esc stops") << "Sfx1" << QPoint(0, 0) << "Space, Esc" << "" << "a1.wav" << "stopped";
        QTest::newRow("last sound of a bank to the next") << "Sfx1" << QPoint(0, 2) << "Right" << "" << "b1.wav" << "playing";
        QTest::newRow("last sound of the last bank wraps") << "Sfx1" << QPoint(1, 1) << "Right" << "" << "a1.wav" << "playing";
        QTest::newRow("bank row to its first sound") << "Sfx1" << QPoint(-1, 1) << "Right" << "" << "b1.wav" << "playing";
        QTest::newRow("first sound of a bank to the previous") << "Sfx1" << QPoint(1, 0) << "Left" << "" << "a3.wav" << "playing";
        QTest::newRow("first sound of the first bank wraps") << "Sfx1" << QPoint(0, 0) << "Left" << "" << "b2.wav" << "playing";
        QTest::newRow("bank row to its last sound") << "Sfx1" << QPoint(-1, 0) << "Left" << "" << "a3.wav" << "playing";
        QTest::newRow("last track wraps to the first") << "Radio" << QPoint(-1, 2) << "Right" << "" << "one.ogg" << "playing";
        QTest::newRow("first track wraps to the last") << "Radio" << QPoint(-1, 0) << "Left" << "" << "three.ogg" << "playing";
        // The player reports the file it cannot play; the selection stays where it was.
        QTest::newRow("next file missing") << "Sfx1" << QPoint(0, 0) << "Right" << "a2.wav" << "a1.wav" << "failed";
        QTest::newRow("nothing current") << "Sfx1" << QPoint(-1, -1) << "Right, Left, Space" << "" << "" << "idle";
        // A folder of the bank's name is never handed to the player, which would report it.
        QTest::newRow("bank row, folder of its name") << "Sfx1" << QPoint(-1, 0) << "Space" << "Bank_001/" << "Bank_001" << "idle";
        QTest::newRow("detour inside") << "Odd" << QPoint(0, 0) << "Space" << "sub/../in.wav" << "sub/../in.wav" << "playing";
        QTest::newRow("parent folder") << "Odd" << QPoint(0, 0) << "Space" << "../out.wav" << "../out.wav" << "refused";
        QTest::newRow("parent, backslashes") << "Odd" << QPoint(0, 0) << "Space" << "..\\out.wav" << "..\\out.wav" << "refused";
        QTest::newRow("absolute path") << "Odd" << QPoint(0, 0) << "Space" << "/out.wav" << "/out.wav" << "refused";
        QTest::newRow("drive letter") << "Odd" << QPoint(0, 0) << "Space" << "C:/out.wav" << "C:/out.wav" << "refused";
        QTest::newRow("rooted backslash") << "Odd" << QPoint(0, 0) << "Space" << "\\out.wav" << "\\out.wav" << "refused";
        // The folder is where the metafile was read, whatever basename it names.
        QTest::newRow("basename outside") << "Odd ../elsewhere" << QPoint(0, 0) << "Space" << "in.wav" << "in.wav" << "playing";
    }
    void PlaysAndStepsThroughEntries()
    {
        QFETCH(QString, archive);
        QFETCH(QPoint, start);
        QFETCH(QString, keys);
        QFETCH(QString, spoil);
        QFETCH(QString, file);
        QFETCH(QString, state);
        const QString folder = fixture->WorkDir() + '/' + archive.section(' ', 0, 0) + '/';
        if (archive.startsWith("Odd"))
            fixture->WriteSfxArchive("Odd", {{spoil}}, false, archive.section(' ', 1));
        else
            QVERIFY(spoil.isEmpty() || (spoil.endsWith('/') ? QDir().mkpath(folder + spoil) : QFile::remove(folder + spoil)));
        QVERIFY(Open() && fixture->Load(archive.section(' ', 0, 0)));
        fixture->EntryView()->setCurrentIndex(fixture->Entry(start.x(), start.y()));

        Press(keys);

        QCOMPARE(fixture->EntryView()->currentIndex().data().toString(), file);
        const QMap<QString, QString> status{{"playing", "Playing file " + folder + file}, {"paused", ""}, {"stopped", ""}};
        QCOMPARE(fixture->Status(), status.value(state, fixture->WorkDir()));
        QCOMPARE(fixture->Player()->IsPlaying(), state == "playing" || state == "paused");
        const QStringList log = fixture->dialogs.Log();
        QCOMPARE(log.size(), int(state == "failed" || state == "refused"));
        QCOMPARE(log.value(0) == "Error: The entry's file name leads outside the archive folder.", state == "refused");
    }

    void InfoShowsMetadataOfTheOpenedArchive()
    {
        QVERIFY(Open() && fixture->Load("Sfx1"));
        // A folder loaded without a row of the tree has no path to look metadata up by.
        QCOMPARE(fixture->Window()->GetVirtualItemPath(fixture->Entry(0, 0)), QString());
        QVERIFY(fixture->OpenFromTree({"Audio", "Sfx1"}));
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
        Press("F1");
        const auto *list = qobject_cast<QStringListModel *>(fixture->MetaList()->model());
        QVERIFY(!fixture->MetaList()->isHidden() && list);
        QCOMPARE(list->stringList(), (QStringList{"a", "b"}));
        // Another archive selected with a single click (not opened) changes nothing.
        fixture->ArchiveView()->setCurrentIndex(fixture->ArchiveNode({"Audio", "Sfx2"}));
        fixture->Window()->UpdateMetalist(fixture->Entry(0, 0));
        QCOMPARE(list->stringList(), (QStringList{"a", "b"}));
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 1));  // no metadata; as keys and search hits move it
        QCOMPARE(list->stringList(), QStringList());
        Press("F1");
        QVERIFY(fixture->MetaList()->isHidden());
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));  // hidden, it stays as it was
        QCOMPARE(list->stringList(), QStringList());
    }

    void WalksSearchHitsInOrder_data()
    {
        QTest::addColumn<QString>("archive");    // the one loaded; empty: none
        QTest::addColumn<QStringList>("steps");  // "command -> the current entry afterwards"

        QTest::newRow("nothing loaded: nothing found") << "" << QStringList{"find a -> ", "F3 a -> ", "Shift+F3 a -> "};
        QTest::newRow("nothing to find, nothing selected")
            << "Sfx2" << QStringList{"previous alpha -> ", "find -> ", "next -> ", "previous -> ", "find bank_002 -> "};
        QTest::newRow("hits in the following and in the last banks, around both ways, Return from the top")
            << "Sfx2" << QStringList{"find alpha -> alpha.wav", "next alpha -> alpha2.wav", "Return alpha -> alpha.wav",
                                     "F3 alpha -> alpha2.wav", "F3 alpha -> alpha.wav", "Shift+F3 alpha -> alpha2.wav",
                                     "previous alpha -> alpha.wav"};
        // A miss leaves the position on the first bank; changed text does not wrap before its first hit.
        QTest::newRow("misses, changed texts and full case mapping")
            << "Sfx2" << QStringList{"find nothing -> ", "next alpha -> alpha2.wav", "find epsilon -> epsilon.wav",
                                     "next alpha -> epsilon.wav", QString::fromUtf8("find \u0130STANBUL -> i\u0307stanbul.wav")};
        // A miss forgets the position; wrapping needs a hit first.
        QTest::newRow("tracks")
            << "Radio" << QStringList{"find nothing -> ", "next one -> one.ogg", "find o -> one.ogg", "previous o -> three.ogg",
                                      "find t -> two.ogg", "next t -> three.ogg", "next t -> two.ogg", "previous t -> three.ogg"};
        // "Engine ROAR;Loud" belongs to beta, "quiet" to delta; no entry with metadata is called gamma.
        QTest::newRow("metadata search looks only at metadata")
            << "Sfx2" << QStringList{"archive -> ", "metadata -> ", "find roar -> beta.wav", "next e -> delta.ogg",
                                     "next e -> beta.wav", "deselect -> ", "find gamma -> "};
        // Found stays set while nothing matches any more: each command must end after one wrap.
        QTest::newRow("a hit that no longer matches wraps only once per command")
            << "Sfx2" << QStringList{"find alpha -> alpha.wav", "metadata -> alpha.wav", "next alpha -> alpha.wav",
                                     "previous alpha -> alpha.wav", "find alpha -> alpha.wav"};
        QTest::newRow("forgotten hits do not wrap")
            << "Sfx2" << QStringList{"find epsilon -> epsilon.wav", "forget -> epsilon.wav", "deselect -> ",
                                     "previous epsilon -> ", "next epsilon -> epsilon.wav"};
        // The banks are freed with their model: no command may go back to them.
        QTest::newRow("another archive is searched afresh")
            << "Sfx2" << QStringList{"find beta -> beta.wav", "radio -> ", "next beta -> ", "next o -> one.ogg"};
        // A hundred thousand tracks: a miss, then around the whole list in both directions without a growing stack.
        QTest::newRow("a long list")
            << "Long" << QStringList{"find nothing -> ", "find last -> last.ogg", "next last -> last.ogg",
                                     "previous last -> last.ogg"};
    }
    void WalksSearchHitsInOrder()
    {
        QFETCH(QString, archive);
        QFETCH(QStringList, steps);
        if (archive == "Long")
            fixture->WriteStreamArchive("Long", QStringList(99999, "track.ogg") << "last.ogg", false);
        QVERIFY(Open() && (archive.isEmpty() || fixture->Load(archive)));

        QStringList seen;
        for (const QString &step : steps) {
            Search(step.section(" -> ", 0, 0));
            seen << step.section(" -> ", 0, 0) + " -> " + fixture->EntryView()->currentIndex().data().toString();
        }
        QCOMPARE(seen, steps);
        QCOMPARE(fixture->dialogs.Log(), QStringList());  // the search never talks
    }

    // The commands that ask something or answer with a box, by their menu texts; with a shortcut, pressed.
    void CommandsAskTheirQuestions_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QStringList>("seen");  // the boxes and choosers

        QTest::newRow("working folder") << "Set &working directory" << "Ctrl+G" << QStringList{"folder chooser: Select a directory"};
        QTest::newRow("replace") << "&Replace" << "Ctrl+R" << QStringList{"file chooser: "};
        QTest::newRow("clear") << "&Clear working directory" << "Ctrl+X"
                               << QStringList{"Warning: All files inside your working directory (WORK) will be deleted.\n"
                                              "Do you want continue?"};
        // Loaded from the tree, so that Save knows which archive to pack; no tool is at hand for it.
        QTest::newRow("save") << "&Save" << "Ctrl+S" << QStringList{"Error: kivo_sfx.exe could not be found. (no window)"};
        QTest::newRow("restore, nothing selected in the tree") << "Restore &original archive" << ""
            << QStringList{"Information: Select the archive to restore in the archive tree first."};
    }
    void CommandsAskTheirQuestions()
    {
        QFETCH(QString, command);
        QFETCH(QString, keys);
        QFETCH(QStringList, seen);
        QVERIFY(Open() && fixture->OpenFromTree({"Audio", "Sfx1"}));
        fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
        QAction *action = nullptr;
        for (QAction *candidate : fixture->Window()->centralWidget()->findChildren<QAction *>())
            action = candidate->text() == command ? candidate : action;
        QVERIFY(action);
        QVERIFY(!action->icon().pixmap(QSize(32, 32)).isNull());  // a wrong resource name leaves a blank button

        keys.isEmpty() ? action->trigger() : Press(keys);

        QCOMPARE(Shown(), seen.replaceInStrings("WORK", fixture->WorkDir()));
        if (command == "&Replace")  // every kind Replace reads first, then the entry's own
            QVERIFY(fixture->dialogs.shown.last().filter.startsWith("Audio files (*.wav *.ogg *.oga *.flac *.mp3 *.opus *.aif *.aiff);;WAV"));
    }

private:
    bool Open() const
    {
        fixture->Open()->show();
        return QTest::qWaitForWindowActive(fixture->Window());
    }
    // Each box and chooser shown, in order; "(no window)" marks those without the window for a parent.
    QStringList Shown() const
    {
        QStringList lines;
        for (const UserDialogs::Request &request : fixture->dialogs.shown)
            lines << (request.kind == UserDialogs::Kind::ExistingDirectory ? "folder chooser: " + request.title
                      : request.kind == UserDialogs::Kind::OpenFileName  ? "file chooser: " + request.title
                                                                         : request.title + ": " + request.text)
                         + (request.pParent ? "" : " (no window)");
        return lines;
    }
    QLineEdit *Edit() const { return fixture->SearchBar()->findChild<QLineEdit *>("searchEdit"); }
    void Press(const QString &keys) const
    {
        fixture->EntryView()->setFocus();
        QTest::keySequence(fixture->Window(), QKeySequence(keys));
    }
    // "find TEXT", "next TEXT", "previous TEXT" type the text and press the button, "Return TEXT" or a
    // shortcut ("F3 TEXT") is pressed; "metadata" ticks the box, "archive" opens Sfx2 from the tree,
    // "forget" forgets the hits, "deselect" clears the current entry, "radio" loads the stream.
    void Search(const QString &command) const
    {
        const QString verb = command.section(' ', 0, 0);
        Edit()->setText(command.section(' ', 1));
        const QMap<QString, const char *> buttons{
            {"find", "findButton"}, {"next", "findNextButton"}, {"previous", "findPreviousButton"}};
        if (buttons.contains(verb))
            fixture->SearchBar()->findChild<QPushButton *>(buttons[verb])->click();
        else if (verb == "Return")
            QTest::keyClick(Edit(), Qt::Key_Return);
        else if (verb == "metadata")
            fixture->SearchBar()->findChild<QCheckBox *>("metadataCheckBox")->setChecked(true);
        else if (verb == "archive")
            QVERIFY(fixture->OpenFromTree({"Audio", "Sfx2"}));
        else if (verb == "forget")
            fixture->SearchBar()->ForgetHits();
        else if (verb == "deselect")
            fixture->EntryView()->setCurrentIndex(QModelIndex());
        else if (verb == "radio")
            QVERIFY(fixture->Load("Radio"));
        else
            Press(verb);
    }

    std::unique_ptr<WindowFixture> fixture;
};

QTEST_MAIN(TestMainWindow)
#include "tst_MainWindow.moc"
