#pragma once
// A module's parameters, declared once as a table: names, titles, units,
// lists, defaults and the plain value texts. The module base answers the
// host's and the editor's questions from it; a module writes code only for
// the texts no table row can express (a pan position, a note length).

#include <array>
#include <cstddef>

namespace vh {

// One parameter. Rows are written with designated initialisers, so a row
// names only what it has:
//   {.name = "depth", .label = "%", .defaultValue = 1.0f, .modulatable = true,
//    .text = linearText(0.0f, 100.0f, "%.1f", "%.1f")}
struct ParameterInfo {
    // Value-to-text and text-to-value of a continuous parameter whose native
    // value is lo + (hi - lo) · v, printed with a printf format; typed
    // numbers are clamped to lo..hi. Typed text without a number reads as 0
    // (as atof does), or is refused where `needsNumber` is set. No format:
    // the module writes the text.
    struct Linear {
        float lo = 0.0f, hi = 1.0f;
        const char* hostFormat = nullptr;
        const char* editorFormat = nullptr;
        bool needsNumber = false;
    };

    const char* name = "---";  // host name, at most 8 characters
    const char* title = "";    // the editor control's title
    // Host unit label. A parameter with a text switch carries it only while
    // the switch holds its first item: the others select note lengths.
    const char* label = "";
    float defaultValue = 0.0f;
    bool modulatable = false;
    // A list: its number of items and their names for the host and the
    // editor (editor names null: the host's). `choices` is how many, from
    // the first, the editor offers (0: all of them).
    int steps = 0;
    const char* const* hostItems = nullptr;
    const char* const* editorItems = nullptr;
    int choices = 0;
    // Local index of the switch that selects the unit of this text; -1 none.
    int textSwitch = -1;
    Linear text = {};
    // Texts of a unit no list or linear row expresses (a frequency curve,
    // a count), as plain functions of the value; null where the module's
    // own code writes them.
    void (*hostText)(float v, char* out) = nullptr;
    void (*editorText)(float v, char* out) = nullptr;
    bool (*parseText)(const char* text, float& v) = nullptr;
};

constexpr ParameterInfo::Linear linearText(float lo, float hi, const char* hostFormat, const char* editorFormat,
                                           bool needsNumber = false) {
    return {lo, hi, hostFormat, editorFormat, needsNumber};
}

// The table of a module type and what an index without a row shows to the
// host ("---" or nothing, as each type has always done).
struct ParameterTable {
    const ParameterInfo* rows = nullptr;
    int count = 0;
    const char* missingDisplay = "";

    constexpr ParameterTable() = default;
    template <int N>
    constexpr ParameterTable(const ParameterInfo (&table)[N], const char* missing = "")
        : rows(table), count(N), missingDisplay(missing) {}
    template <std::size_t N>
    constexpr ParameterTable(const std::array<ParameterInfo, N>& table, const char* missing = "")
        : rows(table.data()), count(static_cast<int>(N)), missingDisplay(missing) {}
    const ParameterInfo* row(int index) const { return (index >= 0 && index < count) ? &rows[index] : nullptr; }
};

// The texts every row can give without module code: list items and linear
// values. Each returns false when the row holds neither (then the module's
// own code answers) or, for a typed entry, when the text names no offered
// item (editor or host name, any case).
bool tableHostText(const ParameterInfo& row, float v, char* out);
bool tableEditorText(const ParameterInfo& row, float v, char* out);
bool tableParse(const ParameterInfo& row, const char* text, float& v);

}  // namespace vh
