#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
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

// The values a signal carried, in order.
QList<uint> Values(const QSignalSpy &spy)
{
    QList<uint> values;
    for (const auto &arguments : spy)
        values << arguments.at(0).toUInt();
    return values;
}

// Counts the paint events of one widget.
class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *pEvent) override
    {
        count += pEvent->type() == QEvent::Paint;
        return false;
    }
};
}

// The painted slider: values from the pointer, the three signals, the repaint rule, the pixels.
class TestSlider : public QObject
{
    Q_OBJECT
private slots:
    void PressSetsTheValueAndDragFollowsBeyondBothEnds_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<uint>("maximum");
        QTest::addColumn<int>("x");          // pressed at 30 (or 0 without width), dragged to x and released there
        QTest::addColumn<uint>("pressed");
        QTest::addColumn<uint>("value");
        QTest::newRow("inside") << 75 << 1000u << 37 << 400u << 493u;  // 30 and 37 of 75 pixels
        QTest::newRow("at the start") << 75 << 1000u << 0 << 400u << 0u;
        QTest::newRow("left of the start") << 75 << 1000u << -20 << 400u << 0u;
        QTest::newRow("exactly at the end") << 75 << 1000u << 75 << 400u << 1000u;
        QTest::newRow("right of the end") << 75 << 1000u << 90 << 400u << 1000u;
        QTest::newRow("an hour on a wide slider does not overflow") << 2000 << 3600000u << 1999 << 54000u << 3598200u;
        // Squeezed to nothing: no point gives a value, the ends are taken beyond it.
        QTest::newRow("without width") << 0 << 1000u << 3 << 0u << 1000u;
    }
    void PressSetsTheValueAndDragFollowsBeyondBothEnds()
    {
        QFETCH(int, width);
        QFETCH(uint, maximum);
        QFETCH(int, x);
        QFETCH(uint, pressed);
        QFETCH(uint, value);
        QWidget parent;
        parent.resize(2100, 30);
        auto *pSlider = new Slider(&parent);
        pSlider->setGeometry(0, 0, width, 15);
        parent.show();
        pSlider->SetMaximum(maximum);
        const QSignalSpy pressedSpy(pSlider, &Slider::SliderPressed);
        const QSignalSpy movedSpy(pSlider, &Slider::SliderMoved);
        const QSignalSpy releasedSpy(pSlider, &Slider::SliderReleased);
        const int start = width > 0 ? 30 : 0;
        Press(pSlider, start);
        QCOMPARE(pSlider->Value(), pressed);
        QVERIFY(pSlider->IsPressed());
        Move(pSlider, x);
        QCOMPARE(pSlider->Value(), value);
        Move(pSlider, start);  // the release takes its own point, not the last one dragged to
        Release(pSlider, x);
        QCOMPARE(Values(pressedSpy), QList<uint>{pressed});
        QCOMPARE(Values(movedSpy), (QList<uint>{value, pressed}));
        QCOMPARE(Values(releasedSpy), QList<uint>{value});
        QCOMPARE(pSlider->Value(), value);
        QVERIFY(!pSlider->IsPressed());
    }

    void OtherButtonsOrNoPressDoNothing_data()
    {
        QTest::addColumn<int>("button");  // Qt::NoButton: no press at all
        QTest::addColumn<int>("buttons");
        QTest::newRow("right") << int(Qt::RightButton) << int(Qt::RightButton);
        QTest::newRow("left with right held") << int(Qt::LeftButton) << int(Qt::LeftButton | Qt::RightButton);
        QTest::newRow("middle") << int(Qt::MiddleButton) << int(Qt::MiddleButton);
        QTest::newRow("moved and released without a press") << int(Qt::NoButton) << int(Qt::NoButton);
    }
    void OtherButtonsOrNoPressDoNothing()
    {
        QFETCH(int, button);
        QFETCH(int, buttons);
        auto slider = Shown();
        if (button != Qt::NoButton)
            Send(slider.get(), QEvent::MouseButtonPress, 30, Qt::MouseButton(button), Qt::MouseButtons(buttons));
        Move(slider.get(), 50);
        Release(slider.get(), 50);
        // A press, drag or release taken would have moved the value.
        QCOMPARE(slider->Value(), 0u);
        QVERIFY(!slider->IsPressed());
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
        auto slider = Shown();
        QVERIFY(QTest::qWaitForWindowExposed(slider.get()));
        PaintCounter paints;
        slider->installEventFilter(&paints);
        QList<int> counts;
        for (const uint value : {500u, 500u, 499u, 1000u, 1000u, 0u, 0u}) {
            paints.count = 0;
            slider->SetValue(value);
            QTest::qWait(30);
            counts << paints.count;
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
