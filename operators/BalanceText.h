#pragma once
// Texts of a left/right position (Stereo balance, Panner positions).

namespace vh {

// Host text: "C", "L:%.0f" or "R:%.0f".
void balanceHostText(float v, char* out);
// Editor text: "CENTER", "LEFT:%.0f" or "RIGHT:%.0f".
void balanceEditorText(float v, char* out);
// "L:30" gives 0.35, "R 20" gives 0.6, anything else not starting with L or R
// gives the centre.
float parseBalance(const char* text);

}  // namespace vh
