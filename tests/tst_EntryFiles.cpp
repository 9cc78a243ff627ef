#include "app/archive/EntryFiles.h"

#include <QtTest>

#include "TestTones.h"
#include "app/archive/OperationFeedback.h"

namespace
{
// A conversion that fails, and where `bBlock`, leaves a folder where the entry's file was.
struct FailingConversion : OperationFeedback
{
    bool bBlock = false;
    AudioConverter::Result Convert(const QString &, const QString &target, const AudioForm &) override
    {
        if (bBlock)
            QDir().mkpath(target + "/blocked");
        return {AudioConverter::Outcome::Failed, "failed"};
    }
    void Inform(const QString &, const QString &) override {}
    void Fail(const QString &) override {}
};
}

// A replace swaps the file or leaves the entry as it was, keeps only the first original, and
// revert puts that back and takes the mark with it.
class TestEntryFiles : public QObject
{
    Q_OBJECT

private slots:
    void ReplacesOrLeavesTheEntryAsItWas_data()
    {
        QTest::addColumn<int>("chosenRate");
        QTest::addColumn<bool>("block");
        QTest::addColumn<QString>("message");
        QTest::newRow("swapped") << 22050 << false << "";
        QTest::newRow("failed conversion") << 44100 << false << "failed";
        QTest::newRow("old file cannot come back") << 44100 << true << "failed\nThe original file is kept as \"%1\".";
    }
    void ReplacesOrLeavesTheEntryAsItWas()
    {
        QFETCH(int, chosenRate);
        QFETCH(bool, block);
        QFETCH(QString, message);
        const QTemporaryDir dir;
        const LoadedArchive archive(IniMetafileModel::SFX, dir.filePath("sfx_import.ini"), QModelIndex(), QString());
        const EntryFiles files(archive);
        const QString target = dir.filePath("a1.wav"), chosen = dir.filePath("new.wav"), original = dir.filePath(".originals/a1.wav");
        QVERIFY(TestTones::Write(target, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 500, 22050, 1));
        QVERIFY(TestTones::Write(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 900, chosenRate, 1));
        const QByteArray old = TestTones::ReadBytes(target);
        FailingConversion feedback;
        feedback.bBlock = block;

        const AudioConverter::Result result = files.Replace("a1.wav", target, chosen, 22050, 0.0, feedback);

        QCOMPARE(result.message, message.arg(original));
        const bool bSwapped = message.isEmpty();
        QCOMPARE(files.Changed(), bSwapped || block ? QSet<QString>{"a1.wav"} : QSet<QString>());
        QCOMPARE(TestTones::ReadBytes(block ? original : target), bSwapped ? TestTones::ReadBytes(chosen) : old);
        if (!bSwapped)
            return;
        // A second replace keeps the first original; revert brings that back and the mark goes.
        QVERIFY(TestTones::Write(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 700, 22050, 1));
        QCOMPARE(files.Replace("a1.wav", target, chosen, 22050, 0.0, feedback).message, QString());
        QCOMPARE(TestTones::ReadBytes(original), old);
        QCOMPARE(files.Revert({"a1.wav", "a2.wav"}).count, 1);
        QCOMPARE(TestTones::ReadBytes(target), old);
        QVERIFY(files.Changed().isEmpty() && !QFileInfo::exists(dir.filePath(".originals")));
    }
};

QTEST_MAIN(TestEntryFiles)
#include "tst_EntryFiles.moc"
