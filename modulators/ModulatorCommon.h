#pragma once
// Small rules shared by the modulators: percent and list parsing and the
// tempo range they accept.

namespace vh {

// Typed percentage: above 100 gives 1, below 0 gives 0, else x / 100.
float percentValue(const char* text);

// Item of a list whose name equals text (any case), or -1.
int listItemOfName(const char* text, const char* const* names, int count);

// Tempo as the modulators use it: hosts have been seen to report 0, negative
// or non-finite tempos while stopped, and a tempo-locked rate derived from
// such a value would be infinite or negative. Out-of-range values are pulled
// into 1..1000 bpm and non-finite ones keep the previous tempo.
float acceptedTempo(float bpm, float previous);

}  // namespace vh
