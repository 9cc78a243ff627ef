#include "WindowFixture.h"

#include <QItemSelectionModel>

// Replacing an entry's file, exporting entries and clearing the working directory.
class TestMainWindowFiles : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void NothingSelectedOpensNoChooser();
    void ReplaceOffersTheArchiveFileType_data();
    void ReplaceOffersTheArchiveFileType();
    void ReplaceSwapsFileAndRemembersDirectory();
    void ReplaceRefusesPlayingEntryUntilStopped();
    void ReplaceFailureTouchesNothing_data();
    void ReplaceFailureTouchesNothing();

    void ExportRemembersDirectoryOnlyWhenChosen();
    void ExportCopiesOrReports_data();
    void ExportCopiesOrReports();

    void ClearRefusedOrDeclinedChangesNothing_data();
    void ClearRefusedOrDeclinedChangesNothing();
    void ClearRemovesArchiveFoldersAndLinksOnly();
    void ClearReportsFailureAndRemovesTheRest();

private:
    QString SfxFolder() const { return fixture->WorkDir() + QStringLiteral("/Sfx1"); }
    void Select(const QModelIndex &index) const
    {
        fixture->EntryView()->selectionModel()->select(index, QItemSelectionModel::Select);
    }
    QStringList Listing(const QString &folder) const
    {
        return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    }
    // A WAV file outside the working directory whose bytes differ from every archive file.
    QString NewSound() const
    {
        const QString path = fixture->Elsewhere() + QStringLiteral("/new.wav");
        WindowFixture::WriteWave(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 7);
        return path;
    }
    // An archive "Odd" whose entries' names lead out of its folder, beside ordinary ones.
    void LoadOddArchive(const QStringList &names) const
    {
        fixture->WriteSfxArchive(QStringLiteral("Odd"), {names}, false);
        QVERIFY(fixture->LoadSfx(QStringLiteral("Odd")));
    }
    QStringList Question() const
    {
        return {QStringLiteral("Warning: All files inside your working directory (") + fixture->WorkDir()
                + QStringLiteral(") will be deleted.\nDo you want continue?")};
    }

    std::unique_ptr<WindowFixture> fixture;
};

namespace
{
const QString outsideArchive = QStringLiteral("Error: The entry's file name leads outside the archive folder.");
const QString exportChooser = QStringLiteral("chooser: Selected directory for export");
const QString cleared = QStringLiteral("Working directory was cleared.");
}

void TestMainWindowFiles::initTestCase()
{
    WindowFixture::WriteBesideProgram(QStringLiteral("configuration.ini"), QString::fromLatin1(StandardConfiguration()));
    WindowFixture::WriteBesideProgram(QStringLiteral("MetaData.xml"), QStringLiteral("<Root/>\n"));
}

void TestMainWindowFiles::init()
{
    fixture = std::make_unique<WindowFixture>();
    fixture->WriteSfxArchive(QStringLiteral("Sfx1"), {{"a1.wav", "a2.wav"}, {"b1.wav"}});
    fixture->WriteStreamArchive(QStringLiteral("Radio"), {"t1.ogg"});
    fixture->Open();
}

void TestMainWindowFiles::cleanup()
{
    fixture.reset();
}

void TestMainWindowFiles::NothingSelectedOpensNoChooser()
{
    fixture->Window()->Export();
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    fixture->Window()->Export();
    fixture->Window()->Replace();
    QCOMPARE(fixture->dialogs.Log(),
             QStringList{QStringLiteral("Nothing selected: Please select the item that should be replaced.")});
}

void TestMainWindowFiles::ReplaceOffersTheArchiveFileType_data()
{
    QTest::addColumn<bool>("bStream");
    QTest::addColumn<QString>("filter");
    QTest::newRow("sfx") << false << "WAV-File (*.wav)";
    QTest::newRow("stream") << true << "OGG-File (*.ogg)";
}

void TestMainWindowFiles::ReplaceOffersTheArchiveFileType()
{
    QFETCH(bool, bStream);
    QFETCH(QString, filter);
    QVERIFY(fixture->Load(bStream, bStream ? QStringLiteral("Radio") : QStringLiteral("Sfx1")));
    fixture->EntryView()->setCurrentIndex(fixture->Entry(bStream ? -1 : 0, 0));
    fixture->Window()->Replace();
    QCOMPARE(fixture->dialogs.shown.size(), 1);
    QCOMPARE(fixture->dialogs.shown[0].kind, UserDialogs::Kind::OpenFileName);
    QCOMPARE(fixture->dialogs.shown[0].title, QString());
    QCOMPARE(fixture->dialogs.shown[0].filter, filter);
}

void TestMainWindowFiles::ReplaceSwapsFileAndRemembersDirectory()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QStringList before = Listing(SfxFolder());
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 1));
    fixture->dialogs.paths.enqueue(NewSound());

    fixture->Window()->Replace();

    QCOMPARE(fixture->dialogs.Log(), QStringList{QStringLiteral("chooser: ")});
    QCOMPARE(WindowFixture::ReadAll(SfxFolder() + QStringLiteral("/a2.wav")), WindowFixture::ReadAll(NewSound()));
    QCOMPARE(fixture->Status(), QStringLiteral("Item was successfull replaced."));
    QCOMPARE(Listing(SfxFolder()), before);  // nothing left beside it

    // The next dialog opens where the last file came from; a cancelled one changes nothing.
    fixture->Window()->Replace();
    fixture->Window()->Replace();
    QCOMPARE(fixture->dialogs.shown.size(), 3);
    QCOMPARE(fixture->dialogs.shown[1].directory, fixture->Elsewhere());
    QCOMPARE(fixture->dialogs.shown[2].directory, fixture->Elsewhere());
}

void TestMainWindowFiles::ReplaceRefusesPlayingEntryUntilStopped()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QModelIndex sound = fixture->Entry(0, 0);
    fixture->EntryView()->setCurrentIndex(sound);
    QVERIFY(fixture->Window()->Play(sound));

    fixture->Window()->Replace();
    QCOMPARE(fixture->dialogs.Log(),
             QStringList{QStringLiteral("Warning: You can't replace the file, that is currently playing. "
                                        "Please stop playing the file, before replacing it.")});

    fixture->Window()->StopPlaying();
    fixture->dialogs.shown.clear();
    fixture->Window()->Replace();
    QCOMPARE(fixture->dialogs.Log(), QStringList{QStringLiteral("chooser: ")});
}

void TestMainWindowFiles::ReplaceFailureTouchesNothing_data()
{
    QTest::addColumn<QString>("problem");
    QTest::addColumn<QStringList>("log");  // %file%: the archive file that was to be replaced
    QTest::newRow("old file missing")
        << "missing" << QStringList{"chooser: ", "Error: Failed to delete old file: %file%"};
    QTest::newRow("chosen file vanished before the copy")
        << "vanished" << QStringList{"chooser: ", "Error: Failed to copy new file to working directory."};
    QTest::newRow("entry outside the archive") << "outside" << QStringList{outsideArchive};
}

void TestMainWindowFiles::ReplaceFailureTouchesNothing()
{
    QFETCH(QString, problem);
    QFETCH(QStringList, log);
    QString target = SfxFolder() + QStringLiteral("/a1.wav");
    if (problem == QLatin1String("outside")) {
        target = fixture->WorkDir() + QStringLiteral("/victim.wav");
        WindowFixture::WriteWave(target);
        LoadOddArchive({QStringLiteral("../victim.wav")});
    } else {
        QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    }
    if (problem == QLatin1String("missing"))
        QVERIFY(QFile::remove(target));
    const QByteArray old = WindowFixture::ReadAll(target);
    const QStringList before = Listing(QFileInfo(target).path());
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
    fixture->dialogs.paths.enqueue(problem == QLatin1String("vanished") ? fixture->Elsewhere() + QStringLiteral("/gone.wav")
                                                                        : NewSound());

    fixture->Window()->Replace();

    QCOMPARE(fixture->dialogs.Log(), log.replaceInStrings(QStringLiteral("%file%"), target));
    QCOMPARE(WindowFixture::ReadAll(target), old);
    QCOMPARE(Listing(QFileInfo(target).path()), before);
    QVERIFY(fixture->Status() != QStringLiteral("Item was successfull replaced."));
}

void TestMainWindowFiles::ExportRemembersDirectoryOnlyWhenChosen()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    Select(fixture->Entry(0, 0));
    QVERIFY(QFile::remove(SfxFolder() + QStringLiteral("/a1.wav")));

    fixture->Window()->Export();  // cancelled
    fixture->dialogs.paths.enqueue(fixture->Elsewhere());
    fixture->Window()->Export();  // chosen, but the copy fails
    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(),
             (QStringList{exportChooser, exportChooser, QStringLiteral("Error: Failed to export file."), exportChooser}));
    QCOMPARE(fixture->dialogs.shown[0].directory, QString());
    QCOMPARE(fixture->dialogs.shown[1].directory, QString());
    QCOMPARE(fixture->dialogs.shown[3].directory, fixture->Elsewhere());
}

void TestMainWindowFiles::ExportCopiesOrReports_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QList<QPoint>>("selected");  // (top-level row or -1, row)
    QTest::addColumn<QString>("box");             // after the chooser; empty: none
    QTest::addColumn<QStringList>("exported");    // what the chosen folder holds afterwards
    QTest::addColumn<QByteArray>("a1");           // "source": as a1.wav of the archive was

    QTest::newRow("copies over an existing file")
        << "older a1" << QList<QPoint>{{0, 0}, {1, 0}} << "" << QStringList{"a1.wav", "b1.wav"} << QByteArray("source");
    QTest::newRow("into the source folder the file stays as it is")
        << "into source" << QList<QPoint>{{0, 0}}
        << "Note: Source and destination file are the same. File won't be exported."
        << QStringList{"a1.wav", "a2.wav", "b1.wav", "sfx_import.ini"} << QByteArray("source");
    QTest::newRow("a folder entry is skipped and the next goes on")
        << "bank folder" << QList<QPoint>{{-1, 0}, {1, 0}} << "Note: The selected item is not a file."
        << QStringList{"b1.wav"} << QByteArray();
    QTest::newRow("an existing file that cannot be deleted stops the export")
        << "folder in the way" << QList<QPoint>{{0, 0}, {0, 1}} << "Error: Failed to delete existing file."
        << QStringList{"a1.wav"} << QByteArray();
    QTest::newRow("a failing copy keeps the existing file and goes on")
        << "source missing" << QList<QPoint>{{0, 0}, {0, 1}} << "Error: Failed to export file."
        << QStringList{"a1.wav", "a2.wav"} << QByteArray("keep me");
    QTest::newRow("an entry outside the archive is refused")
        << "outside" << QList<QPoint>{{0, 0}, {0, 1}} << outsideArchive << QStringList{"fine.wav"} << QByteArray();
}

void TestMainWindowFiles::ExportCopiesOrReports()
{
    QFETCH(QString, setup);
    QFETCH(QList<QPoint>, selected);
    QFETCH(QString, box);
    QFETCH(QStringList, exported);
    QFETCH(QByteArray, a1);
    const QString chosen = setup == QLatin1String("into source") ? SfxFolder() : fixture->Elsewhere();
    if (setup == QLatin1String("outside")) {
        WindowFixture::WriteText(fixture->Root() + QStringLiteral("/secret.txt"), QStringLiteral("secret"));
        QVERIFY(QDir(fixture->WorkDir()).mkdir(QStringLiteral("Odd")));
        WindowFixture::WriteWave(fixture->WorkDir() + QStringLiteral("/Odd/fine.wav"));
        LoadOddArchive({QStringLiteral("../../secret.txt"), QStringLiteral("fine.wav")});
    } else {
        QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    }
    const QByteArray source = WindowFixture::ReadAll(SfxFolder() + QStringLiteral("/a1.wav"));
    if (setup == QLatin1String("older a1"))
        WindowFixture::WriteText(chosen + QStringLiteral("/a1.wav"), QStringLiteral("older"));
    if (setup == QLatin1String("bank folder"))
        QVERIFY(QDir(SfxFolder()).mkdir(QStringLiteral("Bank_001")));
    if (setup == QLatin1String("folder in the way"))  // cannot be deleted as a file
        QVERIFY(QDir(chosen).mkpath(QStringLiteral("a1.wav/keep")));
    if (setup == QLatin1String("source missing")) {
        WindowFixture::WriteText(chosen + QStringLiteral("/a1.wav"), QStringLiteral("keep me"));
        QVERIFY(QFile::remove(SfxFolder() + QStringLiteral("/a1.wav")));
    }
    for (const QPoint &entry : selected)
        Select(fixture->Entry(entry.x(), entry.y()));
    fixture->dialogs.paths.enqueue(chosen);

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(), (box.isEmpty() ? QStringList{exportChooser} : QStringList{exportChooser, box}));
    QCOMPARE(Listing(chosen), exported);
    if (!a1.isEmpty())
        QCOMPARE(WindowFixture::ReadAll(chosen + QStringLiteral("/a1.wav")), a1 == "source" ? source : a1);
    QCOMPARE(fixture->Status(), fixture->WorkDir());  // the status bar stays as it was
}

void TestMainWindowFiles::ClearRefusedOrDeclinedChangesNothing_data()
{
    QTest::addColumn<QString>("setup");
    QTest::addColumn<QString>("box");  // empty: the question
    QTest::newRow("no working directory") << "none" << "Information: No working directory was specified.";
    QTest::newRow("working directory missing") << "missing" << "Warning: Working directory doesn't exists.";
    QTest::newRow("while playing") << "playing"
                                   << "Warning: Please stop the player before clearing your working directory.";
    QTest::newRow("answered no") << "no" << "";
}

void TestMainWindowFiles::ClearRefusedOrDeclinedChangesNothing()
{
    QFETCH(QString, setup);
    QFETCH(QString, box);
    if (setup == QLatin1String("none")) {
        fixture.reset();
        fixture = std::make_unique<WindowFixture>();
        QSettings(QStringLiteral("settings.ini"), QSettings::IniFormat).setValue(QStringLiteral("WorkingDirectory"), QString());
        fixture->Open();  // the start-up chooser is cancelled: no working directory
    } else {
        QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    }
    if (setup == QLatin1String("missing"))
        QVERIFY(QDir(fixture->WorkDir()).removeRecursively());
    if (setup == QLatin1String("playing"))
        QVERIFY(fixture->Window()->Play(fixture->Entry(0, 0)));
    fixture->dialogs.buttons.enqueue(QMessageBox::No);
    const QStringList before = Listing(fixture->WorkDir());
    const QStringList beforeInArchive = Listing(SfxFolder());

    fixture->Window()->ClearWorkingDirectory();

    QCOMPARE(fixture->dialogs.Log(), box.isEmpty() ? Question() : QStringList{box});
    if (setup == QLatin1String("playing"))
        QCOMPARE(fixture->dialogs.shown[0].kind, UserDialogs::Kind::Information);
    if (setup == QLatin1String("no")) {
        QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
        QVERIFY(fixture->Entries());
    }
    QCOMPARE(Listing(fixture->WorkDir()), before);
    QCOMPARE(Listing(SfxFolder()), beforeInArchive);
}

void TestMainWindowFiles::ClearRemovesArchiveFoldersAndLinksOnly()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    QVERIFY(QDir(SfxFolder()).mkpath(QStringLiteral("deep/deeper")));
    WindowFixture::WriteText(SfxFolder() + QStringLiteral("/deep/deeper/x.txt"), QStringLiteral("x"));
    WindowFixture::WriteText(SfxFolder() + QStringLiteral("/deep/.hidden"), QStringLiteral("h"));
    WindowFixture::WriteText(fixture->WorkDir() + QStringLiteral("/notes.txt"), QStringLiteral("mine"));
    // Links go, what they point to stays.
    const QString outside = fixture->Elsewhere();
    QVERIFY(QDir(outside).mkpath(QStringLiteral("folder")));
    WindowFixture::WriteText(outside + QStringLiteral("/keep.txt"), QStringLiteral("keep"));
    WindowFixture::WriteText(outside + QStringLiteral("/folder/keep.txt"), QStringLiteral("keep"));
    QVERIFY(QFile::link(outside, fixture->WorkDir() + QStringLiteral("/linked-folder")));
    QVERIFY(QFile::link(outside + QStringLiteral("/folder"), SfxFolder() + QStringLiteral("/inner-link")));
    QVERIFY(QFile::link(outside + QStringLiteral("/keep.txt"), SfxFolder() + QStringLiteral("/file-link.wav")));
    fixture->dialogs.buttons.enqueue(QMessageBox::Yes);

    fixture->Window()->ClearWorkingDirectory();

    QCOMPARE(fixture->dialogs.Log(), Question());
    QCOMPARE(Listing(fixture->WorkDir()), QStringList{QStringLiteral("notes.txt")});
    QCOMPARE(Listing(outside), (QStringList{QStringLiteral("folder"), QStringLiteral("keep.txt")}));
    QCOMPARE(Listing(outside + QStringLiteral("/folder")), QStringList{QStringLiteral("keep.txt")});
    QVERIFY(!fixture->Entries());
    QCOMPARE(fixture->Status(), cleared);
    // The list is empty now, so there is nothing to play, search or save.
    QVERIFY(!fixture->Window()->ContentAvailable());
    fixture->Window()->SaveArchive();
    QCOMPARE(fixture->dialogs.Log(), Question());

    // Nothing but plain files left: nothing to remove, and still a success.
    fixture->dialogs.buttons.enqueue(QMessageBox::Yes);
    fixture->Window()->ClearWorkingDirectory();
    QCOMPARE(Listing(fixture->WorkDir()), QStringList{QStringLiteral("notes.txt")});
    QCOMPARE(fixture->Status(), cleared);
}

void TestMainWindowFiles::ClearReportsFailureAndRemovesTheRest()
{
    // A hidden folder is not among the folders that are removed, so its parent cannot go
    // (a failure that permissions could not give, since the tests may run as root).
    QVERIFY(QDir(SfxFolder()).mkpath(QStringLiteral(".hidden")));
    fixture->dialogs.buttons.enqueue(QMessageBox::Yes);

    fixture->Window()->ClearWorkingDirectory();

    QCOMPARE(fixture->dialogs.Log(), Question() << QStringLiteral("Error: Failed to clear working directory."));
    QCOMPARE(Listing(fixture->WorkDir()), QStringList{QStringLiteral("Sfx1")});
    QCOMPARE(Listing(SfxFolder()), QStringList{QStringLiteral(".hidden")});
    QVERIFY(fixture->Status() != cleared);
}

QTEST_MAIN(TestMainWindowFiles)
#include "tst_MainWindowFiles.moc"
