#include "operators/BalanceText.h"

#include <cstring>

#include "modules/Conversions.h"

namespace vh {

namespace {
bool isCentre(float v) { return static_cast<int>(200.0f * v + 0.5f) == 100; }

void balanceText(float v, char* out, const char* centre, const char* left, const char* right) {
    if (isCentre(v))
        copyText(out, kTextSize, centre);
    else if (v < 0.5f)
        VH_TEXT(out, "%s:%.0f", left, (0.5f - v) * 200.0f);
    else
        VH_TEXT(out, "%s:%.0f", right, (v - 0.5f) * 200.0f);
}
}  // namespace

void balanceHostText(float v, char* out) { balanceText(v, out, "C", "L", "R"); }
void balanceEditorText(float v, char* out) { balanceText(v, out, "CENTER", "LEFT", "RIGHT"); }

float parseBalance(const char* text) {
    if (text == nullptr || text[0] == 0) return 0.5f;
    char side = text[0];
    bool left = side == 'L' || side == 'l';
    bool right = side == 'R' || side == 'r';
    if (!left && !right) return 0.5f;
    const char* colon = std::strchr(text, ':');
    double x = readNumber(colon ? colon + 1 : text + 1);
    if (x < 0.0) x = 0.0;
    if (x > 100.0) x = 100.0;
    return static_cast<float>(left ? 0.5 - x / 200.0 : 0.5 + x / 200.0);
}

}  // namespace vh
