#include "gui/CParamDisplay.h"

#include <cstdio>

CParamDisplay::CParamDisplay(const CRect& rect, CBitmap* bitmap) : CControl(rect, nullptr, 0, bitmap) {
    setMouseEnabled(false);
}

void CParamDisplay::setStringConvert(CStringConvert convert, const void* userData) {
    stringConvert = convert;
    convertData = userData;
    setDirty(true);
}

void CParamDisplay::draw(CDrawContext* context) {
    char text[256] = {};
    if (stringConvert)
        stringConvert(value, text, convertData);
    else
        std::snprintf(text, sizeof text, "%2.2f", static_cast<double>(value));
    text[sizeof text - 1] = '\0';
    drawText(context, text);
    setDirty(false);
}

void CParamDisplay::drawText(CDrawContext* context, const char* text) {
    if (background) {
        drawBackground(context, backOffset);
    } else if (backColor.alpha != 0) {
        context->setFillColor(backColor);
        context->fillRect(size);
    }
    context->setFontColor(fontColor);
    context->setFontSize(fontSize);
    context->drawString(text, size, horiAlign);
}
