#include "app/archive/WorkingDirectory.h"

#include <QtTest>

#include "TestTones.h"

// Clearing takes the folders unpacking made, links as links, and nothing when the game is near.
class TestWorkingDirectory : public QObject
{
    Q_OBJECT

private slots:
    void ClearsOnlyUnpackedArchivesNeverThroughLinks()
    {
        const QString work = dir.filePath("work"), outside = dir.filePath("outside");
        for (const QString &file : {"/Sfx1/sfx_import.ini", "/Sfx1/.originals/b/a.wav", "/Sfx1/.hidden", "/Radio/t.ogg",
                                    "/mine/keep.txt"})
            QVERIFY(QDir().mkpath(QFileInfo(work + file).path()) && TestTones::WriteBytes(work + file, "x"));
        QVERIFY(QDir().mkpath(outside + "/inner") && TestTones::WriteBytes(outside + "/inner/stream_import.ini", "keep"));
        QVERIFY(QFile::link(outside + "/inner", work + "/Linked") && QFile::link(outside, work + "/Sfx1/link"));
        const WorkingDirectory directory(work, dir.filePath("gta"));
        QStringList kept;

        const QStringList folders = directory.UnpackedFolders({"Radio"}, kept);

        QCOMPARE(folders, (QStringList{"Linked", "Radio", "Sfx1"}));
        QCOMPARE(kept, QStringList{"mine"});
        const QList<WorkingDirectory::ChangedFolder> changed = directory.ChangedFolders(folders);
        QVERIFY(changed.size() == 1 && changed[0].name == "Sfx1" && changed[0].entries == 1);
        QVERIFY(directory.Remove(folders));
        QCOMPARE(QDir(work).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden), QStringList{"mine"});
        QCOMPARE(QDir(outside + "/inner").entryList(QDir::Files), QStringList{"stream_import.ini"});
    }

    void RemovesNothingNearTheGameFolder_data()
    {
        QTest::addColumn<QString>("game");  // relative to the temporary folder
        QTest::newRow("is it") << "work";
        QTest::newRow("lies inside it") << ".";
        QTest::newRow("holds it") << "work/gta";
    }
    void RemovesNothingNearTheGameFolder()
    {
        QFETCH(QString, game);
        const QString work = dir.filePath("work");
        QVERIFY(QDir().mkpath(work + "/gta") && TestTones::WriteBytes(work + "/gta/sfx_import.ini", "x"));
        const WorkingDirectory directory(work, dir.filePath(game));

        QCOMPARE(directory.Check(), WorkingDirectory::State::OverlapsGameFolder);
        QVERIFY(!directory.Remove({"gta"}));
        QVERIFY(QFile::exists(work + "/gta/sfx_import.ini"));
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestWorkingDirectory)
#include "tst_WorkingDirectory.moc"
