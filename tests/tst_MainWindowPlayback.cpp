#include "WindowFixture.h"

#include <QStringListModel>

// Playing entries of a loaded archive, stepping through them, the status bar and the metadata list.
class TestMainWindowPlayback : public QObject
{
    Q_OBJECT

private slots:
    void init()
    {
        fixture = std::make_unique<WindowFixture>();
        fixture->WriteBesideProgram("<Root>\n"
                                    "  <InfoData Id=\"1\" Text=\"a;;b;\"/>\n"
                                    "  <InfoData Id=\"2\" Text=\"other archive\"/>\n"
                                    "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx1\\a1.wav\" InfoDataItemId=\"1\"/>\n"
                                    "  <MetaData VirtualPath=\"Archiv\\Audio\\Sfx2\\a1.wav\" InfoDataItemId=\"2\"/>\n"
                                    "</Root>\n");
        fixture->WriteSfxArchive("Sfx1", {{"a1.wav", "a2.wav", "a3.wav"}, {"b1.wav", "b2.wav"}});
        fixture->WriteStreamArchive("Radio", {"t1.ogg", "t2.ogg", "t3.ogg"});
        fixture->Open();
    }
    void cleanup() { fixture.reset(); }

    // The next sound of a bank is reached through the shortcuts; these are the edges.
    void StepsThroughEntriesAndWrapsAround_data()
    {
        QTest::addColumn<QString>("archive");
        QTest::addColumn<QPoint>("start");   // (top-level row or -1, row)
        QTest::addColumn<QString>("step");   // "next", "previous" or "current"
        QTest::addColumn<QString>("missing");  // a sound file removed beforehand
        QTest::addColumn<QString>("file");   // the entry current and playing afterwards

        QTest::newRow("last sound of a bank to the next bank") << "Sfx1" << QPoint(0, 2) << "next" << "" << "b1.wav";
        QTest::newRow("last sound of the last bank wraps") << "Sfx1" << QPoint(1, 1) << "next" << "" << "a1.wav";
        QTest::newRow("bank row to its first sound") << "Sfx1" << QPoint(-1, 1) << "next" << "" << "b1.wav";
        QTest::newRow("first sound of a bank to the previous bank") << "Sfx1" << QPoint(1, 0) << "previous" << "" << "a3.wav";
        QTest::newRow("first sound of the first bank wraps") << "Sfx1" << QPoint(0, 0) << "previous" << "" << "b2.wav";
        QTest::newRow("bank row to its last sound") << "Sfx1" << QPoint(-1, 0) << "previous" << "" << "a3.wav";
        QTest::newRow("last track wraps to the first") << "Radio" << QPoint(-1, 2) << "next" << "" << "t1.ogg";
        QTest::newRow("first track wraps to the last") << "Radio" << QPoint(-1, 0) << "previous" << "" << "t3.ogg";
        // The player reports the file it cannot play; the selection stays where it was.
        QTest::newRow("next file missing") << "Sfx1" << QPoint(0, 0) << "next" << "a2.wav" << "a1.wav";
        QTest::newRow("nothing current: next") << "Sfx1" << QPoint(-1, -1) << "next" << "" << "";
        QTest::newRow("nothing current: previous") << "Sfx1" << QPoint(-1, -1) << "previous" << "" << "";
        QTest::newRow("nothing current: play") << "Sfx1" << QPoint(-1, -1) << "current" << "" << "";
    }
    void StepsThroughEntriesAndWrapsAround()
    {
        QFETCH(QString, archive);
        QFETCH(QPoint, start);
        QFETCH(QString, step);
        QFETCH(QString, missing);
        QFETCH(QString, file);
        QVERIFY(fixture->Load(archive));
        QVERIFY(missing.isEmpty() || QFile::remove(fixture->WorkDir() + '/' + archive + '/' + missing));
        fixture->EntryView()->setCurrentIndex(fixture->Entry(start.x(), start.y()));

        step == "next" ? fixture->Window()->PlayNext()
                       : step == "previous" ? fixture->Window()->PlayPrevious() : fixture->Window()->PlayCurrent();

        QCOMPARE(fixture->EntryView()->currentIndex().data().toString(), file);
        const bool bPlays = missing.isEmpty() && !file.isEmpty();
        QCOMPARE(fixture->Status(), bPlays ? "Playing file " + fixture->WorkDir() + '/' + archive + '/' + file : fixture->WorkDir());
        QCOMPARE(fixture->dialogs.shown.size(), missing.isEmpty() ? 0 : 1);
    }

    void BankRowWithAFolderOfItsNameIsNotPlayed()
    {
        QVERIFY(fixture->Load("Sfx1"));
        const QString status = fixture->Status();

        // A folder of the bank's name is never handed to the player, which would report it.
        QVERIFY(QDir(fixture->WorkDir()).mkpath("Sfx1/Bank_001"));
        QVERIFY(!fixture->Window()->Play(fixture->Entry(-1, 0)));
        QVERIFY(fixture->dialogs.shown.isEmpty());
        QCOMPARE(fixture->Status(), status);
    }

    void PlaysOnlyFilesInsideArchiveFolder_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("bAllowed");
        QTest::addColumn<QString>("basename");  // the archive folder the metafile names; empty: its own

        QTest::newRow("plain name") << "inside.wav" << true << "";
        QTest::newRow("detour that stays inside") << "sub/../inside.wav" << true << "";
        QTest::newRow("parent folder") << "../outside.wav" << false << "";
        QTest::newRow("parent folder with backslashes") << "..\\outside.wav" << false << "";
        QTest::newRow("absolute path") << "ELSEWHERE/outside.wav" << false << "";
        QTest::newRow("drive letter") << "C:/outside.wav" << false << "";
        QTest::newRow("rooted backslash") << "\\outside.wav" << false << "";
        // The folder is where the metafile was read, whatever it calls itself.
        QTest::newRow("basename naming a folder outside") << "inside.wav" << true << "../elsewhere";
    }
    void PlaysOnlyFilesInsideArchiveFolder()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, bAllowed);
        QFETCH(QString, basename);
        const QString folder = fixture->WriteSfxArchive("Odd", {{fileName.replace("ELSEWHERE", fixture->Elsewhere())}},
                                                        false, basename);
        QDir(folder).mkpath("sub");
        for (const QString &path : {folder + "/inside.wav", folder + "/sub/inside.wav", fixture->WorkDir() + "/outside.wav",
                                    fixture->Elsewhere() + "/outside.wav"})
            WindowFixture::WriteWave(path);
        QVERIFY(fixture->Load("Odd"));

        QCOMPARE(fixture->Window()->Play(fixture->Entry(0, 0)), bAllowed);
        QCOMPARE(fixture->Status().startsWith("Playing file " + folder), bAllowed);
        QCOMPARE(fixture->Player()->IsPlaying(), bAllowed);
        QCOMPARE(fixture->dialogs.Log(), bAllowed ? QStringList()
                                                  : QStringList{"Error: The entry's file name leads outside the archive folder."});
    }

    void InfoShowsMetadataOfTheOpenedArchive()
    {
        QVERIFY(fixture->Load("Sfx1"));
        fixture->Window()->ShowInfoDialog();
        QVERIFY(fixture->MetaList()->isHidden());  // nothing selected: nothing to show
        // A folder loaded without a row of the tree has no path to look metadata up by.
        QCOMPARE(fixture->Window()->GetVirtualItemPath(fixture->Entry(1, 0)), QString());
        QVERIFY(fixture->OpenFromTree({"Audio", "Sfx1"}));
        QCOMPARE(fixture->Window()->GetVirtualItemPath(fixture->Entry(1, 0)), "Archiv\\Audio\\Sfx1\\b1.wav");

        const QModelIndex sound = fixture->Entry(0, 0);
        fixture->EntryView()->setCurrentIndex(sound);
        fixture->Window()->ShowInfoDialog();
        QVERIFY(!fixture->MetaList()->isHidden());
        auto *list = qobject_cast<QStringListModel *>(fixture->MetaList()->model());
        QVERIFY(list);
        QCOMPARE(list->stringList(), (QStringList{"a", "b"}));

        // Another archive selected with a single click (not opened) changes nothing.
        QVERIFY(fixture->SelectArchive({"Audio", "Sfx2"}));
        fixture->Window()->UpdateMetalist(sound);
        QCOMPARE(list->stringList(), (QStringList{"a", "b"}));

        // An entry without metadata empties the list.
        fixture->Window()->UpdateMetalist(fixture->Entry(0, 1));
        QCOMPARE(list->stringList(), QStringList());
    }

private:
    std::unique_ptr<WindowFixture> fixture;
};

QTEST_MAIN(TestMainWindowPlayback)
#include "tst_MainWindowPlayback.moc"
