#include "app/archive/OpenedArchive.h"

#include <QtTest>

#include "RecordingFeedback.h"
#include "TestTones.h"
#include "app/archive/FolderReplacement.h"

// The opened archive and what acts on many of its entries at once, without a window.
class TestOpenedArchive : public QObject
{
    Q_OBJECT

private slots:
    // A folder's files go in one by one: never into the entry that plays (also after a reload),
    // never a file onto itself, and none after the user stopped.
    void ReplacesMatchingFilesUntilStopped_data()
    {
        QTest::addColumn<int>("stopAt");
        QTest::newRow("to the end") << -1;
        QTest::newRow("stopped before the first") << 0;
    }
    void ReplacesMatchingFilesUntilStopped()
    {
        QFETCH(int, stopAt);
        const QTemporaryDir dir;
        const QString metafile = dir.filePath("sfx_import.ini");
        QVERIFY(TestTones::WriteBytes(metafile, "[Archive]\nbasename=GENRL\nnum_banks=2\n[Bank_001]\nnum_sounds=2\n"
                                                "sound_001.filename=a1.wav\nsound_002.filename=a2.wav\n[Bank_002]\n"
                                                "num_sounds=1\nsound_001.filename=b1.wav\n"));
        const QStringList names{"Bank_001/sound_001.wav", "Bank_001/sound_002.wav", "Bank_002/sound_001.wav", "Bank_9/sound_1.wav"};
        QStringList paths;
        for (const QString &name : names) {
            paths << dir.filePath("mod/" + name);
            QVERIFY(QDir().mkpath(QFileInfo(paths.last()).path()));
            QVERIFY(TestTones::Write(paths.last(), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 700, 22050, 1));
        }
        for (const QString &sound : {"a1.wav", "a2.wav", "b1.wav"})
            QVERIFY(TestTones::Write(dir.filePath(sound), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 300, 22050, 1));
        paths[1] = dir.filePath("a2.wav");
        const QByteArray old = TestTones::ReadBytes(dir.filePath("a1.wav"));
        OpenedArchive opened;
        const auto open = [&] {
            opened.Open(std::make_unique<IniMetafileModel>(IniMetafileModel::SFX, metafile, QMap<QString, QString>()),
                        LoadedArchive(IniMetafileModel::SFX, metafile, QModelIndex(), QString()));
        };
        open();
        opened.SetPlaying(opened.IndexOf({2, 1}), dir.filePath("b1.wav"));
        open();

        const FolderReplacement replacement(opened, names, paths);
        RecordingFeedback feedback;
        feedback.stopAt = stopAt;
        const FolderReplacement::Result result = replacement.Run({}, feedback);

        QCOMPARE(replacement.Rows().size(), 2);
        QCOMPARE(replacement.Unmatched().last().reason, "it is the entry's own file");
        QCOMPARE(result.bAborted, stopAt == 0);
        QCOMPARE(result.refused, stopAt == 0 ? QStringList() : QStringList{"b1.wav <- Bank_002/sound_001.wav: it is playing"});
        QCOMPARE(result.replaced, stopAt == 0 ? 0 : 1);
        QCOMPARE(TestTones::ReadBytes(dir.filePath("a1.wav")), stopAt == 0 ? old : TestTones::ReadBytes(paths[0]));
        QCOMPARE(TestTones::ReadBytes(dir.filePath("b1.wav")), old);
        QCOMPARE(opened.Model()->ChangedCount(), result.replaced);
    }
};

QTEST_MAIN(TestOpenedArchive)
#include "tst_OpenedArchive.moc"
