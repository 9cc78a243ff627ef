#include "app/archive/CopyOut.h"

#include <QtTest>

#include "TestTones.h"

namespace
{
QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}
}

// Copying entries out never costs the file that was at the target, and says what came of each.
class TestCopyOut : public QObject
{
    Q_OBJECT

private slots:
    void CopiesOrKeepsWhatWasThere()
    {
        const QString archive = dir.filePath("Sfx1"), out = dir.filePath("out");
        QVERIFY(QDir().mkpath(archive + "/b1") && QDir().mkpath(archive + "/b2") && QDir().mkpath(out + "/b2"));
        for (const QString &file : {"/b1/s.wav", "/b2/s.wav"})
            QVERIFY(TestTones::WriteBytes(archive + file, file.toUtf8()));
        QVERIFY(TestTones::WriteBytes(out + "/b1", "a file where a bank folder should go"));
        QVERIFY(TestTones::WriteBytes(out + "/b2/s.wav", "older"));
        QVERIFY(TestTones::WriteBytes(out + "/b2/gone.wav", "keep me"));
        const QList<CopyOut::Entry> entries{{"../x.wav", QString()},
                                            {"b1", archive + "/b1", true},
                                            {"b1/s.wav", archive + "/b1/s.wav"},
                                            {"b2/gone.wav", archive + "/b2/gone.wav"},
                                            {"b2/s.wav", archive + "/b2/s.wav"}};

        const QList<CopyOut::Outcome> outcomes = CopyOut::Copy(entries, out);

        using O = CopyOut::Outcome;
        QCOMPARE(outcomes, (QList<O>{O::OutsideArchive, O::NotAFile, O::CopyFailed, O::CopyFailed, O::Copied}));
        QCOMPARE(QDir(out + "/b2").entryList(QDir::Files), (QStringList{"gone.wav", "s.wav"}));
        QCOMPARE(ReadAll(out + "/b2/gone.wav"), "keep me");
        QCOMPARE(ReadAll(out + "/b2/s.wav"), "/b2/s.wav");
        QCOMPARE(CopyOut::Copy({{"b1/s.wav", out + "/s.wav"}}, out), QList<O>{O::SameFile});
    }

private:
    QTemporaryDir dir;
};

QTEST_MAIN(TestCopyOut)
#include "tst_CopyOut.moc"
