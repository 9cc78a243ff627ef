#include "Sanitized.h"
#include "WindowFixture.h"

#include <QSignalSpy>
#include <QThread>

#include "waveform/WaveformPeakCache.h"
#include "waveform/WaveformPeaks.h"
#include "waveform/WaveformView.h"

namespace
{
enum Signal { Silence, Square, Click };

// A float WAV, so every sample reads back exactly: silence, a full-scale square wave with a period
// of 100 frames on every channel, or silence with one sample of 0.8 at `clickFrame` of `clickChannel`.
void WriteSignal(const QString &path, Signal signal, qint64 frames, int channels, qint64 clickFrame = 0,
                 int clickChannel = 0, int rate = 1000)
{
    std::vector<float> samples(size_t(frames * channels), 0.0f);
    for (qint64 frame = 0; frame < frames; ++frame)
        for (int channel = 0; channel < channels; ++channel)
            if (signal == Square)
                samples[size_t(frame * channels + channel)] = frame % 100 < 50 ? 1.0f : -1.0f;
    if (signal == Click)
        samples[size_t(clickFrame * channels + clickChannel)] = 0.8f;
    SF_INFO info {0, rate, channels, SF_FORMAT_WAV | SF_FORMAT_FLOAT, 0, 0};
    SNDFILE *file = sf_open(QFile::encodeName(path).constData(), SFM_WRITE, &info);
    QVERIFY(file);
    QCOMPARE(sf_writef_float(file, samples.data(), frames), frames);
    sf_close(file);
}

long ResidentKb()
{
    QFile status("/proc/self/status");
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (QByteArray line = status.readLine(); !line.isEmpty(); line = status.readLine())
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}
}

// The outline of a sound: where its peaks land, when it is decoded again, and how the strip
// under the main window follows the selection and the player.
class TestWaveform : public QObject
{
    Q_OBJECT

private slots:
    void PeaksLandInTheirColumns_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("channels");
        QTest::addColumn<int>("frames");
        QTest::addColumn<int>("clickFrame");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("expectedColumns");
        QTest::addColumn<int>("clickColumn");
        QTest::newRow("silence") << int(Silence) << 1 << 1000 << 0 << 10 << 10 << -1;
        QTest::newRow("square wave, full scale") << int(Square) << 1 << 1000 << 0 << 10 << 10 << -1;
        QTest::newRow("stereo square wave") << int(Square) << 2 << 1000 << 0 << 7 << 7 << -1;
        QTest::newRow("click mid-column") << int(Click) << 1 << 1000 << 537 << 10 << 10 << 5;
        QTest::newRow("click on the first frame of a column") << int(Click) << 1 << 1000 << 333 << 3 << 3 << 1;
        QTest::newRow("click on the last frame of a column") << int(Click) << 1 << 1000 << 332 << 3 << 3 << 0;
        QTest::newRow("click in the last frame") << int(Click) << 1 << 1000 << 999 << 10 << 10 << 9;
        QTest::newRow("fewer frames than columns") << int(Click) << 1 << 5 << 2 << 100 << 5 << 2;
    }
    void PeaksLandInTheirColumns()
    {
        QFETCH(int, signal); QFETCH(int, channels); QFETCH(int, frames); QFETCH(int, clickFrame);
        QFETCH(int, columns); QFETCH(int, expectedColumns); QFETCH(int, clickColumn);
        QTemporaryDir folder;
        const QString path = folder.filePath("signal.wav");
        WriteSignal(path, Signal(signal), frames, channels, clickFrame);

        const WaveformPeaks peaks = WaveformPeaks::Compute(path, columns);
        QVERIFY2(peaks.IsValid(), qPrintable(peaks.Error()));
        QCOMPARE(peaks.Columns(), expectedColumns);
        QCOMPARE(peaks.Channels(), channels);
        for (int channel = 0; channel < channels; ++channel) {
            for (int column = 0; column < expectedColumns; ++column) {
                const bool bClick = column == clickColumn && channel == 0;
                QCOMPARE(peaks.Maximum(channel, column), signal == Square ? 1.0f : bClick ? 0.8f : 0.0f);
                // A column of one frame has that frame as its lowest sample too.
                QCOMPARE(peaks.Minimum(channel, column), signal == Square ? -1.0f : bClick && frames < columns ? 0.8f : 0.0f);
            }
        }
    }

    void UnreadableFilesAreRefusedWithAReason_data()
    {
        QTest::addColumn<QByteArray>("contents");
        QTest::newRow("missing") << QByteArray();
        QTest::newRow("text named .wav") << QByteArray("not a sound at all\n");
    }
    void UnreadableFilesAreRefusedWithAReason()
    {
        QFETCH(QByteArray, contents);
        QTemporaryDir folder;
        const QString path = folder.filePath("sound.wav");
        if (!contents.isEmpty())
            WindowFixture::WriteText(path, contents);
        const WaveformPeaks peaks = WaveformPeaks::Compute(path, 100);
        QVERIFY(!peaks.IsValid());
        QVERIFY(!peaks.Error().isEmpty());
    }

    void ReplacedFileIsDrawnAnew()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("sound.wav");
        WriteSignal(path, Click, 1000, 1, 100);
        WaveformView view;
        view.resize(10, 50);
        view.SetEntry(path);
        QTRY_VERIFY(view.Outline());
        QCOMPARE(view.Outline()->Maximum(0, 1), 0.8f);

        // Same size, new contents, a later time: no one tells the strip.
        WriteSignal(path + ".new", Click, 1000, 1, 900);
        QVERIFY(QFile::remove(path) && QFile::rename(path + ".new", path));
        QFile file(path);
        const auto touch = [&](int seconds) {
            return file.setFileTime(QDateTime::currentDateTime().addSecs(seconds), QFileDevice::FileModificationTime); };
        QVERIFY(file.open(QIODevice::ReadWrite) && touch(5));
        QTRY_COMPARE(view.Outline()->Maximum(0, 9), 0.8f);
        QCOMPARE(view.Outline()->Maximum(0, 1), 0.0f);

        // A cache on its own keeps an outline until the file's time changes or it is told.
        WaveformPeakCache cache;
        QVERIFY(!cache.Request(path, 10));
        cache.WaitForIdle();
        QVERIFY(cache.Request(path, 10));
        QVERIFY(touch(10));
        QVERIFY(!cache.Request(path, 10));
        cache.WaitForIdle();
        QVERIFY(cache.Request(path, 10));
        cache.Invalidate(path);
        QVERIFY(!cache.Request(path, 10));
    }

    void ClickSeeksOnlyWhileTheShownFilePlays_data()
    {
        QTest::addColumn<bool>("bPlaying");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("expected");
        QTest::newRow("left edge") << true << 0 << 0;
        QTest::newRow("a quarter") << true << 250 << 500;
        QTest::newRow("odd pixel") << true << 333 << 666;
        QTest::newRow("right edge") << true << 999 << 1998;
        QTest::newRow("not playing") << false << 500 << -1;
    }
    void ClickSeeksOnlyWhileTheShownFilePlays()
    {
        QFETCH(bool, bPlaying); QFETCH(int, x); QFETCH(int, expected);
        QTemporaryDir folder;
        WriteSignal(folder.filePath("two-seconds.wav"), Silence, 2000, 1);  // 1000 Hz: 1 frame a millisecond
        WaveformView view;
        view.resize(1000, 60);
        view.SetEntry(folder.filePath("two-seconds.wav"));
        QTRY_VERIFY(view.Outline());
        if (bPlaying)
            view.SetPlayPosition(10);
        QSignalSpy seeks(&view, &WaveformView::SeekRequested);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(x, 30));
        QCOMPARE(seeks.size(), expected < 0 ? 0 : 1);
        if (expected >= 0)
            QCOMPARE(seeks.first().first().toUInt(), uint(expected));
    }

    void NewRequestCancelsTheRunningOne_data()
    {
        QTest::addColumn<int>("pause");
        QTest::newRow("while it decodes") << 0;
        // Long enough for the first to finish with its result still queued: it must not be shown.
        QTest::newRow("finished, not yet delivered") << 300;
    }
    void NewRequestCancelsTheRunningOne()
    {
        QFETCH(int, pause);
        QTemporaryDir folder;
        WriteSignal(folder.filePath("long.wav"), Square, 441000, 2, 0, 0, 44100);
        WriteSignal(folder.filePath("short.wav"), Click, 100, 1, 10);
        WaveformPeakCache cache;
        QSignalSpy ready(&cache, &WaveformPeakCache::PeaksReady);
        QVERIFY(!cache.Request(folder.filePath("long.wav"), 500));
        QThread::msleep(pause);
        QVERIFY(!cache.Request(folder.filePath("short.wav"), 500));
        cache.WaitForIdle();
        QVERIFY(!cache.IsBusy());
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready.first().first().toString(), folder.filePath("short.wav"));
    }

    void QuickSelectionLeavesNothingRunning()
    {
        WindowFixture fixture;
        QStringList names;
        for (int sound = 0; sound < 1000; ++sound)
            names << QString("s%1.wav").arg(sound);
        fixture.WriteSfxArchive("Sfx1", {names});
        fixture.Open()->show();
        QVERIFY(fixture.Load("Sfx1"));
        auto *view = fixture.Window()->findChild<WaveformView *>();
        long before = 0;
        for (int pass = 0; pass < 3; ++pass) {
            if (pass == 2)
                before = ResidentKb();
            for (int sound = 0; sound < 1000; ++sound) {
                fixture.EntryView()->setCurrentIndex(fixture.Entry(0, sound));
                QCoreApplication::processEvents();
            }
        }
        QCOMPARE(view->FilePath(), fixture.WorkDir() + "/Sfx1/s999.wav");
        QTRY_VERIFY(!view->Cache().IsBusy());
        QTRY_VERIFY(view->Outline());
        QVERIFY(view->Cache().KeptCount() <= 24);
        // A leaked outline a selection would cost kilobytes here, megabytes a pass. The address
        // sanitizer keeps freed memory, so there the leak checker speaks instead.
        if (!bSanitized)
            QVERIFY2(ResidentKb() - before < 4000, qPrintable(QString::number(ResidentKb() - before)));
    }

    void StripFollowsItsSettingAndThePlayingEntry()
    {
        WindowFixture fixture;
        fixture.WriteSettings({{"ShowWaveform", false}});
        fixture.WriteSfxArchive("Sfx1", {{"a.wav", "b.wav"}});
        MainWindow *window = fixture.Open();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window) && fixture.Load("Sfx1"));
        auto *view = window->findChild<WaveformView *>();
        fixture.EntryView()->setCurrentIndex(fixture.Entry(0, 0));
        QVERIFY(view->FilePath().isEmpty());  // hidden, it reads nothing
        QTest::keyClick(window, Qt::Key_F4);
        QCOMPARE(view->FilePath(), fixture.WorkDir() + "/Sfx1/a.wav");
        QVERIFY(window->Play(fixture.Entry(0, 0)));
        QTRY_VERIFY(view->ShowsPlayPosition());
        fixture.EntryView()->setCurrentIndex(fixture.Entry(0, 1));
        QTest::qWait(150);
        QVERIFY(!view->ShowsPlayPosition());
        window->close();
        QCOMPARE(QSettings("settings.ini", QSettings::IniFormat).value("ShowWaveform").toString(), "true");
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_Waveform.moc"
