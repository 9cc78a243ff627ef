#include "player/SliderStyle.h"

#include <stdexcept>

SliderStyle::SliderStyle(Slider *pSlider)
    : slider(pSlider), pen(QBrush(Qt::white), 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin)
{
    if (!slider)
        throw std::invalid_argument("a slider style needs its slider");
}

SliderStyle::~SliderStyle() = default;
