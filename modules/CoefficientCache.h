#pragma once
// Remembers a coefficient together with the inputs it was computed from, so
// a control tick whose inputs did not change skips the exp/pow. Most ticks
// see unmodulated, unchanged parameters.

namespace vh {

template <int Inputs>
struct CoefficientCache {
    float key[Inputs];
    float value = 0.0f;
    bool valid = false;

    // True when the inputs differ from the remembered ones (and remembers them).
    bool changed(const float (&inputs)[Inputs]) {
        bool same = valid;
        for (int i = 0; i < Inputs; ++i) {
            same = same && key[i] == inputs[i];
            key[i] = inputs[i];
        }
        valid = true;
        return !same;
    }
};

}  // namespace vh
