#include "operators/PhaseInv.h"

namespace vh {

void PhaseInv::getParameterDisplay(int index, char* out) {
    if (index != 0)
        copyText(out, kTextSize, "---");
    else
        copyText(out, kTextSize, discreteIndex(mBase[0], 2) == 1 ? "-" : "+");
}

void PhaseInv::formatEditorValue(int index, float value, char* out, int) {
    if (index != 0)
        out[0] = 0;
    else
        copyText(out, kTextSize, discreteIndex(value, 2) == 1 ? "negative (-)" : "positive (+)");
}

}  // namespace vh
