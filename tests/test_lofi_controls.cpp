// The bit-crusher's editor controls carry the same short names the host
// shows, so a parameter reads alike on the panel and in the host.

#include <gtest/gtest.h>

#include <string>

#include "operators/LoFi.h"

using namespace vh;

TEST(LoFiControls, ControlsAreTitledBitsAndSmplrate) {
    LoFi lofi(0, nullptr);
    lofi.setSampleRate(44100.0f);
    char text[kTextSize];
    const char* expected[LoFi::kNumParams] = {"bits", "smplrate"};
    for (int i = 0; i < LoFi::kNumParams; ++i) {
        lofi.getParameterTitle(i, text);
        EXPECT_STREQ(text, expected[i]) << i;
    }
    lofi.getParameterTitle(LoFi::kNumParams, text);
    EXPECT_STREQ(text, "");
}
