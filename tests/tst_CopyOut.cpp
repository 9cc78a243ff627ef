#include "app/archive/CopyOut.h"

#include <QtTest>

#include "TestTones.h"

// Copying entries out never costs the file that was at the target, and says what came of each.
class TestCopyOut : public QObject
{
    Q_OBJECT

private slots:
    void CopiesOrKeepsWhatWasThere()
    {
        const QString archive = dir.filePath("Sfx1"), out = dir.filePath("out");
        // A file where a bank folder should go, a file to copy over and one that must survive a failed copy.
        for (const QString &file : {"Sfx1/b1/s.wav", "Sfx1/b2/s.wav", "out/b1", "out/b2/s.wav", "out/b2/gone.wav"})
            QVERIFY(QDir().mkpath(QFileInfo(dir.filePath(file)).path()) && TestTones::WriteBytes(dir.filePath(file), file.toUtf8()));
        const QList<CopyOut::Entry> entries{{"../x.wav", QString()}, {"b1", archive + "/b1", true}, {"b1/s.wav", archive + "/b1/s.wav"},
                                            {"b2/gone.wav", archive + "/b2/gone.wav"}, {"b2/s.wav", archive + "/b2/s.wav"}};
        using O = CopyOut::Outcome;
        QCOMPARE(CopyOut::Copy(entries, out), (QList<O>{O::OutsideArchive, O::NotAFile, O::CopyFailed, O::CopyFailed, O::Copied}));
        QCOMPARE(QDir(out + "/b2").entryList(QDir::Files), (QStringList{"gone.wav", "s.wav"}));
        QCOMPARE(TestTones::ReadBytes(out + "/b2/gone.wav") + TestTones::ReadBytes(out + "/b2/s.wav"), "out/b2/gone.wavSfx1/b2/s.wav");
        QCOMPARE(CopyOut::Copy({{"b1/s.wav", out + "/s.wav"}}, out), QList<O>{O::SameFile});
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestCopyOut)
#include "tst_CopyOut.moc"
