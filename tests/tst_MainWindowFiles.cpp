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
    void ReplaceOfMissingFileReportsAndCopiesNothing();
    void ReplaceWithFailingCopyKeepsOldFile();
    void ReplaceRefusesEntryOutsideArchive();

    void ExportRemembersDirectoryOnlyWhenChosen();
    void ExportCopiesSelectedFilesOverExistingOnes();
    void ExportIntoSourceFolderLeavesFileUntouched();
    void ExportSkipsFolderEntryAndGoesOn();
    void ExportStopsWhenExistingFileCannotBeDeleted();
    void ExportWithFailingCopyKeepsExistingFile();
    void ExportRefusesEntryOutsideArchive();

    void ClearWithoutWorkingDirectory();
    void ClearWithMissingWorkingDirectory();
    void ClearRefusesWhilePlaying();
    void ClearAnsweredNoChangesNothing();
    void ClearRemovesArchiveFoldersAndKeepsPlainFiles();
    void ClearReportsFailureAndRemovesTheRest();
    void ClearRemovesLinksButNotWhatTheyPointTo();

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
    QStringList Question() const
    {
        return {QStringLiteral("Warning: All files inside your working directory (") + fixture->WorkDir()
                + QStringLiteral(") will be deleted.\nDo you want continue?")};
    }

    std::unique_ptr<WindowFixture> fixture;
};

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

void TestMainWindowFiles::ReplaceOfMissingFileReportsAndCopiesNothing()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QString target = SfxFolder() + QStringLiteral("/a1.wav");
    QVERIFY(QFile::remove(target));
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
    fixture->dialogs.paths.enqueue(NewSound());

    fixture->Window()->Replace();

    QCOMPARE(fixture->dialogs.Log(),
             (QStringList{QStringLiteral("chooser: "), QStringLiteral("Error: Failed to delete old file: ") + target}));
    QVERIFY(!QFile::exists(target));
    QVERIFY(fixture->Status() != QStringLiteral("Item was successfull replaced."));
}

void TestMainWindowFiles::ReplaceWithFailingCopyKeepsOldFile()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QString target = SfxFolder() + QStringLiteral("/a1.wav");
    const QByteArray old = WindowFixture::ReadAll(target);
    const QStringList before = Listing(SfxFolder());
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
    // The chosen file vanished before it could be copied.
    fixture->dialogs.paths.enqueue(fixture->Elsewhere() + QStringLiteral("/gone.wav"));

    fixture->Window()->Replace();

    QCOMPARE(fixture->dialogs.Log(), (QStringList{QStringLiteral("chooser: "),
                                                  QStringLiteral("Error: Failed to copy new file to working directory.")}));
    QVERIFY(!old.isEmpty());
    QCOMPARE(WindowFixture::ReadAll(target), old);
    QCOMPARE(Listing(SfxFolder()), before);
}

void TestMainWindowFiles::ReplaceRefusesEntryOutsideArchive()
{
    fixture->WriteSfxArchive(QStringLiteral("Odd"), {{"../victim.wav"}}, false);
    const QString victim = fixture->WorkDir() + QStringLiteral("/victim.wav");
    WindowFixture::WriteWave(victim);
    const QByteArray old = WindowFixture::ReadAll(victim);
    QVERIFY(fixture->LoadSfx(QStringLiteral("Odd")));
    fixture->EntryView()->setCurrentIndex(fixture->Entry(0, 0));
    fixture->dialogs.paths.enqueue(NewSound());

    fixture->Window()->Replace();

    QCOMPARE(fixture->dialogs.Log(),
             QStringList{QStringLiteral("Error: The entry's file name leads outside the archive folder.")});
    QCOMPARE(WindowFixture::ReadAll(victim), old);
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
             (QStringList{QStringLiteral("chooser: Selected directory for export"),
                          QStringLiteral("chooser: Selected directory for export"),
                          QStringLiteral("Error: Failed to export file."),
                          QStringLiteral("chooser: Selected directory for export")}));
    QCOMPARE(fixture->dialogs.shown[0].directory, QString());
    QCOMPARE(fixture->dialogs.shown[1].directory, QString());
    QCOMPARE(fixture->dialogs.shown[3].directory, fixture->Elsewhere());
}

void TestMainWindowFiles::ExportCopiesSelectedFilesOverExistingOnes()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    WindowFixture::WriteText(fixture->Elsewhere() + QStringLiteral("/a1.wav"), QStringLiteral("older"));
    Select(fixture->Entry(0, 0));
    Select(fixture->Entry(1, 0));
    fixture->dialogs.paths.enqueue(fixture->Elsewhere());

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(), QStringList{QStringLiteral("chooser: Selected directory for export")});
    QCOMPARE(Listing(fixture->Elsewhere()), (QStringList{QStringLiteral("a1.wav"), QStringLiteral("b1.wav")}));
    QCOMPARE(WindowFixture::ReadAll(fixture->Elsewhere() + QStringLiteral("/a1.wav")),
             WindowFixture::ReadAll(SfxFolder() + QStringLiteral("/a1.wav")));
    QCOMPARE(WindowFixture::ReadAll(fixture->Elsewhere() + QStringLiteral("/b1.wav")),
             WindowFixture::ReadAll(SfxFolder() + QStringLiteral("/b1.wav")));
    QCOMPARE(fixture->Status(), fixture->WorkDir());  // success shows nothing
}

void TestMainWindowFiles::ExportIntoSourceFolderLeavesFileUntouched()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QByteArray old = WindowFixture::ReadAll(SfxFolder() + QStringLiteral("/a1.wav"));
    const QStringList before = Listing(SfxFolder());
    Select(fixture->Entry(0, 0));
    fixture->dialogs.paths.enqueue(SfxFolder());

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(),
             (QStringList{QStringLiteral("chooser: Selected directory for export"),
                          QStringLiteral("Note: Source and destination file are the same. File won't be exported.")}));
    QCOMPARE(WindowFixture::ReadAll(SfxFolder() + QStringLiteral("/a1.wav")), old);
    QCOMPARE(Listing(SfxFolder()), before);
}

void TestMainWindowFiles::ExportSkipsFolderEntryAndGoesOn()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    QVERIFY(QDir(SfxFolder()).mkdir(QStringLiteral("Bank_001")));
    Select(fixture->Entry(-1, 0));
    Select(fixture->Entry(1, 0));
    fixture->dialogs.paths.enqueue(fixture->Elsewhere());

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(), (QStringList{QStringLiteral("chooser: Selected directory for export"),
                                                  QStringLiteral("Note: The selected item is not a file.")}));
    QCOMPARE(Listing(fixture->Elsewhere()), QStringList{QStringLiteral("b1.wav")});
}

void TestMainWindowFiles::ExportStopsWhenExistingFileCannotBeDeleted()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    // A folder of the file's name stands in the way and cannot be deleted as a file.
    QVERIFY(QDir(fixture->Elsewhere()).mkpath(QStringLiteral("a1.wav/keep")));
    Select(fixture->Entry(0, 0));
    Select(fixture->Entry(0, 1));
    fixture->dialogs.paths.enqueue(fixture->Elsewhere());

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(), (QStringList{QStringLiteral("chooser: Selected directory for export"),
                                                  QStringLiteral("Error: Failed to delete existing file.")}));
    QCOMPARE(Listing(fixture->Elsewhere()), QStringList{QStringLiteral("a1.wav")});
    QVERIFY(QFileInfo(fixture->Elsewhere() + QStringLiteral("/a1.wav/keep")).isDir());
}

void TestMainWindowFiles::ExportWithFailingCopyKeepsExistingFile()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    WindowFixture::WriteText(fixture->Elsewhere() + QStringLiteral("/a1.wav"), QStringLiteral("keep me"));
    QVERIFY(QFile::remove(SfxFolder() + QStringLiteral("/a1.wav")));
    Select(fixture->Entry(0, 0));
    Select(fixture->Entry(0, 1));
    fixture->dialogs.paths.enqueue(fixture->Elsewhere());

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(), (QStringList{QStringLiteral("chooser: Selected directory for export"),
                                                  QStringLiteral("Error: Failed to export file.")}));
    QCOMPARE(WindowFixture::ReadAll(fixture->Elsewhere() + QStringLiteral("/a1.wav")), QByteArray("keep me"));
    // The loop went on with the next entry.
    QCOMPARE(Listing(fixture->Elsewhere()), (QStringList{QStringLiteral("a1.wav"), QStringLiteral("a2.wav")}));
}

void TestMainWindowFiles::ExportRefusesEntryOutsideArchive()
{
    fixture->WriteSfxArchive(QStringLiteral("Odd"), {{"../../secret.txt", "fine.wav"}}, false);
    WindowFixture::WriteText(fixture->Root() + QStringLiteral("/secret.txt"), QStringLiteral("secret"));
    WindowFixture::WriteWave(fixture->WorkDir() + QStringLiteral("/Odd/fine.wav"));
    QVERIFY(fixture->LoadSfx(QStringLiteral("Odd")));
    Select(fixture->Entry(0, 0));
    Select(fixture->Entry(0, 1));
    fixture->dialogs.paths.enqueue(fixture->Elsewhere());

    fixture->Window()->Export();

    QCOMPARE(fixture->dialogs.Log(),
             (QStringList{QStringLiteral("chooser: Selected directory for export"),
                          QStringLiteral("Error: The entry's file name leads outside the archive folder.")}));
    QCOMPARE(Listing(fixture->Elsewhere()), QStringList{QStringLiteral("fine.wav")});
}

void TestMainWindowFiles::ClearWithoutWorkingDirectory()
{
    fixture.reset();
    fixture = std::make_unique<WindowFixture>();
    {
        QSettings settings(QStringLiteral("settings.ini"), QSettings::IniFormat);
        settings.setValue(QStringLiteral("WorkingDirectory"), QString());
    }
    fixture->Open();  // the start-up chooser is cancelled: no working directory
    fixture->Window()->ClearWorkingDirectory();
    QCOMPARE(fixture->dialogs.Log(), QStringList{QStringLiteral("Information: No working directory was specified.")});
}

void TestMainWindowFiles::ClearWithMissingWorkingDirectory()
{
    QVERIFY(QDir(fixture->WorkDir()).removeRecursively());
    fixture->Window()->ClearWorkingDirectory();
    QCOMPARE(fixture->dialogs.Log(), QStringList{QStringLiteral("Warning: Working directory doesn't exists.")});
}

void TestMainWindowFiles::ClearRefusesWhilePlaying()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    QVERIFY(fixture->Window()->Play(fixture->Entry(0, 0)));
    fixture->Window()->ClearWorkingDirectory();
    QCOMPARE(fixture->dialogs.Log(),
             QStringList{QStringLiteral("Warning: Please stop the player before clearing your working directory.")});
    QCOMPARE(fixture->dialogs.shown[0].kind, UserDialogs::Kind::Information);
    QVERIFY(QFile::exists(SfxFolder() + QStringLiteral("/a1.wav")));
}

void TestMainWindowFiles::ClearAnsweredNoChangesNothing()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    fixture->dialogs.buttons.enqueue(QMessageBox::No);
    fixture->Window()->ClearWorkingDirectory();
    QCOMPARE(fixture->dialogs.Log(), Question());
    QCOMPARE(fixture->dialogs.shown[0].buttons, QMessageBox::Yes | QMessageBox::No);
    QVERIFY(fixture->Entries());
    QCOMPARE(Listing(fixture->WorkDir()), (QStringList{QStringLiteral("Radio"), QStringLiteral("Sfx1")}));
}

void TestMainWindowFiles::ClearRemovesArchiveFoldersAndKeepsPlainFiles()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    QVERIFY(QDir(SfxFolder()).mkpath(QStringLiteral("deep/deeper")));
    WindowFixture::WriteText(SfxFolder() + QStringLiteral("/deep/deeper/x.txt"), QStringLiteral("x"));
    WindowFixture::WriteText(SfxFolder() + QStringLiteral("/deep/.hidden"), QStringLiteral("h"));
    WindowFixture::WriteText(fixture->WorkDir() + QStringLiteral("/notes.txt"), QStringLiteral("mine"));
    fixture->dialogs.buttons.enqueue(QMessageBox::Yes);

    fixture->Window()->ClearWorkingDirectory();

    QCOMPARE(fixture->dialogs.Log(), Question());
    QCOMPARE(Listing(fixture->WorkDir()), QStringList{QStringLiteral("notes.txt")});
    QVERIFY(!fixture->Entries());
    QCOMPARE(fixture->Status(), QStringLiteral("Working directory was cleared."));
    // The list is empty now, so there is nothing to play, search or save.
    QVERIFY(!fixture->Window()->ContentAvailable());
    fixture->Window()->SaveArchive();
    QCOMPARE(fixture->dialogs.Log(), Question());

    // Nothing but plain files left: nothing to remove, and still a success.
    fixture->dialogs.buttons.enqueue(QMessageBox::Yes);
    fixture->Window()->ClearWorkingDirectory();
    QCOMPARE(Listing(fixture->WorkDir()), QStringList{QStringLiteral("notes.txt")});
    QCOMPARE(fixture->Status(), QStringLiteral("Working directory was cleared."));
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
    QVERIFY(fixture->Status() != QStringLiteral("Working directory was cleared."));
}

void TestMainWindowFiles::ClearRemovesLinksButNotWhatTheyPointTo()
{
    const QString outside = fixture->Elsewhere();
    QVERIFY(QDir(outside).mkpath(QStringLiteral("folder")));
    WindowFixture::WriteText(outside + QStringLiteral("/keep.txt"), QStringLiteral("keep"));
    WindowFixture::WriteText(outside + QStringLiteral("/folder/keep.txt"), QStringLiteral("keep"));
    QVERIFY(QFile::link(outside, fixture->WorkDir() + QStringLiteral("/linked-folder")));
    QVERIFY(QFile::link(outside + QStringLiteral("/folder"), SfxFolder() + QStringLiteral("/inner-link")));
    QVERIFY(QFile::link(outside + QStringLiteral("/keep.txt"), SfxFolder() + QStringLiteral("/file-link.wav")));
    fixture->dialogs.buttons.enqueue(QMessageBox::Yes);

    fixture->Window()->ClearWorkingDirectory();

    QCOMPARE(fixture->Status(), QStringLiteral("Working directory was cleared."));
    QCOMPARE(Listing(fixture->WorkDir()), QStringList());
    QCOMPARE(Listing(outside), (QStringList{QStringLiteral("folder"), QStringLiteral("keep.txt")}));
    QCOMPARE(Listing(outside + QStringLiteral("/folder")), QStringList{QStringLiteral("keep.txt")});
}

QTEST_MAIN(TestMainWindowFiles)
#include "tst_MainWindowFiles.moc"
