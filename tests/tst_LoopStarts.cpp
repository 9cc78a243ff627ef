#include "app/archive/LoopStarts.h"

#include <QtTest>

#include "FileLocks.h"
#include "TestTones.h"
#include "format/Metafile.h"

namespace
{
// Two banks as unpacking writes them; sound 2 of bank 1 loops from frame 100.
const QByteArray unpacked = "[Archive]\nbasename=GENRL\nnum_banks=2\n\n"
                            "[Bank_001]\nnum_sounds=2\n"
                            "sound_001.filename=Bank_001/sound_001.wav\nsound_001.loop_offset=-1\n"
                            "sound_002.filename=Bank_001/sound_002.wav\nsound_002.loop_offset=100\nsound_002.export_bytes=1600\n\n"
                            "[Bank_002]\nnum_sounds=1\nsound_002.filename=x.wav\nsound_001.filename=Bank_002/sound_001.wav\n";

QByteArray Replaced(QByteArray text, const QByteArray &before, const QByteArray &after)
{
    return text.replace(before, after);
}
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
        const QByteArray loops = "sound_002.loop_offset=100\n";
        QTest::newRow("a new loop start") << unpacked << 1 << 2 << qint64(250)
                                          << Replaced(unpacked, loops, "sound_002.loop_offset=250\n");
        QTest::newRow("from the start") << unpacked << 1 << 2 << qint64(0) << Replaced(unpacked, loops, "sound_002.loop_offset=0\n");
        QTest::newRow("does not loop") << unpacked << 1 << 2 << qint64(-1) << Replaced(unpacked, loops, "sound_002.loop_offset=-1\n");
        QTest::newRow("a sound that did not loop") << unpacked << 1 << 1 << qint64(7)
                                                   << Replaced(unpacked, "sound_001.loop_offset=-1", "sound_001.loop_offset=7");
        // Added after the sound's last key; the other bank's sound of that number is left alone.
        QTest::newRow("key absent") << Replaced(unpacked, loops, "") << 1 << 2 << qint64(5)
                                    << Replaced(unpacked, loops, "").replace("export_bytes=1600\n", "export_bytes=1600\nsound_002.loop_offset=5\n");
        QTest::newRow("key absent, in the other bank") << unpacked << 2 << 1 << qint64(9)
                                                       << unpacked + "sound_001.loop_offset=9\n";
        QTest::newRow("key absent, no line end at the end") << unpacked.chopped(1) << 2 << 1 << qint64(9)
                                                            << unpacked + "sound_001.loop_offset=9";
        QByteArray crlf = unpacked;
        crlf.replace("\n", "\r\n");
        QTest::newRow("CRLF line ends") << crlf << 1 << 2 << qint64(3) << Replaced(crlf, "offset=100\r", "offset=3\r");
        QTest::newRow("CRLF line ends, key absent") << crlf << 2 << 1 << qint64(3) << crlf + "sound_001.loop_offset=3\r\n";
        // The reader takes the last of a repeated key, and merges sections of one name.
        const QByteArray repeated = unpacked + "[Bank_001]\n sound_002.loop_offset = 400 \n";
        QTest::newRow("repeated key, the last counts") << repeated << 1 << 2 << qint64(8)
                                                       << unpacked + "[Bank_001]\n sound_002.loop_offset =8\n";
        // Keys before the first header belong to it.
        const QByteArray headless = "sound_001.filename=a.wav\n[Bank_001]\nnum_sounds=1\n";
        QTest::newRow("keys before the first header") << headless << 1 << 1 << qint64(2)
                                                      << QByteArray("sound_001.filename=a.wav\nsound_001.loop_offset=2\n[Bank_001]\nnum_sounds=1\n");
        QTest::newRow("byte order mark") << "\xEF\xBB\xBF" + unpacked << 1 << 2 << qint64(1)
                                         << "\xEF\xBB\xBF" + Replaced(unpacked, loops, "sound_002.loop_offset=1\n");
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
        // The packer reads the same value.
        const std::string section = QStringLiteral("Bank_%1").arg(bank, 3, 10, QLatin1Char('0')).toStdString();
        const std::string key = QStringLiteral("sound_%1.loop_offset").arg(sound, 3, 10, QLatin1Char('0')).toStdString();
        QCOMPARE(kivo::Metafile::Load(path.toStdString()).Integer(section, key, -2), frame);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"sfx_import.ini"});
    }

    void RefusesAndChangesNothing_data()
    {
        QTest::addColumn<QString>("problem");
        QTest::addColumn<int>("sound");
        QTest::addColumn<qint64>("frame");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << "missing" << 2 << qint64(5) << "Failed to read %1: No such file or directory";
        QTest::newRow("folder cannot be written") << "locked" << 2 << qint64(5) << "Failed to write %1: ";
        QTest::newRow("no such sound") << "" << 3 << qint64(5) << "%1 lists no sound 3 in bank 1.";
        QTest::newRow("below -1") << "" << 2 << qint64(-2) << "The loop start -2 cannot be stored.";
        QTest::newRow("beyond what the header holds") << "" << 2 << qint64(1) + std::numeric_limits<qint32>::max() << "The loop start 2147483648 cannot be stored.";
    }
    void RefusesAndChangesNothing()
    {
        QFETCH(QString, problem); QFETCH(int, sound); QFETCH(qint64, frame); QFETCH(QString, message);
        const QTemporaryDir dir;
        const QString path = dir.filePath("sfx_import.ini");
        if (problem != "missing")
            QVERIFY(TestTones::WriteBytes(path, unpacked));
        Locks locks;
        QVERIFY(problem != "locked" || locks.Lock(dir.path()));

        const QString said = LoopStarts(path).Set(1, sound, frame);

        QVERIFY2(said.startsWith(QString(message).replace("%1", path)), qPrintable(said));
        locks.UnlockAll();
        QCOMPARE(TestTones::ReadBytes(path), problem == "missing" ? QByteArray() : unpacked);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), problem == "missing" ? 0 : 1);
    }

    void ReadsTheLoopStartOrTellsItCannot_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<std::optional<qint64>>("expected");
        QTest::newRow("loops") << unpacked << std::optional<qint64>(100);
        QTest::newRow("key absent: does not loop") << Replaced(unpacked, "sound_002.loop_offset=100\n", "") << std::optional<qint64>(-1);
        QTest::newRow("no number") << Replaced(unpacked, "=100", "=ten") << std::optional<qint64>();
    }
    void ReadsTheLoopStartOrTellsItCannot()
    {
        QFETCH(QByteArray, text); QFETCH(std::optional<qint64>, expected);
        const QTemporaryDir dir;
        QVERIFY(TestTones::WriteBytes(dir.filePath("sfx_import.ini"), text));
        QCOMPARE(LoopStarts(dir.filePath("sfx_import.ini")).Get(1, 2), expected);
        QCOMPARE(LoopStarts(dir.filePath("missing.ini")).Get(1, 2), std::optional<qint64>());
    }

    void MovesALoopStartBeyondTheEndToTheStart_data()
    {
        QTest::addColumn<qint64>("frames");
        QTest::addColumn<qint64>("loopStart");
        QTest::addColumn<qint64>("kept");
        QTest::addColumn<bool>("bChanged");
        QTest::newRow("inside") << qint64(1000) << qint64(999) << qint64(999) << false;
        QTest::newRow("does not loop") << qint64(10) << qint64(-1) << qint64(-1) << false;
        QTest::newRow("at the end") << qint64(1000) << qint64(1000) << qint64(0) << true;
        QTest::newRow("beyond the end") << qint64(50) << qint64(100) << qint64(0) << true;
        QTest::newRow("empty sound") << qint64(0) << qint64(0) << qint64(-1) << true;
    }
    void MovesALoopStartBeyondTheEndToTheStart()
    {
        QFETCH(qint64, frames); QFETCH(qint64, loopStart); QFETCH(qint64, kept); QFETCH(bool, bChanged);
        const LoopStarts::Fitted fitted = LoopStarts::Fit(frames, loopStart);
        QCOMPARE(std::make_pair(fitted.frame, fitted.bChanged), std::make_pair(kept, bChanged));
    }
};

QTEST_MAIN(TestLoopStarts)
#include "tst_LoopStarts.moc"
