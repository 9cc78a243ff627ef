#pragma once
#include <QRect>
#include <QWidget>

#include <memory>

class QMouseEvent;
class QPaintEvent;
class QResizeEvent;
class SliderStyle;

// A thin painted bar holding an unsigned value between a minimum and a maximum, set by the user
// with the left mouse button (press, drag, release, each reported by a signal). Owns the styles
// that paint it. While the button is held, SetValue is ignored, so a timer cannot fight a drag.
class Slider : public QWidget
{
    Q_OBJECT
public:
    explicit Slider(QWidget *pParent = nullptr);
    ~Slider() override;

    void SetValue(uint value);          // ignored while pressed; clamped to minimum..maximum
    void SetMaximum(uint maximum);      // only above the minimum; the value stays, unclamped
    // The part from the start up to the handle and the part after it, for the current value;
    // a part that does not exist is a null rectangle. Styles call it while painting.
    void PartRects(QRect *pDone, QRect *pRest);

    uint Value() const { return value; }
    uint Minimum() const { return minimum; }
    uint Maximum() const { return maximum; }
    bool IsPressed() const { return pressed; }

signals:
    void SliderPressed(uint Position);
    void SliderReleased(uint Position);
    void SliderMoved(uint Position);

protected:
    void mousePressEvent(QMouseEvent *pEvent) override;
    void mouseReleaseEvent(QMouseEvent *pEvent) override;
    void mouseMoveEvent(QMouseEvent *pEvent) override;
    void paintEvent(QPaintEvent *pEvent) override;
    void resizeEvent(QResizeEvent *pEvent) override;

private:
    void StoreValue(uint newValue);
    void SetValueFromPoint(const QPoint &point);
    int HandlePosFor(uint forValue) const;
    // Requests a repaint unless the value changed too little to be seen.
    void RepaintIfChanged();
    // Where the pointer lies along the axis: on the slider (ends included) or beyond one end.
    bool IsOnSlider(const QPoint &point) const;
    uint EndBeyond(const QPoint &point) const;
    // The value a move or release selects, after it has been stored.
    uint TrackPointer(const QPoint &point);

    bool vertical = false;
    std::unique_ptr<SliderStyle> style;
    std::unique_ptr<SliderStyle> overlayStyle;  // painted after style when set
    QRect doneRect;
    QRect restRect;
    int handlePos = 0;                  // pixels along the axis
    // From the last resize event; -1 before the first. Named apart from QWidget::width().
    int knownWidth = -1;
    int knownHeight = -1;
    bool pressed = false;
    uint value = 0;
    uint paintedValue = 0;              // the value at the last repaint request
    uint minimum = 0;
    uint maximum = 1000;
    uint moveSkip = 0;                  // mouse moves to skip between two handled ones
    uint moveCount = 0;
    uint repaintStep = 0;               // smallest rise of the value worth a repaint
    QRect fullRect;
};
