#include "TestTones.h"
#include "WindowFixture.h"

#include <QMenu>
#include <QSignalSpy>
#include <QThread>

#include "app/archive/LoopStarts.h"
#include "metafile/IniMetafileItem.h"
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

    void LoopMenuSetsTheLoopStartAndRevertPutsItBack_data()
    {
        QTest::addColumn<QString>("originalKey");  // the sound's loop key as unpacked
        QTest::addColumn<QString>("choice");
        QTest::addColumn<qint64>("frame");          // -2: where the pointer was
        QTest::addColumn<qint64>("original");
        QTest::newRow("here") << "sound_001.loop_offset=100\n" << "Set &loop start here" << qint64(-2) << qint64(100);
        QTest::newRow("from the start") << "sound_001.loop_offset=100\n" << "Loop from the &start" << qint64(0) << qint64(100);
        QTest::newRow("not looping") << "sound_001.loop_offset=100\n" << "Do &not loop" << qint64(-1) << qint64(100);
        QTest::newRow("here, never looped") << "" << "Set &loop start here" << qint64(-2) << qint64(-1);
    }
    void LoopMenuSetsTheLoopStartAndRevertPutsItBack()
    {
        QFETCH(QString, originalKey); QFETCH(QString, choice); QFETCH(qint64, frame); QFETCH(qint64, original);
        WindowFixture fixture;
        const QString metafile = fixture.WriteSfxArchive("Sfx1", {{"a1.wav", "a2.wav"}}) + "/sfx_import.ini";
        WindowFixture::WriteText(metafile, WindowFixture::ReadAll(metafile).replace("sound_001.unknown_16=0\n",
                                                                                 "sound_001.unknown_16=0\n" + originalKey.toUtf8()));
        MainWindow *window = fixture.Open();
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window) && fixture.Load("Sfx1"));
        fixture.EntryView()->setCurrentIndex(fixture.Entry(0, 0));
        auto *view = window->findChild<WaveformView *>();
        QTRY_VERIFY(view->Outline());
        const QPoint pointer(view->width() / 3, view->height() / 2);
        emit view->customContextMenuRequested(pointer);
        auto *menu = window->findChild<QMenu *>("loopMenu");
        QTRY_VERIFY(menu->isVisible());
        QStringList offered;
        for (const QAction *action : menu->actions())
            if (action->isVisible())
                offered << action->text();
        QCOMPARE(offered.contains("Loop from the &start"), original >= 0);
        const auto chosen = std::find_if(menu->actions().cbegin(), menu->actions().cend(),
                                         [&choice](const QAction *action) { return action->text() == choice; });
        QVERIFY(chosen != menu->actions().cend());
        (*chosen)->trigger();
        menu->hide();

        const qint64 expected = frame == -2 ? view->FrameAt(pointer.x()) : frame;
        QVERIFY(frame != -2 || (expected > 0 && expected < 2205));
        const auto *sound = IniMetafileModel::ItemOf(fixture.Entry(0, 0));
        QCOMPARE(LoopStarts(metafile).Get(1, 1), std::optional<qint64>(expected));
        QCOMPARE(qint64(sound->GetLoopOffset()), expected);
        QCOMPARE(LoopStarts(metafile).Changed().size(), 1);
        // The loop start plays as it shows.
        QVERIFY(window->Play(fixture.Entry(0, 0)));
        window->StopPlaying();

        window->RevertToOriginal();
        QCOMPARE(LoopStarts(metafile).Get(1, 1), std::optional<qint64>(original));
        QCOMPARE(qint64(IniMetafileModel::ItemOf(fixture.Entry(0, 0))->GetLoopOffset()), original);
        QCOMPARE(fixture.Status(), "1 entries were reverted to their originals.");
    }
};

QTEST_MAIN(TestWaveform)
#include "tst_Waveform.moc"
