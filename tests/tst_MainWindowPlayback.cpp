#include "WindowFixture.h"

#include <QStringListModel>

// Playing entries of a loaded archive, stepping through them, the status bar and the metadata list.
class TestMainWindowPlayback : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();

    void StepsThroughEntriesAndWrapsAround_data();
    void StepsThroughEntriesAndWrapsAround();
    void KeepsSelectionWhenNextFileCannotBePlayed();
    void StepsNowhereWithoutCurrentEntry();
    void BankRowPlaysOnlyWhenNoFolderHasItsName();
    void StopAndBreakClearStatus();
    void PlaysOnlyFilesInsideArchiveFolder_data();
    void PlaysOnlyFilesInsideArchiveFolder();
    void InfoShowsMetadataOfTheCurrentEntry();
    void ExpandsEveryTopLevelRow();

private:
    std::unique_ptr<WindowFixture> fixture;
};

void TestMainWindowPlayback::initTestCase()
{
    WindowFixture::WriteBesideProgram(QStringLiteral("configuration.ini"), QString::fromLatin1(StandardConfiguration()));
    WindowFixture::WriteBesideProgram(
        QStringLiteral("MetaData.xml"),
        QStringLiteral("<Root>\n"
                       "  <InfoData Id=\"1\" Text=\"a;;b;\"/>\n"
                       "  <InfoData Id=\"2\" Text=\"other archive\"/>\n"
                       "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\a1.wav\" InfoDataItemId=\"1\"/>\n"
                       "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx2\\a1.wav\" InfoDataItemId=\"2\"/>\n"
                       "</Root>\n"));
}

void TestMainWindowPlayback::init()
{
    fixture = std::make_unique<WindowFixture>();
    fixture->WriteSfxArchive(QStringLiteral("Sfx1"), {{"a1.wav", "a2.wav", "a3.wav"}, {"b1.wav", "b2.wav"}});
    fixture->WriteStreamArchive(QStringLiteral("Radio"), {"t1.ogg", "t2.ogg", "t3.ogg"});
    fixture->Open();
}

void TestMainWindowPlayback::cleanup()
{
    fixture.reset();
}

void TestMainWindowPlayback::StepsThroughEntriesAndWrapsAround_data()
{
    QTest::addColumn<bool>("bStream");
    QTest::addColumn<int>("startParent");
    QTest::addColumn<int>("startRow");
    QTest::addColumn<bool>("bForward");
    QTest::addColumn<int>("expectedParent");
    QTest::addColumn<int>("expectedRow");
    QTest::addColumn<QString>("expectedFile");

    QTest::newRow("next sound of the bank") << false << 0 << 0 << true << 0 << 1 << "a2.wav";
    QTest::newRow("last sound of a bank to the next bank") << false << 0 << 2 << true << 1 << 0 << "b1.wav";
    QTest::newRow("last sound of the last bank wraps") << false << 1 << 1 << true << 0 << 0 << "a1.wav";
    QTest::newRow("bank row to its first sound") << false << -1 << 1 << true << 1 << 0 << "b1.wav";
    QTest::newRow("previous sound of the bank") << false << 0 << 2 << false << 0 << 1 << "a2.wav";
    QTest::newRow("first sound of a bank to the previous bank") << false << 1 << 0 << false << 0 << 2 << "a3.wav";
    QTest::newRow("first sound of the first bank wraps") << false << 0 << 0 << false << 1 << 1 << "b2.wav";
    QTest::newRow("bank row to its last sound") << false << -1 << 0 << false << 0 << 2 << "a3.wav";
    QTest::newRow("last track wraps to the first") << true << -1 << 2 << true << -1 << 0 << "t1.ogg";
    QTest::newRow("first track wraps to the last") << true << -1 << 0 << false << -1 << 2 << "t3.ogg";
}

void TestMainWindowPlayback::StepsThroughEntriesAndWrapsAround()
{
    QFETCH(bool, bStream);
    QFETCH(int, startParent);
    QFETCH(int, startRow);
    QFETCH(bool, bForward);
    QFETCH(int, expectedParent);
    QFETCH(int, expectedRow);
    QFETCH(QString, expectedFile);

    const QString archive = bStream ? QStringLiteral("Radio") : QStringLiteral("Sfx1");
    QVERIFY(fixture->Load(bStream, archive));
    fixture->EntryView()->setCurrentIndex(fixture->Entry(startParent, startRow));

    bForward ? fixture->Window()->PlayNext() : fixture->Window()->PlayPrevious();

    QCOMPARE(fixture->EntryView()->currentIndex(), fixture->Entry(expectedParent, expectedRow));
    QCOMPARE(fixture->Status(), QStringLiteral("Playing file ") + fixture->WorkDir() + QLatin1Char('/') + archive
                                    + QLatin1Char('/') + expectedFile);
    QCOMPARE(fixture->dialogs.Log(), QStringList());
}

void TestMainWindowPlayback::KeepsSelectionWhenNextFileCannotBePlayed()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    QVERIFY(QFile::remove(fixture->WorkDir() + QStringLiteral("/Sfx1/a2.wav")));
    const QModelIndex first = fixture->Entry(0, 0);
    fixture->EntryView()->setCurrentIndex(first);
    QVERIFY(fixture->Window()->Play(first));

    fixture->Window()->PlayNext();

    QCOMPARE(fixture->EntryView()->currentIndex(), first);
    QVERIFY(!fixture->Status().endsWith(QStringLiteral("a2.wav")));
    QCOMPARE(fixture->dialogs.shown.size(), 1);  // the player's own error
    QCOMPARE(fixture->dialogs.shown.first().title, QStringLiteral("Error"));
}

void TestMainWindowPlayback::StepsNowhereWithoutCurrentEntry()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QString status = fixture->Status();
    fixture->Window()->PlayNext();
    fixture->Window()->PlayPrevious();
    fixture->Window()->PlayCurrent();
    QVERIFY(!fixture->EntryView()->currentIndex().isValid());
    QCOMPARE(fixture->Status(), status);
    QCOMPARE(fixture->dialogs.Log(), QStringList());
}

void TestMainWindowPlayback::BankRowPlaysOnlyWhenNoFolderHasItsName()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    const QString status = fixture->Status();

    // No folder Bank_001: the path goes to the player, which reports that it cannot play it.
    QVERIFY(!fixture->Window()->Play(fixture->Entry(-1, 0)));
    QCOMPARE(fixture->dialogs.shown.size(), 1);
    QCOMPARE(fixture->dialogs.shown.first().title, QStringLiteral("Error"));

    // A folder of the bank's name is never handed to the player.
    QVERIFY(QDir(fixture->WorkDir()).mkpath(QStringLiteral("Sfx1/Bank_001")));
    QVERIFY(!fixture->Window()->Play(fixture->Entry(-1, 0)));
    QCOMPARE(fixture->dialogs.shown.size(), 1);
    QCOMPARE(fixture->Status(), status);
}

void TestMainWindowPlayback::StopAndBreakClearStatus()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    QVERIFY(fixture->Window()->Play(fixture->Entry(0, 0)));
    QVERIFY(fixture->Player()->IsPlaying());
    fixture->Window()->Break();
    QCOMPARE(fixture->Status(), QString());

    QVERIFY(fixture->Window()->Play(fixture->Entry(0, 1)));
    QSignalSpy stopped(fixture->Player(), &FModPlayerWidget::PlayingStopped);
    fixture->Window()->StopPlaying();
    QCOMPARE(stopped.size(), 1);
    QCOMPARE(fixture->Status(), QString());
    QVERIFY(!fixture->Player()->IsPlaying());
}

void TestMainWindowPlayback::PlaysOnlyFilesInsideArchiveFolder_data()
{
    QTest::addColumn<QString>("fileName");
    QTest::addColumn<bool>("bAllowed");
    QTest::addColumn<QString>("basename");  // the archive folder the metafile names; empty: its own

    QTest::newRow("plain name") << "inside.wav" << true << "";
    QTest::newRow("subfolder") << "sub/inside.wav" << true << "";
    QTest::newRow("detour that stays inside") << "sub/../inside.wav" << true << "";
    QTest::newRow("parent folder") << "../outside.wav" << false << "";
    QTest::newRow("parent folder after a subfolder") << "sub/../../outside.wav" << false << "";
    QTest::newRow("parent folder with backslashes") << "..\\outside.wav" << false << "";
    QTest::newRow("absolute path") << "ELSEWHERE/outside.wav" << false << "";
    QTest::newRow("drive letter") << "C:/outside.wav" << false << "";
    QTest::newRow("rooted backslash") << "\\outside.wav" << false << "";
    QTest::newRow("archive folder led outside by the basename") << "outside.wav" << false << "../elsewhere";
}

void TestMainWindowPlayback::PlaysOnlyFilesInsideArchiveFolder()
{
    QFETCH(QString, fileName);
    QFETCH(bool, bAllowed);
    QFETCH(QString, basename);
    fileName.replace(QStringLiteral("ELSEWHERE"), fixture->Elsewhere());

    const QString folder = fixture->WriteSfxArchive(QStringLiteral("Odd"), {{fileName}}, false,
                                                    basename.isEmpty() ? QString() : basename);
    QDir(folder).mkpath(QStringLiteral("sub"));
    WindowFixture::WriteWave(folder + QStringLiteral("/inside.wav"));
    WindowFixture::WriteWave(folder + QStringLiteral("/sub/inside.wav"));
    WindowFixture::WriteWave(fixture->WorkDir() + QStringLiteral("/outside.wav"));
    WindowFixture::WriteWave(fixture->Elsewhere() + QStringLiteral("/outside.wav"));
    QVERIFY(fixture->LoadSfx(QStringLiteral("Odd")));

    QCOMPARE(fixture->Window()->Play(fixture->Entry(0, 0)), bAllowed);
    if (bAllowed) {
        QVERIFY(fixture->Status().startsWith(QStringLiteral("Playing file ") + folder));
        QCOMPARE(fixture->dialogs.Log(), QStringList());
    } else {
        QCOMPARE(fixture->dialogs.Log(),
                 QStringList{QStringLiteral("Error: The entry's file name leads outside the archive folder.")});
        QVERIFY(!fixture->Status().startsWith(QStringLiteral("Playing file")));
        QVERIFY(!fixture->Player()->IsPlaying());
    }
}

void TestMainWindowPlayback::InfoShowsMetadataOfTheCurrentEntry()
{
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx1")));
    fixture->Window()->ShowInfoDialog();
    QVERIFY(fixture->MetaList()->isHidden());  // nothing selected: nothing to show
    // Until an archive is selected in the tree there is no path to look metadata up by.
    QCOMPARE(fixture->Window()->GetVirtualItemPath(fixture->Entry(1, 0)), QString());
    QVERIFY(fixture->SelectArchive({QStringLiteral("Audio"), QStringLiteral("Sfx1")}));
    QCOMPARE(fixture->Window()->GetVirtualItemPath(fixture->Entry(1, 0)), QStringLiteral("Archiv\\Audio\\Sfx1\\b1.wav"));

    const QModelIndex sound = fixture->Entry(0, 0);
    fixture->EntryView()->setCurrentIndex(sound);
    fixture->Window()->ShowInfoDialog();
    QVERIFY(!fixture->MetaList()->isHidden());
    auto *list = qobject_cast<QStringListModel *>(fixture->MetaList()->model());
    QVERIFY(list);
    QCOMPARE(list->stringList(), (QStringList{QStringLiteral("a"), QStringLiteral("b")}));

    // Another archive selected with a single click (not loaded) decides the path from now on.
    QVERIFY(fixture->SelectArchive({QStringLiteral("Audio"), QStringLiteral("Sfx2")}));
    fixture->Window()->UpdateMetalist(sound);
    QCOMPARE(list->stringList(), QStringList{QStringLiteral("other archive")});

    // An entry without metadata empties the list.
    fixture->Window()->UpdateMetalist(fixture->Entry(0, 1));
    QCOMPARE(list->stringList(), QStringList());

    // Hidden again, the list keeps what it shows.
    fixture->Window()->ShowInfoDialog();
    QVERIFY(fixture->MetaList()->isHidden());
    fixture->Window()->UpdateMetalist(sound);
    QCOMPARE(list->stringList(), QStringList());
}

void TestMainWindowPlayback::ExpandsEveryTopLevelRow()
{
    QVERIFY(fixture->ArchiveView()->isExpanded(fixture->ArchiveView()->model()->index(0, 0)));

    fixture->WriteSfxArchive(QStringLiteral("Sfx2"), {{"x.wav"}, {"y.wav"}});
    QVERIFY(fixture->LoadSfx(QStringLiteral("Sfx2")));
    QVERIFY(!fixture->EntryView()->isExpanded(fixture->Entry(-1, 0)));
    fixture->Window()->ExpandAll();
    QVERIFY(fixture->EntryView()->isExpanded(fixture->Entry(-1, 0)));
    QVERIFY(fixture->EntryView()->isExpanded(fixture->Entry(-1, 1)));
}

QTEST_MAIN(TestMainWindowPlayback)
#include "tst_MainWindowPlayback.moc"
