#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "player/Slider.h"

// The painted slider: values from the pointer, the three signals, the repaint rule, the pixels.
class TestSlider : public QObject
{
    Q_OBJECT
private:
    // A slider of the size the volume slider has, shown so that it knows its size.
    static std::unique_ptr<Slider> Shown(int width = 75, int height = 15)
    {
        auto slider = std::make_unique<Slider>();
        slider->resize(width, height);
        slider->show();
        return slider;
    }
    static void Send(Slider *pSlider, QEvent::Type type, int x, Qt::MouseButton button = Qt::LeftButton,
                     Qt::MouseButtons buttons = Qt::LeftButton)
    {
        const QPointF point(x, 7);
        QMouseEvent event(type, point, pSlider->mapToGlobal(point), button, buttons, Qt::NoModifier);
        QCoreApplication::sendEvent(pSlider, &event);
    }
    static void Press(Slider *pSlider, int x) { Send(pSlider, QEvent::MouseButtonPress, x); }
    static void Move(Slider *pSlider, int x) { Send(pSlider, QEvent::MouseMove, x, Qt::NoButton); }
    static void Release(Slider *pSlider, int x)
    {
        Send(pSlider, QEvent::MouseButtonRelease, x, Qt::LeftButton, Qt::NoButton);
    }
    static QPair<QRect, QRect> Parts(Slider *pSlider)
    {
        QRect done;
        QRect rest;
        pSlider->PartRects(&done, &rest);
        return {done, rest};
    }

private slots:
    void PressSetsTheValueAndDragFollowsBeyondBothEnds_data();
    void PressSetsTheValueAndDragFollowsBeyondBothEnds();
    void OtherButtonsOrNoPressDoNothing_data();
    void OtherButtonsOrNoPressDoNothing();
    void WhilePressedSetValueIsIgnored();
    void SetValueClampsAndSetMaximumKeepsTheValue();
    void LongRangeOnWideSliderDoesNotOverflow();
    void SliderWithoutWidthTakesTheEnds();
    void RepaintsOnlyForChangesAndAtTheEnds();
    void PaintsTwoColoursOutlinedInWhite_data();
    void PaintsTwoColoursOutlinedInWhite();
};

void TestSlider::PressSetsTheValueAndDragFollowsBeyondBothEnds_data()
{
    QTest::addColumn<int>("x");
    QTest::addColumn<uint>("value");
    QTest::newRow("inside") << 37 << 493u;
    QTest::newRow("at the start") << 0 << 0u;
    QTest::newRow("left of the start") << -20 << 0u;
    QTest::newRow("exactly at the end") << 75 << 1000u;
    QTest::newRow("right of the end") << 90 << 1000u;
}

void TestSlider::PressSetsTheValueAndDragFollowsBeyondBothEnds()
{
    QFETCH(int, x);
    QFETCH(uint, value);
    auto slider = Shown();
    QCOMPARE(slider->Value(), 0u);
    QSignalSpy pressed(slider.get(), &Slider::SliderPressed);
    QSignalSpy moved(slider.get(), &Slider::SliderMoved);
    QSignalSpy released(slider.get(), &Slider::SliderReleased);
    Press(slider.get(), 30);
    QCOMPARE(slider->Value(), 400u);  // 30 of 75 pixels
    QVERIFY(slider->IsPressed());
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.at(0).at(0).toUInt(), 400u);
    Move(slider.get(), x);
    QCOMPARE(moved.count(), 1);
    QCOMPARE(moved.at(0).at(0).toUInt(), value);
    QCOMPARE(slider->Value(), value);
    Move(slider.get(), 30);
    Release(slider.get(), x);
    QCOMPARE(released.count(), 1);
    QCOMPARE(released.at(0).at(0).toUInt(), value);
    QCOMPARE(slider->Value(), value);
    QVERIFY(!slider->IsPressed());
}

void TestSlider::OtherButtonsOrNoPressDoNothing_data()
{
    QTest::addColumn<int>("button");  // Qt::NoButton: no press at all
    QTest::addColumn<int>("buttons");
    QTest::newRow("right") << int(Qt::RightButton) << int(Qt::RightButton);
    QTest::newRow("left with right held") << int(Qt::LeftButton) << int(Qt::LeftButton | Qt::RightButton);
    QTest::newRow("middle") << int(Qt::MiddleButton) << int(Qt::MiddleButton);
    QTest::newRow("moved and released without a press") << int(Qt::NoButton) << int(Qt::NoButton);
}

void TestSlider::OtherButtonsOrNoPressDoNothing()
{
    QFETCH(int, button);
    QFETCH(int, buttons);
    auto slider = Shown();
    QSignalSpy pressed(slider.get(), &Slider::SliderPressed);
    QSignalSpy moved(slider.get(), &Slider::SliderMoved);
    QSignalSpy released(slider.get(), &Slider::SliderReleased);
    if (button != Qt::NoButton)
        Send(slider.get(), QEvent::MouseButtonPress, 30, Qt::MouseButton(button), Qt::MouseButtons(buttons));
    Move(slider.get(), 50);
    Release(slider.get(), 50);
    QCOMPARE(pressed.count(), 0);
    QCOMPARE(moved.count(), 0);
    QCOMPARE(released.count(), 0);
    QCOMPARE(slider->Value(), 0u);
    QVERIFY(!slider->IsPressed());
}

void TestSlider::WhilePressedSetValueIsIgnored()
{
    auto slider = Shown();
    Press(slider.get(), 30);
    slider->SetValue(123);
    QCOMPARE(slider->Value(), 400u);
    Release(slider.get(), 30);
    QCOMPARE(slider->Value(), 400u);        // not remembered for after the release
    slider->SetValue(123);
    QCOMPARE(slider->Value(), 123u);
}

void TestSlider::SetValueClampsAndSetMaximumKeepsTheValue()
{
    auto slider = Shown();
    slider->SetValue(5000);
    QCOMPARE(slider->Value(), 1000u);
    QCOMPARE(Parts(slider.get()).second, QRect());
    slider->SetMaximum(0);
    QCOMPARE(slider->Maximum(), 1000u);
    slider->SetMaximum(180000);
    QCOMPARE(slider->Maximum(), 180000u);
    QCOMPARE(slider->Value(), 1000u);
    slider->SetValue(90000);
    QCOMPARE(Parts(slider.get()).first.right(), 36);      // the handle at half of 75 pixels
    // Also while pressed; the value is not pulled into a smaller range.
    Press(slider.get(), 60);
    QCOMPARE(slider->Value(), 144000u);
    slider->SetMaximum(1000);
    QCOMPARE(slider->Maximum(), 1000u);
    QCOMPARE(slider->Value(), 144000u);
}

void TestSlider::LongRangeOnWideSliderDoesNotOverflow()
{
    auto slider = Shown(2000, 15);
    slider->SetMaximum(3600000);            // an hour in milliseconds
    slider->SetValue(3000000);
    QCOMPARE(Parts(slider.get()).first.right(), 1665);
    Press(slider.get(), 1999);
    QCOMPARE(slider->Value(), 3598200u);
}

void TestSlider::SliderWithoutWidthTakesTheEnds()
{
    QWidget parent;
    parent.resize(100, 30);
    auto *pSlider = new Slider(&parent);
    parent.show();
    pSlider->setGeometry(0, 0, 0, 15);
    pSlider->SetValue(500);
    QSignalSpy pressed(pSlider, &Slider::SliderPressed);
    QSignalSpy moved(pSlider, &Slider::SliderMoved);
    QSignalSpy released(pSlider, &Slider::SliderReleased);
    Press(pSlider, 0);
    Move(pSlider, 0);
    Release(pSlider, 3);
    QCOMPARE(pressed.count(), 1);
    QCOMPARE(pressed.at(0).at(0).toUInt(), 0u);
    QCOMPARE(moved.at(0).at(0).toUInt(), 0u);
    QCOMPARE(released.at(0).at(0).toUInt(), 1000u);
}

namespace
{
// Counts the paint events of one widget.
class PaintCounter : public QObject
{
public:
    int count = 0;
    bool eventFilter(QObject *, QEvent *pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            ++count;
        return false;
    }
};
}

void TestSlider::RepaintsOnlyForChangesAndAtTheEnds()
{
    auto slider = Shown();
    QVERIFY(QTest::qWaitForWindowExposed(slider.get()));
    PaintCounter paints;
    slider->installEventFilter(&paints);
    const auto paintsAfter = [&](uint value) {
        paints.count = 0;
        slider->SetValue(value);
        QTest::qWait(30);
        return paints.count;
    };
    QCOMPARE(paintsAfter(500), 1);
    QCOMPARE(paintsAfter(500), 0);
    QCOMPARE(paintsAfter(499), 1);
    QCOMPARE(paintsAfter(1000), 1);
    QCOMPARE(paintsAfter(1000), 1);
    QCOMPARE(paintsAfter(0), 1);
    QCOMPARE(paintsAfter(0), 1);
}

void TestSlider::PaintsTwoColoursOutlinedInWhite_data()
{
    QTest::addColumn<uint>("value");
    QTest::addColumn<int>("handle");
    QTest::newRow("at the start: silver only") << 0u << 0;
    QTest::newRow("at 400: split at 30") << 400u << 30;
    QTest::newRow("at the end: gray only") << 1000u << 75;
}

void TestSlider::PaintsTwoColoursOutlinedInWhite()
{
    QFETCH(uint, value);
    QFETCH(int, handle);
    auto slider = Shown();
    slider->SetValue(value);
    QImage image(75, 15, QImage::Format_ARGB32);
    image.fill(Qt::red);                    // the slider paints no background: red would show
    slider->render(&image, QPoint(), QRegion(), QWidget::DrawChildren);

    const QRgb white = qRgb(255, 255, 255);
    const QRgb gray = qRgb(128, 128, 128);
    const QRgb silver = qRgb(192, 192, 192);
    // The pen is 2 pixels wide on the parts' borders: one pixel on each side of a border.
    const auto expected = [&](int x, int y) {
        if (x == 0 || x == 74 || y == 0 || y == 14)
            return white;
        if (handle > 0 && handle < 75 && (x == handle - 1 || x == handle))
            return white;
        return x < handle ? gray : silver;
    };
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            QVERIFY2(image.pixel(x, y) == expected(x, y),
                     qPrintable(QStringLiteral("(%1, %2) is %3").arg(x).arg(y).arg(image.pixel(x, y), 8, 16)));
}

QTEST_MAIN(TestSlider)
#include "tst_Slider.moc"
