#pragma once
// Note lengths for tempo-locked times: the 30 rhythm items shared by the
// LFO rate, the step grid, tempo-mode delay and pre-delay times.

namespace vh {

constexpr int kNumRhythmItems = 30;
constexpr int kDefaultRhythmItem = 3;  // "1/1"

// Name of item i ("8/1", "1/16", "3/128", ...); "" outside the table.
const char* rhythmName(int item);
// Cycle length of item i in whole notes, as single precision (16/3 is
// 5.3333335); 0 outside the table.
float rhythmLength(int item);
// Item whose name equals text exactly (case-sensitive), or fallback.
int rhythmItemOfName(const char* text, int fallback = kDefaultRhythmItem);
// Seconds a length of `wholeNotes` lasts at `bpm`: L * 240 / tempo.
float rhythmSeconds(float wholeNotes, float bpm);
// Item whose duration at bpm is nearest to `seconds` (lower index on a tie).
int nearestRhythmItem(float seconds, float bpm);

}  // namespace vh
