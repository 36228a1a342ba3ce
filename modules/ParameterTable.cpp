#include "modules/ParameterTable.h"

#include "modules/Conversions.h"

namespace vh {

namespace {
bool isList(const ParameterInfo& row) { return row.steps > 0 && row.hostItems != nullptr; }
bool isLinear(const ParameterInfo& row) { return row.text.hostFormat != nullptr; }

const char* const* editorNames(const ParameterInfo& row) { return row.editorItems ? row.editorItems : row.hostItems; }

// Offered item whose editor or host name equals text, or -1. Leading blanks
// of a typed entry do not count.
int offeredItem(const ParameterInfo& row, const char* text) {
    if (text == nullptr) return -1;
    while (*text == ' ') ++text;
    int offered = row.choices > 0 ? row.choices : row.steps;
    for (int i = 0; i < offered; ++i)
        if (equalsIgnoreCase(text, editorNames(row)[i]) || equalsIgnoreCase(text, row.hostItems[i])) return i;
    return -1;
}

float nativeOf(const ParameterInfo::Linear& text, float v) { return text.lo + (text.hi - text.lo) * v; }
}  // namespace

bool tableHostText(const ParameterInfo& row, float v, char* out) {
    if (row.hostText) {
        row.hostText(v, out);
        return true;
    }
    if (isList(row)) {
        copyText(out, kTextSize, row.hostItems[discreteIndex(v, row.steps)]);
        return true;
    }
    if (!isLinear(row)) return false;
    VH_TEXT(out, row.text.hostFormat, nativeOf(row.text, v));
    return true;
}

bool tableEditorText(const ParameterInfo& row, float v, char* out) {
    if (row.editorText) {
        row.editorText(v, out);
        return true;
    }
    if (isList(row)) {
        copyText(out, kTextSize, editorNames(row)[discreteIndex(v, row.steps)]);
        return true;
    }
    if (!isLinear(row)) return false;
    VH_TEXT(out, row.text.editorFormat ? row.text.editorFormat : row.text.hostFormat, nativeOf(row.text, v));
    return true;
}

bool tableParse(const ParameterInfo& row, const char* text, float& v) {
    if (row.parseText) return row.parseText(text, v);
    if (isList(row)) {
        int item = offeredItem(row, text);
        if (item < 0) return false;
        v = discreteValue(item, row.steps);
        return true;
    }
    if (!isLinear(row)) return false;
    double x = 0.0;
    if (!parseNumber(text, x) && row.text.needsNumber) return false;
    double lo = row.text.lo, hi = row.text.hi;
    x = x < lo ? lo : x > hi ? hi : x;
    v = static_cast<float>((x - lo) / (hi - lo));
    return true;
}

}  // namespace vh
