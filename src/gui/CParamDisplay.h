// Shows a value as text on a background picture (or colour), through a string
// conversion callback when one is set, else with two decimals.
#pragma once

#include "gui/CControl.h"
#include "gui/CDrawContext.h"

// Writes the text for value into text (room for 256 characters).
using CStringConvert = void (*)(float value, char* text, const void* userData);

class CParamDisplay : public CControl {
public:
    CParamDisplay(const CRect& size, CBitmap* background = nullptr);

    void draw(CDrawContext* context) override;

    void setStringConvert(CStringConvert convert, const void* userData = nullptr);
    void setFontColor(const CColor& color) { fontColor = color; }
    const CColor& getFontColor() const { return fontColor; }
    // Used where there is no background picture; fully transparent draws nothing.
    void setBackColor(const CColor& color) { backColor = color; }
    void setHoriAlign(CHoriTxtAlign align) { horiAlign = align; }
    void setFontSize(double points) { fontSize = points; }

protected:
    void drawText(CDrawContext* context, const char* text);

private:
    CStringConvert stringConvert = nullptr;
    const void* convertData = nullptr;
    CColor fontColor = kWhiteCColor;
    CColor backColor = kTransparentCColor;
    CHoriTxtAlign horiAlign = kCenterText;
    double fontSize = 11.0;
};
