#pragma once
// Helpers shared by the modulator tests: a host that also records plain
// (non-automated) parameter sets and hands them back to the module, as the
// engine does, and a text shorthand.

#include <string>
#include <vector>

#include "ModuleHarness.h"

namespace vh::test {

class PlainRecordingHost : public RecordingHost {
public:
    std::vector<Edit> plainSets;
    Modulator* module = nullptr;
    void setParameterPlain(int globalIndex, float value) override {
        plainSets.push_back({globalIndex, value});
        if (module) module->setParameter(globalIndex - module->globalIndex(0), value);
    }
};

template <class M>
std::string hostDisplay(M& m, int index) {
    char text[kTextSize];
    m.getParameterDisplay(index, text);
    return text;
}
template <class M>
std::string hostLabel(M& m, int index) {
    char text[kTextSize];
    m.getParameterLabel(index, text);
    return text;
}
template <class M>
std::string hostName(M& m, int index) {
    char text[kTextSize];
    m.getParameterName(index, text);
    return text;
}
template <class M>
std::string editorText(M& m, int index, float v, int mode = 0) {
    char text[kTextSize];
    m.formatEditorValue(index, v, text, mode);
    return text;
}
template <class M>
float typed(M& m, int index, const char* text, int mode = 0) {
    float v = -1.0f;
    EXPECT_TRUE(m.parseEditorValue(index, text, v, mode)) << index << " " << text;
    return v;
}

}  // namespace vh::test
