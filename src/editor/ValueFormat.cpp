#include "editor/ValueFormat.h"

#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "dsp/ExpTables.h"

namespace {

// Larger counts than any list could hold keep the arithmetic away from overflow.
constexpr int kMaxCount = 1 << 20;

// The decimal count after the kind letter; 0 when there is none.
int listCount(const char* format) {
    int n = 0;
    for (const char* p = format + 1; *p >= '0' && *p <= '9'; ++p) {
        n = n * 10 + (*p - '0');
        if (n > kMaxCount) return kMaxCount;
    }
    return n;
}

// The nearest integer of a float that the callers keep within the int range.
int nearest(float x) { return static_cast<int>(std::lrintf(x)); }

// Item k of "S<n>,<item 0>,<item 1>,...": past the first comma and k more, up to the
// next comma. A list shorter than its count shows nothing for the missing items.
void copyItem(const char* format, int k, char* text) {
    const char* p = std::strchr(format, ',');
    for (int i = 0; p && i < k; ++i) p = std::strchr(p + 1, ',');
    size_t length = 0;
    if (p) {
        ++p;
        while (p[length] && p[length] != ',' && length < kFormatTextSize - 1) ++length;
        std::memcpy(text, p, length);
    }
    text[length] = '\0';
}

}  // namespace

void formatValue(float v, char* text, const char* format) {
    // Controls hold values in 0..1; anything else (or NaN) would leave the ranges the
    // displays below are made for.
    if (!(v >= 0.0f)) v = 0.0f;
    if (v > 1.0f) v = 1.0f;
    if (!format) {
        std::snprintf(text, kFormatTextSize, "%3.0f%%", static_cast<double>(v * 100.0f));
        return;
    }
    switch (format[0]) {
        case 'C':
            std::snprintf(text, kFormatTextSize, "%+03.f", static_cast<double>(v * 200.0f - 100.0f));
            return;
        case 'F':
            std::snprintf(text, kFormatTextSize, "%5dHz", static_cast<int>(fastExp2(10.0f * v + 3.0f)));
            return;
        case 'G':
            std::snprintf(text, kFormatTextSize, "%3.1fHz", static_cast<double>(fastExp2(10.0f * v + 3.0f) * 0.02f));
            return;
        case 'H':
            std::snprintf(text, kFormatTextSize, "%+2.0f%%", static_cast<double>((v - 0.5f) * 200.0f));
            return;
        case 'P':
            if (v == 0.5f)
                std::snprintf(text, kFormatTextSize, "<C>");
            else if (v > 0.5f)
                std::snprintf(text, kFormatTextSize, "   <R>%3d", static_cast<int>((v - 0.5f) * 200.0f));
            else
                std::snprintf(text, kFormatTextSize, "%3d<L>   ", static_cast<int>((0.5f - v) * 200.0f));
            return;
        case 'S': {
            int n = listCount(format);
            int k = static_cast<int>(static_cast<float>(n) * v);
            if (k > n - 1) k = n - 1;
            if (k < 0) k = 0;
            copyItem(format, k, text);
            return;
        }
        case 'T':
            std::snprintf(text, kFormatTextSize, "%4dmsec", nearest(2.0f * fastExp2(12.0f * v)));
            return;
        case 'U':
            std::snprintf(text, kFormatTextSize, "%4dmsec", nearest(-400.0f / std::log10(0.89f * v + 0.01f)));
            return;
        case 'V':
            if (v >= 0.99f)
                std::snprintf(text, kFormatTextSize, "----");
            else
                std::snprintf(text, kFormatTextSize, "%4dmSec", nearest(-400.0f / std::log10(0.99f * v + 0.01f)));
            return;
        default:
            std::snprintf(text, kFormatTextSize, "%.2f", static_cast<double>(v));
            return;
    }
}

void popupValueText(float value, char* text, const char* format) {
    formatValue(value, text, format);
    size_t length = std::strlen(text);
    if (length < 5 || text[0] != '[' || text[length - 1] != ']') return;
    // Only "[<digits>/<digits>]": other bracketed items (wave forms, tunings) keep theirs.
    const char* slash = std::strchr(text, '/');
    if (!slash) return;
    for (size_t i = 1; i + 1 < length; ++i)
        if (text + i != slash && !std::isdigit(static_cast<unsigned char>(text[i]))) return;
    std::memmove(text, text + 1, length - 2);
    text[length - 2] = '\0';
}

int stepCount(const char* format) {
    if (!format || format[0] != 'S') return 0;
    int n = listCount(format);
    // One step would divide by zero when quantising.
    return n >= 2 ? n : 0;
}

float quantise(float value, int steps) {
    // Out of range (or NaN) the integer conversion below would be undefined.
    if (!(value >= 0.0f)) value = 0.0f;
    if (value > 1.0f) value = 1.0f;
    float last = static_cast<float>(steps - 1);
    return static_cast<float>(static_cast<int>(value * last + 0.5f)) / last;
}

bool resolveSwitchRule(const char* switchFormat, float switchValue, SwitchRule& rule) {
    if (!switchFormat || switchFormat[0] != 'M') return false;
    const char* off = std::strchr(switchFormat, ':');
    if (!off) return false;
    ++off;
    const char* on = std::strchr(off, ':');
    if (switchValue >= 0.5f && !on) return false;
    // The name comes from a copy of the first 16 characters, cut at the first colon.
    char copy[17] = {};
    std::strncpy(copy, switchFormat, 16);
    if (char* colon = std::strchr(copy, ':')) *colon = '\0';
    std::snprintf(rule.target, sizeof rule.target, "%s", copy + 1);
    rule.format = switchValue < 0.5f ? off : on + 1;
    return true;
}
