#pragma once

#include "tools/AudioFile.h"

namespace vhtool {

// A stereo demo phrase: a plucked arpeggio over a soft chord with a few
// percussive clicks, so filters, delays and dynamics all have something to
// work on.
Audio makeTestSignal(int sampleRate, double seconds);

}  // namespace vhtool
