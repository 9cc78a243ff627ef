#include "TestTones.h"
#include "WindowFixture.h"

#include <QSignalSpy>
#include <QThread>

#include "waveform/WaveformPeakCache.h"
#include "waveform/WaveformPeaks.h"
#include "waveform/WaveformView.h"

// The outline of a sound as it is kept and drawn, and how the strip follows the selection and the player.
class TestWaveform : public QObject
{
    Q_OBJECT

private slots:
    // A click seeks only while the shown file plays, to the point's share of its length; a file
    // replaced on disk is drawn anew without anyone telling the strip.
    void ViewSeeksWhilePlayingAndDrawsAReplacedFileAnew()
    {
        QTemporaryDir folder;
        const QString path = folder.filePath("sound.wav");
        QVERIFY(TestTones::Write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2000, 1000, 1));  // 1 frame a millisecond
        WaveformView view;
        view.resize(1000, 60);
        view.SetEntry(path);
        QTRY_VERIFY(view.Outline());
        QSignalSpy seeks(&view, &WaveformView::SeekRequested);
        QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(500, 30));
        QVERIFY(seeks.isEmpty());
        view.SetPlayPosition(10);
        for (const int x : {0, 333, 999})
            QTest::mouseClick(&view, Qt::LeftButton, {}, QPoint(x, 30));
        QCOMPARE(QList<QVariantList>(seeks), (QList<QVariantList>{{0u}, {666u}, {1998u}}));

        // Same size, another rate, a later time.
        QVERIFY(TestTones::Write(path + ".new", SF_FORMAT_WAV | SF_FORMAT_PCM_16, 2000, 2000, 1));
        QVERIFY(QFile::remove(path) && QFile::rename(path + ".new", path));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite)
                && file.setFileTime(QDateTime::currentDateTime().addSecs(5), QFileDevice::FileModificationTime));
        QTRY_COMPARE(view.Outline()->LengthMilliseconds(), 1000);
        QVERIFY(QFile::rename(path, path + ".kept"));  // away while a first replace converts the new file, then back
        QTRY_VERIFY(!view.Outline()->IsValid());
        QVERIFY(QFile::rename(path + ".kept", path));
        QTRY_VERIFY(view.Outline()->IsValid());
    }

    // A new request cancels the running one, even one that finished with its result still queued;
    // a kept outline counts until its file's time changes or the cache is told.
    void CacheDeliversOnlyTheLatestAndKeepsItWhileCurrent_data()
    {
        QTest::addColumn<int>("pause");
        QTest::newRow("while it decodes") << 0;
        QTest::newRow("finished, not yet delivered") << 300;
    }
    void CacheDeliversOnlyTheLatestAndKeepsItWhileCurrent()
    {
        QFETCH(int, pause);
        QTemporaryDir folder;
        const QString path = folder.filePath("short.wav");
        QVERIFY(TestTones::Write(folder.filePath("long.wav"), SF_FORMAT_WAV | SF_FORMAT_PCM_16, 441000));
        QVERIFY(TestTones::Write(path, SF_FORMAT_WAV | SF_FORMAT_PCM_16, 100));
        WaveformPeakCache cache;
        QSignalSpy ready(&cache, &WaveformPeakCache::PeaksReady);
        QVERIFY(!cache.Request(folder.filePath("long.wav"), 500));
        QThread::msleep(pause);
        QVERIFY(!cache.Request(path, 500));
        cache.WaitForIdle();
        QCOMPARE(ready.size(), 1);
        QCOMPARE(ready.first().first().toString(), path);

        QVERIFY(cache.Request(path, 500));
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadWrite)
                && file.setFileTime(QDateTime::currentDateTime().addSecs(10), QFileDevice::FileModificationTime));
        QVERIFY(!cache.Request(path, 500));
        cache.WaitForIdle();
        QVERIFY(cache.Request(path, 500));
        cache.Invalidate(path);
        QVERIFY(!cache.Request(path, 500));
    }

    // Hidden, the strip reads nothing; shown, it follows quick steps through a large archive
    // without leaving work running or outlines piling up, and shows where the playing entry is.
    void StripFollowsItsSettingTheSelectionAndThePlayingEntry()
    {
        WindowFixture fixture;
        fixture.WriteSettings({{"ShowWaveform", false}});
        QStringList names;
        for (int sound = 0; sound < 1000; ++sound)
            names << QString("s%1.wav").arg(sound);
        fixture.WriteSfxArchive("Sfx1", {names});
        MainWindow *window = fixture.Open();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window) && fixture.Load("Sfx1"));
        auto *view = window->findChild<WaveformView *>();
        fixture.EntryView()->setCurrentIndex(fixture.Entry(0, 1));
        QVERIFY(view->FilePath().isEmpty());
        QTest::keyClick(window, Qt::Key_F4);
        QCOMPARE(view->FilePath(), fixture.WorkDir() + "/Sfx1/s1.wav");

        for (int sound = 0; sound < 1000; ++sound) {
            fixture.EntryView()->setCurrentIndex(fixture.Entry(0, sound));
            QCoreApplication::processEvents();
        }
        QCOMPARE(view->FilePath(), fixture.WorkDir() + "/Sfx1/s999.wav");
        QTRY_VERIFY(!view->Cache().IsBusy());
        QTRY_VERIFY(view->Outline());
        QVERIFY(view->Cache().KeptCount() <= 24);

        QVERIFY(window->Play(fixture.Entry(0, 999)));
        QTRY_VERIFY(view->ShowsPlayPosition());
        fixture.EntryView()->setCurrentIndex(fixture.Entry(0, 0));
        QTest::qWait(150);
        QVERIFY(!view->ShowsPlayPosition());
        window->close();
        QCOMPARE(QSettings("settings.ini", QSettings::IniFormat).value("ShowWaveform").toString(), "true");
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_Waveform.moc"
