#include "player/Slider.h"

#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>

#include <algorithm>

#include "player/SliderStyle_Normal.h"

Slider::Slider(QWidget *pParent) : QWidget(pParent)
{
    value = minimum;
    paintedValue = minimum;
    setWindowFlags(Qt::FramelessWindowHint);
    style = std::make_unique<SliderStyle_Normal>(this);
    setCursor(Qt::PointingHandCursor);
    // What the style leaves undrawn shows the parent.
    setAutoFillBackground(false);
}

Slider::~Slider() = default;

void Slider::SetValue(uint newValue)
{
    if (pressed)
        return;
    StoreValue(std::clamp(newValue, minimum, maximum));
}

void Slider::SetMaximum(uint newMaximum)
{
    if (newMaximum <= minimum)
        return;
    maximum = newMaximum;
    StoreValue(value);
}

void Slider::PartRects(QRect *pDone, QRect *pRest)
{
    if (value == minimum) {
        doneRect = QRect();
        restRect = fullRect;
    } else if (value == maximum) {
        doneRect = fullRect;
        restRect = QRect();
    } else {
        doneRect = fullRect;
        restRect = fullRect;
        if (vertical) {
            // Fills from the bottom.
            restRect.setBottom(fullRect.top() + handlePos - 1);
            doneRect.setTop(handlePos);
        } else {
            restRect.setLeft(handlePos);
            doneRect.setRight(fullRect.left() + handlePos - 1);
        }
    }
    *pDone = doneRect;
    *pRest = restRect;
}

int Slider::HandlePosFor(uint forValue) const
{
    // 64 bits: an hour in milliseconds times a wide slider does not fit in 32.
    const qint64 extent = vertical ? knownHeight : knownWidth;
    if (extent <= 0)
        return 0;
    const qint64 along = qint64(forValue) * extent / maximum;
    return int(vertical ? extent - along : along);
}

void Slider::StoreValue(uint newValue)
{
    handlePos = HandlePosFor(newValue);
    value = newValue;
    RepaintIfChanged();
}

void Slider::SetValueFromPoint(const QPoint &point)
{
    handlePos = vertical ? point.y() : point.x();
    const qint64 extent = vertical ? knownHeight : knownWidth;
    qint64 fromPoint = minimum;
    // A slider squeezed to nothing has no point to take a value from.
    if (extent > 0) {
        const qint64 along = vertical ? extent - point.y() : point.x();
        fromPoint = along * qint64(maximum) / extent;
    }
    value = uint(std::clamp<qint64>(fromPoint, minimum, maximum));
    RepaintIfChanged();
}

void Slider::RepaintIfChanged()
{
    if (value != minimum && value != maximum) {
        if (value == paintedValue)
            return;
        // Unsigned on purpose: only small rises wait; a fall wraps round and always repaints.
        if (value - paintedValue < repaintStep)
            return;
    }
    paintedValue = value;
    update();
}

bool Slider::IsOnSlider(const QPoint &point) const
{
    const int along = vertical ? point.y() : point.x();
    const int extent = vertical ? knownHeight : knownWidth;
    return along >= 0 && along <= extent;
}

uint Slider::EndBeyond(const QPoint &point) const
{
    const bool beforeStart = (vertical ? point.y() : point.x()) < 0;
    // A vertical slider has its minimum at the bottom.
    return beforeStart != vertical ? minimum : maximum;
}

uint Slider::TrackPointer(const QPoint &point)
{
    if (IsOnSlider(point)) {
        SetValueFromPoint(point);
        return value;
    }
    const uint end = EndBeyond(point);
    StoreValue(end);
    return end;
}

void Slider::mousePressEvent(QMouseEvent *pEvent)
{
    if (pEvent->buttons() != Qt::LeftButton)
        return;
    SetValueFromPoint(pEvent->position().toPoint());
    pressed = true;
    emit SliderPressed(value);
}

void Slider::mouseMoveEvent(QMouseEvent *pEvent)
{
    if (!pressed)
        return;
    if (moveSkip != 0 && moveCount != moveSkip) {
        ++moveCount;
        return;
    }
    moveCount = 0;
    emit SliderMoved(TrackPointer(pEvent->position().toPoint()));
}

void Slider::mouseReleaseEvent(QMouseEvent *pEvent)
{
    if (!pressed)
        return;
    pressed = false;
    emit SliderReleased(TrackPointer(pEvent->position().toPoint()));
}

void Slider::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    style->Paint(&painter);
    if (overlayStyle)
        overlayStyle->Paint(&painter);
}

void Slider::resizeEvent(QResizeEvent *pEvent)
{
    knownWidth = pEvent->size().width();
    knownHeight = pEvent->size().height();
    fullRect = rect();
    handlePos = HandlePosFor(value);
}
