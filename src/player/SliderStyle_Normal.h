#pragma once
#include <QBrush>

#include "player/SliderStyle.h"

// The plain look: the part up to the handle filled gray, the rest silver, both outlined.
class SliderStyle_Normal : public SliderStyle
{
public:
    explicit SliderStyle_Normal(Slider *pSlider);
    ~SliderStyle_Normal() override;

    void Paint(QPainter *pPainter) override;

private:
    void DrawPart(QPainter *pPainter, const QRect &part, const QBrush &brush) const;

    bool rounded = false;
    int xRoundness = 0;
    int yRoundness = 0;
    QBrush doneBrush;
    QBrush restBrush;
};
