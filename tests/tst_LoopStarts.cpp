#include "app/archive/LoopStarts.h"

#include <QtTest>

#include "FileLocks.h"
#include "TestTones.h"
#include "format/Metafile.h"

namespace
{
// As unpacking writes it; sound 2 of bank 1 loops from frame 100.
const QByteArray unpacked = "[Archive]\nnum_banks=2\n\n[Bank_001]\nsound_001.filename=a.wav\nsound_001.loop_offset=-1\n"
                            "sound_002.filename=b.wav\nsound_002.loop_offset=100\nsound_002.export_bytes=1600\n\n"
                            "[Bank_002]\nsound_002.filename=c.wav\nsound_001.filename=d.wav\n";
const QByteArray loops = "sound_002.loop_offset=100\n";
}

// Setting a loop start rewrites one key as the packer reads it and leaves every other byte; a
// sound made shorter than its loop start loops from its start.
class TestLoopStarts : public QObject
{
    Q_OBJECT

private slots:
    void SetsOneKeyAndKeepsEveryOtherByte_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<int>("bank");
        QTest::addColumn<int>("sound");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("a new loop start") << unpacked << 1 << 2 << qint64(250) << QByteArray(unpacked).replace("=100", "=250");
        QTest::newRow("from the start") << unpacked << 1 << 2 << qint64(0) << QByteArray(unpacked).replace("=100", "=0");
        QTest::newRow("does not loop") << unpacked << 1 << 2 << qint64(-1) << QByteArray(unpacked).replace("=100", "=-1");
        // Added after the sound's last key; the other bank's sound of that number is left alone.
        QTest::newRow("key absent") << QByteArray(unpacked).replace(loops, "") << 1 << 2 << qint64(5)
                                    << QByteArray(unpacked).replace(loops, "").replace("1600\n", "1600\nsound_002.loop_offset=5\n");
        QTest::newRow("key absent, no line end") << unpacked.chopped(1) << 2 << 1 << qint64(9) << unpacked + "sound_001.loop_offset=9";
        const QByteArray crlf = QByteArray(unpacked).replace("\n", "\r\n");
        QTest::newRow("CRLF, key absent") << crlf << 2 << 1 << qint64(3) << crlf + "sound_001.loop_offset=3\r\n";
        // The reader takes the last of a repeated key and merges sections of one name.
        QTest::newRow("repeated key") << unpacked + "[Bank_001]\n sound_002.loop_offset = 400 \r\n" << 1 << 2 << qint64(8)
                                      << unpacked + "[Bank_001]\n sound_002.loop_offset =8\r\n";
    }
    void SetsOneKeyAndKeepsEveryOtherByte()
    {
        QFETCH(QByteArray, before); QFETCH(int, bank); QFETCH(int, sound); QFETCH(qint64, frame); QFETCH(QByteArray, after);
        const QTemporaryDir dir;
        const QString path = dir.filePath("sfx_import.ini");
        QVERIFY(TestTones::WriteBytes(path, before));
        const LoopStarts loopStarts(path);
        QCOMPARE(loopStarts.Set(bank, sound, frame), QString());
        QCOMPARE(TestTones::ReadBytes(path), after);
        QCOMPARE(loopStarts.Get(bank, sound), std::optional<qint64>(frame));
        const auto name = [](const char *format, int number) { return QString::asprintf(format, number).toStdString(); };
        QCOMPARE(kivo::Metafile::Load(path.toStdString()).Integer(name("Bank_%03d", bank), name("sound_%03d.loop_offset", sound), -2),
                 frame);  // as the packer reads it
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sfx_import.ini"});
    }

    void RefusesAndChangesNothing_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("sound");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << "missing" << 2 << "Failed to read %1: No such file or directory";
        QTest::newRow("folder cannot be written") << "locked" << 2 << "Failed to write %1: ";
        QTest::newRow("no such sound") << "" << 3 << "%1 lists no sound 3 in bank 1.";
    }
    void RefusesAndChangesNothing()
    {
        QFETCH(QString, problem); QFETCH(int, sound); QFETCH(QString, message);
        const QTemporaryDir dir;
        const QString path = dir.filePath("sfx_import.ini");
        QVERIFY(problem == "missing" || TestTones::WriteBytes(path, unpacked));
        Locks locks;
        QVERIFY(problem != "locked" || locks.Lock(dir.path()));
        const QString said = LoopStarts(path).Set(1, sound, 5);
        QVERIFY2(said.startsWith(QString(message).replace("%1", path)), qPrintable(said));
        QCOMPARE(TestTones::ReadBytes(path), problem == "missing" ? QByteArray() : unpacked);
        locks.UnlockAll();
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), problem == "missing" ? 0 : 1);
    }

    void MovesALoopStartBeyondTheEndToTheStart_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("loopStart");
        QTest::addColumn<qint64>("kept");
        QTest::newRow("inside") << qint64(1000) << qint64(999) << qint64(999);
        QTest::newRow("does not loop") << qint64(10) << qint64(-1) << qint64(-1);
        QTest::newRow("at the end") << qint64(1000) << qint64(1000) << qint64(0);
        QTest::newRow("empty sound") << qint64(0) << qint64(0) << qint64(-1);
    }
    void MovesALoopStartBeyondTheEndToTheStart()
    {
        QFETCH(qint64, frames); QFETCH(qint64, loopStart); QFETCH(qint64, kept);
        const LoopStarts::Fitted fitted = LoopStarts::Fit(frames, loopStart);
        QCOMPARE(std::make_pair(fitted.frame, fitted.bChanged), std::make_pair(kept, kept != loopStart));
    }
};

QTEST_MAIN(TestLoopStarts)
#include "tst_LoopStarts.moc"
