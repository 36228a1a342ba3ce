#pragma once
// Value-to-text and text-to-value conversions of the main knobs and the
// preferences page. Typed entries answer false when the text holds no number
// (the entry is then ignored).

#include <string>

namespace vh::editor {

// Input and Output: gain 4v^2, shown in dB.
std::string gainText(float v);
bool gainFromText(const std::string& text, float& v);
std::string mixText(float v);
bool mixFromText(const std::string& text, float& v);
// Knob value as the assignable knobs show it while touched.
std::string percentText(float v);

std::string limiterText(int state);
std::string tempoSyncText(int state);
std::string tempoText(float v);
bool tempoFromText(const std::string& text, float& v);
std::string ppqOffsetText(float v);
bool ppqOffsetFromText(const std::string& text, float& v);
std::string falloffText(float v);
bool falloffFromText(const std::string& text, float& v);
std::string holdText(float v);
bool holdFromText(const std::string& text, float& v);

}  // namespace vh::editor
