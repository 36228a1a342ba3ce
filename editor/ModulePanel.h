#pragma once
// A module's panel: its plot on top where the module has one, its controls
// below in one or two columns of 10-pixel rows. The layout measures every
// control's label and widest value text first, so nothing overlaps and
// nothing is cut at any parameter count.

#include <functional>
#include <string>
#include <vector>

#include "editor/Controls.h"
#include "toolkit/CView.h"

namespace vh {
class Plugin;
class PlotSource;
}  // namespace vh

namespace vh::editor {

class CModulePlot;

// How one module parameter is shown in a panel control: title, list size,
// and the conversions the control hands its values and typed text through.
struct ControlTexts {
    std::string title;
    std::string shortName;
    int steps = 0;
    int choices = 0;
    CModuleParam::ToText format;
    CModuleParam::ToValue parse;
};
ControlTexts controlTexts(Plugin* plugin, bool modulator, int slot, int index);

// The rectangles of a panel, relative to the panel.
struct PanelLayout {
    static constexpr double kRow = 10;
    static constexpr double kMargin = 2;
    static constexpr double kColumnGap = 6;

    struct Item {
        CRect rect;
        bool shortLabel = false;
    };
    CRect plot;  // empty when there is none
    std::vector<Item> items;
};

// Text widths, in characters, of one control: its title, short name and the
// widest value text it can show.
struct ControlWidths {
    int title = 0;
    int shortName = 0;
    int value = 0;
};

// Places a plot (preferring `plotHeight` pixels, never less than
// `minPlotHeight`) and one row per control. Controls that fit half the
// width, by title or else by short name, pair up in two columns when one
// column would not leave the plot its room; the others span the width.
PanelLayout layoutPanel(double width, double height, const std::vector<ControlWidths>& controls, bool hasPlot,
                        double plotHeight, double minPlotHeight);

class ModulePanel {
public:
    using Register = std::function<void(CControl*)>;

    // Builds the panel of the module in a slot into `panel` (already sized
    // and attached); returns its plot, or null when the module has none.
    static CModulePlot* build(toolkit::CViewContainer* panel, Plugin* plugin, bool modulator, int slot,
                              CControlListener* listener, CBitmap* font, const Register& registerControl);
};

// Every text box the panel's controls draw, in frame coordinates, for the
// values they show now (tests compare them for overlaps).
std::vector<CRect> panelTextBoxes(toolkit::CViewContainer* panel);

}  // namespace vh::editor
