#include <QImage>
#include <QMouseEvent>
#include <QTest>

#include "player/Slider.h"

namespace
{
// A slider of the size the volume slider has, shown so that it knows its size.
std::unique_ptr<Slider> Shown(int width = 75)
{
    auto slider = std::make_unique<Slider>();
    slider->resize(width, 15);
    slider->show();
    return slider;
}

void Send(Slider *pSlider, QEvent::Type type, int x, Qt::MouseButton button = Qt::LeftButton,
          Qt::MouseButtons buttons = Qt::LeftButton)
{
    const QPointF point(x, 7);
    QMouseEvent event(type, point, pSlider->mapToGlobal(point), button, buttons, Qt::NoModifier);
    QCoreApplication::sendEvent(pSlider, &event);
}
void Press(Slider *pSlider, int x) { Send(pSlider, QEvent::MouseButtonPress, x); }
void Move(Slider *pSlider, int x) { Send(pSlider, QEvent::MouseMove, x, Qt::NoButton); }
void Release(Slider *pSlider, int x) { Send(pSlider, QEvent::MouseButtonRelease, x, Qt::LeftButton, Qt::NoButton); }

// Counts its paint events.
struct CountingSlider : Slider
{
    int paints = 0;
    void paintEvent(QPaintEvent *pEvent) override { ++paints; Slider::paintEvent(pEvent); }
};
}

// The painted slider: values from the pointer, the three signals, the repaint rule, the pixels.
class TestSlider : public QObject
{
    Q_OBJECT
private slots:
    // Pressed at 30 (at 0 without width), dragged to x and back, released at x: the signals in
    // order, then the value. Only the left button alone presses.
    void PointerSetsTheValue_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<uint>("maximum");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("x");
        QTest::addColumn<QString>("events");
        const int left = Qt::LeftButton;
        QTest::newRow("inside") << 75 << 1000u << left << 37 << "pressed 400, moved 493, moved 400, released 493, value 493";
        QTest::newRow("left of the start") << 75 << 1000u << left << -20 << "pressed 400, moved 0, moved 400, released 0, value 0";
        QTest::newRow("exactly at the end") << 75 << 1000u << left << 75
                                            << "pressed 400, moved 1000, moved 400, released 1000, value 1000";
        QTest::newRow("right of the end") << 75 << 1000u << left << 90
                                          << "pressed 400, moved 1000, moved 400, released 1000, value 1000";
        QTest::newRow("an hour on a wide slider does not overflow") << 2000 << 3600000u << left << 1999
            << "pressed 54000, moved 3598200, moved 54000, released 3598200, value 3598200";
        // Squeezed to nothing: no point gives a value, the ends are taken beyond it.
        QTest::newRow("without width") << 0 << 1000u << left << 3 << "pressed 0, moved 1000, moved 0, released 1000, value 1000";
        QTest::newRow("right") << 75 << 1000u << int(Qt::RightButton) << 37 << "value 0";
        QTest::newRow("left with right held") << 75 << 1000u << int(Qt::LeftButton | Qt::RightButton) << 37 << "value 0";
    }
    void PointerSetsTheValue()
    {
        QFETCH(int, width);
        QFETCH(uint, maximum);
        QFETCH(int, buttons);
        QFETCH(int, x);
        QFETCH(QString, events);
        QWidget parent;
        parent.resize(2100, 30);
        auto *pSlider = new Slider(&parent);
        pSlider->setGeometry(0, 0, width, 15);
        parent.show();
        pSlider->SetMaximum(maximum);
        QStringList log;
        const auto logger = [&](const char *name) { return [&log, name](uint value) { log << name + QString::number(value); }; };
        connect(pSlider, &Slider::SliderPressed, logger("pressed "));
        connect(pSlider, &Slider::SliderMoved, logger("moved "));
        connect(pSlider, &Slider::SliderReleased, logger("released "));
        const int start = width > 0 ? 30 : 0;
        if (buttons != Qt::NoButton)
            Send(pSlider, QEvent::MouseButtonPress, start, buttons & Qt::LeftButton ? Qt::LeftButton : Qt::MouseButton(buttons),
                 Qt::MouseButtons(buttons));
        QCOMPARE(pSlider->IsPressed(), buttons == Qt::LeftButton);
        Move(pSlider, x);
        Move(pSlider, start);  // the release takes its own point, not the last one dragged to
        Release(pSlider, x);
        log << QStringLiteral("value %1").arg(pSlider->Value());
        QCOMPARE(log.join(QStringLiteral(", ")), events);
        QVERIFY(!pSlider->IsPressed());
    }

    void SetValueClampsAndIsIgnoredWhilePressed()
    {
        auto slider = Shown();
        slider->SetValue(5000);
        QCOMPARE(slider->Value(), 1000u);
        slider->SetMaximum(0);
        QCOMPARE(slider->Maximum(), 1000u);
        slider->SetMaximum(180000);
        QCOMPARE(slider->Value(), 1000u);
        auto wide = Shown(2000);
        wide->SetMaximum(3600000);  // an hour in milliseconds
        wide->SetValue(3000000);
        QRect done;
        QRect rest;
        wide->PartRects(&done, &rest);
        QCOMPARE(done.right(), 1665);
        // While pressed the value is neither set nor pulled into a smaller range.
        Press(slider.get(), 60);
        QCOMPARE(slider->Value(), 144000u);
        slider->SetMaximum(1000);
        QCOMPARE(slider->Maximum(), 1000u);
        QCOMPARE(slider->Value(), 144000u);
        slider->SetValue(123);
        QCOMPARE(slider->Value(), 144000u);
        Release(slider.get(), 60);
        QCOMPARE(slider->Value(), 800u);  // from the pointer: the ignored value is not remembered
        slider->SetValue(123);
        QCOMPARE(slider->Value(), 123u);
    }

    void RepaintsOnlyForChangesAndAtTheEnds()
    {
        CountingSlider slider;
        slider.resize(75, 15);
        slider.show();
        QVERIFY(QTest::qWaitForWindowExposed(&slider));
        QList<int> counts;
        for (const uint value : {500u, 500u, 499u, 1000u, 1000u, 0u, 0u}) {
            slider.paints = 0;
            slider.SetValue(value);
            QTest::qWait(30);
            counts << slider.paints;
        }
        QCOMPARE(counts, (QList<int>{1, 0, 1, 1, 1, 1, 1}));
    }

    void PaintsTwoColoursOutlinedInWhite_data()
    {
        QTest::addColumn<uint>("value");
        QTest::addColumn<int>("handle");
        QTest::newRow("at the start: silver only") << 0u << 0;
        QTest::newRow("at 400: split at 30") << 400u << 30;
        QTest::newRow("at the end: gray only") << 1000u << 75;
    }
    void PaintsTwoColoursOutlinedInWhite()
    {
        QFETCH(uint, value);
        QFETCH(int, handle);
        auto slider = Shown();
        slider->SetValue(value);
        QImage image(75, 15, QImage::Format_ARGB32);
        image.fill(Qt::red);  // the slider paints no background: red would show
        slider->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
        // The pen is 2 pixels wide on the parts' borders: one pixel on each side of a border.
        const auto expected = [&](int x, int y) {
            if (x == 0 || x == 74 || y == 0 || y == 14 || (handle > 0 && handle < 75 && (x == handle - 1 || x == handle)))
                return qRgb(255, 255, 255);
            return x < handle ? qRgb(128, 128, 128) : qRgb(192, 192, 192);
        };
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                QVERIFY2(image.pixel(x, y) == expected(x, y),
                         qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(image.pixel(x, y), 8, 16)));
    }
};

QTEST_MAIN(TestSlider)
#include "tst_Slider.moc"
