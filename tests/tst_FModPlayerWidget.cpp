#include <QFontMetrics>
#include <QLabel>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

#include "ScriptedDialogs.h"
#include "TestTones.h"
#include "player/FModPlayerWidget.h"
#include "player/Player.h"
#include "player/Slider.h"

namespace
{
// The player strip, with its sliders and label reached as its children.
struct Strip
{
    Strip()
    {
        widget.resize(600, 30);
        widget.show();
    }
    FModPlayerWidget widget;
    Slider *volume = widget.findChildren<Slider *>().value(0);
    Slider *position = widget.findChildren<Slider *>().value(1);
    QLabel *label = widget.findChild<QLabel *>();
};

void Send(Slider *pSlider, QEvent::Type type, int x)
{
    const QPointF point(x, 7);
    const Qt::MouseButtons held = type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    const Qt::MouseButton button = type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, point, pSlider->mapToGlobal(point), button, held, Qt::NoModifier);
    QCoreApplication::sendEvent(pSlider, &event);
}
}

// The player strip on SDL's dummy driver.
class TestFModPlayerWidget : public QObject
{
    Q_OBJECT
    QTemporaryDir folder;
    QString track;  // 3 minutes 25 seconds
    static constexpr uint trackLength = 205000;

private slots:
    void initTestCase()
    {
        track = folder.filePath("track.wav");
        QVERIFY(TestTones::Write(track, SF_FORMAT_WAV | SF_FORMAT_PCM_16, qint64(trackLength) * 8, 8000, 1));
    }

    void FormatsTime_data()
    {
        QTest::addColumn<uint>("milliseconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("just under a minute") << 59999u << "00:59";
        QTest::newRow("just under an hour") << 3599999u << "59:59";
        QTest::newRow("an hour") << 3600000u << "01:00:00";
        QTest::newRow("largest") << 4294967295u << "1193:02:47";
    }
    void FormatsTime()
    {
        QFETCH(uint, milliseconds);
        QFETCH(QString, text);
        QCOMPARE(FModPlayerWidget::FormatTime(milliseconds), text);
    }

    // One track from start to end: the time shows; paused, a drag previews while the timer waits
    // and the release at either end seeks there; then a stop or a failed play resets the strip.
    void PlayDragSeekAndStop_data()
    {
        QTest::addColumn<bool>("bRightEnd");
        QTest::addColumn<bool>("bStop");  // else a failed play ends the track
        QTest::newRow("right end: 1 ms before the end; stop") << true << true;
        QTest::newRow("left end: the start; failed play") << false << false;
    }
    void PlayDragSeekAndStop()
    {
        QFETCH(bool, bRightEnd);
        QFETCH(bool, bStop);
        const uint position = bRightEnd ? trackLength - 1 : 0;
        const QString text = bRightEnd ? QStringLiteral("03:24 / 03:25") : QStringLiteral("00:00 / 03:25");
        ScriptedDialogs dialogs;
        Strip strip;
        QSignalSpy stopped(&strip.widget, &FModPlayerWidget::PlayingStopped);
        if (bStop)
            strip.widget.Stop();  // signals also with nothing playing
        strip.widget.Break();     // nothing plays: nothing happens, nothing is shown
        QCOMPARE(stopped.count(), bStop ? 1 : 0);
        QVERIFY(!strip.label->isVisible());
        QVERIFY(strip.widget.Play(track));
        QVERIFY(strip.widget.IsPlaying());
        QCOMPARE(strip.position->Maximum(), trackLength);
        QTRY_VERIFY(strip.position->Value() > 0 && strip.label->isVisible());
        QCOMPARE(strip.label->text(), QStringLiteral("00:00 / 03:25"));
        QCOMPARE(strip.label->width(), QFontMetrics(strip.label->font()).horizontalAdvance(strip.label->text()));

        strip.widget.Break();
        const int width = strip.position->width();
        Send(strip.position, QEvent::MouseButtonPress, width / 2);
        Send(strip.position, QEvent::MouseMove, width / 4);
        const uint dragged = strip.position->Value();
        QVERIFY(dragged > 40000);
        const QString preview = FModPlayerWidget::FormatTime(dragged) + " / 03:25";
        QCOMPARE(strip.label->text(), preview);
        QTest::qWait(150);  // three ticks of the timer
        QCOMPARE(strip.position->Value(), dragged);
        QCOMPARE(strip.label->text(), preview);
        const int end = bRightEnd ? width + 10 : -10;
        Send(strip.position, QEvent::MouseMove, end);
        Send(strip.position, QEvent::MouseButtonRelease, end);
        QCOMPARE(strip.label->text(), text);
        // The timer takes over from the seek, and the pause keeps the position there.
        QTRY_COMPARE(strip.position->Value(), position);
        QTest::qWait(120);
        QCOMPARE(strip.position->Value(), position);
        QCOMPARE(strip.label->text(), text);
        QVERIFY(strip.widget.IsPlaying());
        strip.widget.Break();
        QTRY_VERIFY(strip.position->Value() != position);
        QCOMPARE(dialogs.Log(), QStringList());

        if (bStop)
            strip.widget.Stop();
        else
            QVERIFY(!strip.widget.Play(folder.filePath("missing.wav")));
        QCOMPARE(stopped.count(), bStop ? 2 : 0);
        QCOMPARE(dialogs.Log(), bStop ? QStringList() : QStringList{"Error: File not found. "});
        if (!bStop)
            QCOMPARE(dialogs.shown.at(0).pParent, &strip.widget);
        QVERIFY(!strip.widget.IsPlaying());
        QCOMPARE(strip.position->Maximum(), trackLength);  // the range stays
        for (int check = 0; check < 2; ++check) {  // the timer shows nothing any more
            QCOMPARE(strip.position->Value(), 0u);
            QVERIFY(!strip.label->isVisible());
            QTest::qWait(120);
        }
    }

    void WorksWithoutOutputDevice_data()
    {
        QTest::addColumn<bool>("bBusy");
        QTest::newRow("no driver") << false;
        QTest::newRow("device busy") << true;
    }
    void WorksWithoutOutputDevice()
    {
        QFETCH(bool, bBusy);
        ScriptedDialogs dialogs;
        const QByteArray driver = qgetenv("SDL_AUDIODRIVER");
        std::optional<Player> holder;
        if (bBusy)
            holder.emplace();
        else
            qputenv("SDL_AUDIODRIVER", "no-such-driver");
        Strip strip;
        const QString failure = QStringLiteral("Error: Error initializing output device. ");
        QCOMPARE(dialogs.Log(), QStringList{failure});

        QSignalSpy stopped(&strip.widget, &FModPlayerWidget::PlayingStopped);
        QVERIFY(!strip.widget.IsPlaying());
        Send(strip.volume, QEvent::MouseButtonPress, 30);
        Send(strip.volume, QEvent::MouseButtonRelease, 30);
        QCOMPARE(strip.volume->Value(), 400u);
        strip.widget.Break();
        QVERIFY(!strip.widget.Play(track));
        strip.widget.Stop();
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(dialogs.Log(), (QStringList{failure, failure}));

        // Once the device is free, playing works without restarting.
        holder.reset();
        qputenv("SDL_AUDIODRIVER", driver);
        QVERIFY(strip.widget.Play(track));
        QVERIFY(strip.widget.IsPlaying());
        QTRY_VERIFY(strip.label->isVisible());
        QCOMPARE(dialogs.Log().size(), 2);
    }
};

QTEST_MAIN(TestFModPlayerWidget)
#include "tst_FModPlayerWidget.moc"
