#include "app/archive/EntryFiles.h"

#include <QtTest>

#include "TestTones.h"
#include "app/archive/OperationFeedback.h"

namespace
{
QByteArray ReadAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// A conversion that fails, and where `bBlock`, leaves a folder where the entry's file was.
class FailingConversion : public OperationFeedback
{
public:
    bool bBlock = false;
    AudioConverter::Result Convert(const QString &, const QString &target, const AudioForm &) override
    {
        if (bBlock)
            QDir().mkpath(target + "/blocked");
        return {AudioConverter::Outcome::Failed, "failed"};
    }
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
        QTest::addColumn<int>("chosenRate");  // 0: not audio
        QTest::addColumn<bool>("block");
        QTest::addColumn<QString>("message");
        QTest::newRow("swapped") << 22050 << false << "";
        QTest::newRow("not audio") << 0 << false << "The chosen file is not audio that can be read: Format not recognised.";
        QTest::newRow("failed conversion") << 44100 << false << "failed";
        QTest::newRow("old file cannot come back") << 44100 << true << "failed\nThe original file is kept as \"%1\".";
    }
    void ReplacesOrLeavesTheEntryAsItWas()
    {
        QFETCH(int, chosenRate);
        QFETCH(bool, block);
        QFETCH(QString, message);
        const QString target = dir.filePath("a1.wav"), original = dir.filePath(".originals/a1.wav");
        const QString chosen = dir.filePath("new.wav");
        QVERIFY(TestTones::Write(target, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 500, 22050, 1));
        QVERIFY(chosenRate ? TestTones::Write(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 900, chosenRate, 1)
                           : TestTones::WriteBytes(chosen, "not audio"));
        const QByteArray old = ReadAll(target);
        FailingConversion feedback;
        feedback.bBlock = block;

        const AudioConverter::Result result = files.Replace("a1.wav", target, chosen, 22050, 0.0, feedback);

        QCOMPARE(result.message, message.arg(original));
        const bool bSwapped = message.isEmpty();
        QCOMPARE(QFileInfo(original).isFile(), bSwapped || block);
        QCOMPARE(files.Changed(), bSwapped || block ? QSet<QString>{"a1.wav"} : QSet<QString>());
        if (block) {
            QCOMPARE(ReadAll(original), old);
            return;
        }
        QCOMPARE(ReadAll(target), bSwapped ? ReadAll(chosen) : old);
        if (!bSwapped)
            return;
        // A second replace keeps the first original; revert brings that back and the mark goes.
        QVERIFY(TestTones::Write(chosen, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 700, 22050, 1));
        QCOMPARE(files.Replace("a1.wav", target, chosen, 22050, 0.0, feedback).message, QString());
        QCOMPARE(ReadAll(original), old);
        QCOMPARE(files.Revert({"a1.wav", "a2.wav"}).count, 1);
        QCOMPARE(ReadAll(target), old);
        QVERIFY(files.Changed().isEmpty() && !QFileInfo::exists(dir.filePath(".originals")));
    }

    void cleanup()
    {
        for (const QString &name : QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
            QFileInfo(dir.filePath(name)).isDir() ? QDir(dir.filePath(name)).removeRecursively() : QFile::remove(dir.filePath(name));
    }

private:
    QTemporaryDir dir;
    LoadedArchive archive{IniMetafileModel::SFX, dir.filePath("sfx_import.ini"), QModelIndex(), QString()};
    EntryFiles files{archive};
};

QTEST_MAIN(TestEntryFiles)
#include "tst_EntryFiles.moc"
