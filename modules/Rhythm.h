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

// Whether a position that a module advanced sample by sample (`kept`, in
// units of `ppqPerUnit` quarter notes, on a circle of `period` units) still
// agrees with the one the host's song position `ppq` gives (`fromPosition`).
// They may differ by the rounding of the single-precision position and by a
// thousandth of a unit; beyond that the transport jumped or the module's
// settings moved, and the module locks to the position again. Locking only
// then, not at every block start, keeps the output independent of where the
// host's blocks begin.
bool followsSongPosition(double kept, double fromPosition, double period, float ppq, double ppqPerUnit);

}  // namespace vh
