#pragma once
#include <QPen>

class QPainter;
class Slider;

// Paints a slider; the slider owns its styles and calls Paint from its paintEvent. Holds the
// outline pen every style draws with: white, 2 pixels, square caps, mitred joins.
class SliderStyle
{
public:
    explicit SliderStyle(Slider *pSlider);      // throws std::invalid_argument for a null slider
    virtual ~SliderStyle();
    SliderStyle(const SliderStyle &) = delete;
    SliderStyle &operator=(const SliderStyle &) = delete;

    virtual void Paint(QPainter *pPainter) = 0;

protected:
    Slider *slider = nullptr;                   // not owned; never null
    QPen pen;
};
