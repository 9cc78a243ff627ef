#include "player/SliderStyle_Normal.h"

#include <QColor>
#include <QPainter>

#include "player/Slider.h"

SliderStyle_Normal::SliderStyle_Normal(Slider *pSlider)
    : SliderStyle(pSlider),
      doneBrush(QColor(QStringLiteral("gray")), Qt::SolidPattern),
      restBrush(QColor(QStringLiteral("silver")), Qt::SolidPattern)
{
}

SliderStyle_Normal::~SliderStyle_Normal() = default;

void SliderStyle_Normal::Paint(QPainter *pPainter)
{
    QRect done;
    QRect rest;
    slider->PartRects(&done, &rest);
    pPainter->setPen(pen);
    // The rest first: the done part's outline lies over it at the handle.
    if (!rest.isNull())
        DrawPart(pPainter, rest, restBrush);
    if (!done.isNull())
        DrawPart(pPainter, done, doneBrush);
}

void SliderStyle_Normal::DrawPart(QPainter *pPainter, const QRect &part, const QBrush &brush) const
{
    pPainter->setBrush(brush);
    if (rounded)
        pPainter->drawRoundedRect(part, xRoundness, yRoundness);
    else
        pPainter->drawRect(part);
}
