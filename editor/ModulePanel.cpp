#include "editor/ModulePanel.h"

#include <algorithm>
#include <cmath>

#include "editor/Plots.h"
#include "editor/StepPlot.h"
#include "modules/ParameterLayout.h"
#include "engine/Plugin.h"
#include "modulators/STEP.h"

namespace vh::editor {

using toolkit::CViewContainer;

namespace {

// The module in a slot, looked up afresh on every call: the engine replaces
// a module when its type changes and the panel follows only at the next
// idle step.
template <typename Fn>
auto withModule(Plugin* plugin, bool modulator, int slot, Fn&& fn) {
    if (modulator) {
        Modulator* m = plugin->getModulator(slot);
        return m ? fn(*m) : decltype(fn(*m))();
    }
    Operator* o = plugin->getOperator(slot);
    return o ? fn(*o) : decltype(fn(*o))();
}

int characters(const std::string& text) { return static_cast<int>(text.size()); }

// The widest value text a control can show: every state of a list, or the
// continuous range sampled finely enough to meet its longest texts.
// Every unit a switch of the module may select is measured, so a text still
// fits after the switch moves.
int widestValue(const ControlTexts& texts) {
    int widest = 0;
    for (int mode = 1; mode <= texts.modes; ++mode) {
        if (texts.steps > 0) {
            for (int s = 0; s < texts.steps; ++s)
                widest = std::max(widest, characters(texts.format(discreteValue(s, texts.steps), mode)));
            continue;
        }
        constexpr int kSamples = 200;
        for (int i = 0; i <= kSamples; ++i)
            widest = std::max(widest, characters(texts.format(static_cast<float>(i) / kSamples, mode)));
    }
    return widest;
}

// Characters a row of `width` pixels holds with a space between label and value.
int fits(double width) { return static_cast<int>(std::floor((width - 2) / 6.0)); }

CModulePlot* createPlot(const CRect& rect, Plugin* plugin, bool modulator, int slot, CControlListener* listener,
                        CBitmap* font) {
    PlotSourceLookup lookup = [plugin, modulator, slot]() -> PlotSource* {
        return modulator ? static_cast<PlotSource*>(plugin->getModulator(slot))
                         : static_cast<PlotSource*>(plugin->getOperator(slot));
    };
    PlotSource* source = lookup();
    if (!source) return nullptr;
    if (source->plotKind() == PlotKind::kSteps)
        return new CSTEPPlot(rect, listener, param::modParam(slot, 0), [plugin, slot] { return dynamic_cast<STEP*>(plugin->getModulator(slot)); },
                             font);
    char type[kTextSize] = {};
    withModule(plugin, modulator, slot, [&](auto& m) {
        m.getTypeName(type);
        return 0;
    });
    return createModulePlot(type, rect, lookup, font);
}

}  // namespace

ControlTexts controlTexts(Plugin* plugin, bool modulator, int slot, int i) {
    ControlTexts texts;
    char title[kTextSize] = {}, name[kTextSize] = {};
    withModule(plugin, modulator, slot, [&](auto& m) {
        m.getParameterTitle(i, title);
        m.getParameterName(i, name);
        texts.steps = m.getParameterSteps(i);
        texts.choices = m.getParameterChoices(i);
        int textSwitch = m.getParameterTextSwitch(i);
        texts.modes = textSwitch >= 0 ? std::max(1, m.getParameterSteps(textSwitch)) : 1;
        return 0;
    });
    texts.shortName = name;
    texts.title = title[0] ? title : name;
    // The unit of a text may follow another parameter of the module (a rate
    // in Hz or as a note length): it is asked for at every use, so a text
    // drawn or typed after the switch moved is in the new unit. A mode above
    // 0 asks for mode - 1 whatever the switch says (the layout measures them
    // all).
    auto modeOf = [i](auto& m, int mode) { return mode > 0 ? mode - 1 : m.editorMode(i); };
    texts.format = [plugin, modulator, slot, i, modeOf](float v, int mode) {
        char text[kTextSize] = {};
        withModule(plugin, modulator, slot, [&](auto& m) {
            m.formatEditorValue(i, v, text, modeOf(m, mode));
            return 0;
        });
        return std::string(text);
    };
    texts.parse = [plugin, modulator, slot, i, modeOf](const std::string& text, float& v, int mode) {
        return withModule(plugin, modulator, slot,
                          [&](auto& m) { return m.parseEditorValue(i, text.c_str(), v, modeOf(m, mode)); });
    };
    return texts;
}

PanelLayout layoutPanel(double width, double height, const std::vector<ControlWidths>& controls, bool hasPlot,
                        double plotHeight, double minPlotHeight) {
    using L = PanelLayout;
    PanelLayout layout;
    const double inner = width - 2 * L::kMargin;
    const double half = std::floor((inner - L::kColumnGap) / 2);
    const int n = static_cast<int>(controls.size());
    auto rowsHeight = [](int rows) { return rows > 0 ? rows * L::kRow + 2 * L::kMargin : 0.0; };
    const double plotRoom = hasPlot ? minPlotHeight : 0;

    // One column while it leaves the plot its room and every text fits.
    bool oneColumn = rowsHeight(n) + plotRoom <= height;
    for (const auto& c : controls)
        if (c.title + 1 + c.value > fits(inner)) oneColumn = false;

    struct Placed {
        bool full;
        bool shortLabel;
    };
    std::vector<Placed> placed(n);
    int rows = 0;
    if (oneColumn) {
        for (auto& p : placed) p = {true, false};
        rows = n;
    } else {
        // Pair the controls whose text fits half a row, in order; the others
        // take a whole row.
        int pending = 0;
        for (int i = 0; i < n; ++i) {
            const auto& c = controls[i];
            if (c.title + 1 + c.value <= fits(half))
                placed[i] = {false, false};
            else if (c.shortName + 1 + c.value <= fits(half))
                placed[i] = {false, true};
            else
                placed[i] = {true, c.title + 1 + c.value > fits(inner)};
            if (placed[i].full) {
                if (pending) ++rows, pending = 0;
                ++rows;
            } else if (++pending == 2) {
                ++rows, pending = 0;
            }
        }
        if (pending) ++rows;
    }

    double controlsHeight = rowsHeight(rows);
    double top = 0;
    if (hasPlot) {
        double h = std::clamp(height - controlsHeight, 0.0, plotHeight);
        layout.plot = CRect(L::kMargin, L::kMargin, width - L::kMargin, h);
        top = h;
    }
    // Controls sit at the bottom of what the plot leaves, or at the top of a
    // panel without a plot.
    double y = top + L::kMargin;
    int column = 0;
    for (int i = 0; i < n; ++i) {
        if (placed[i].full) {
            if (column) y += L::kRow, column = 0;
            layout.items.push_back({CRect(L::kMargin, y, width - L::kMargin, y + L::kRow), placed[i].shortLabel});
            y += L::kRow;
            continue;
        }
        double left = L::kMargin + column * (half + L::kColumnGap);
        layout.items.push_back({CRect(left, y, left + half, y + L::kRow), placed[i].shortLabel});
        if (++column == 2) y += L::kRow, column = 0;
    }
    return layout;
}

CModulePlot* ModulePanel::build(CViewContainer* panel, Plugin* plugin, bool modulator, int slot,
                                CControlListener* listener, CBitmap* font, const Register& registerControl) {
    const double width = panel->getWidth(), height = panel->getHeight();
    PlotSource* source = modulator ? static_cast<PlotSource*>(plugin->getModulator(slot))
                                   : static_cast<PlotSource*>(plugin->getOperator(slot));
    const int count = withModule(plugin, modulator, slot, [](auto& m) { return m.getNumParameters(); });
    const bool hasPlot = source && source->plotKind() != PlotKind::kNone;

    std::vector<int> indices;
    std::vector<ControlTexts> texts;
    std::vector<ControlWidths> widths;
    for (int i = 0; i < count; ++i) {
        if (source && source->isPlotParameter(i)) continue;
        ControlTexts t = controlTexts(plugin, modulator, slot, i);
        widths.push_back({characters(t.title), characters(t.shortName), widestValue(t)});
        indices.push_back(i);
        texts.push_back(std::move(t));
    }
    const double plotHeight = source && source->plotKind() == PlotKind::kSteps ? CSTEPPlot::kHeight : height;
    const double minPlotHeight = source && source->plotKind() == PlotKind::kSteps ? CSTEPPlot::kHeight : 60;
    PanelLayout layout = layoutPanel(width, height, widths, hasPlot, plotHeight, minPlotHeight);

    CModulePlot* plot = nullptr;
    if (hasPlot && !layout.plot.isEmpty()) {
        plot = createPlot(layout.plot, plugin, modulator, slot, listener, font);
        if (plot) panel->addView(plot);
    }
    for (size_t k = 0; k < indices.size(); ++k) {
        const int i = indices[k];
        const int global = modulator ? param::modParam(slot, i) : param::opParam(slot, i);
        ControlTexts& t = texts[k];
        const std::string& label = layout.items[k].shortLabel ? t.shortName : t.title;
        const CRect& r = layout.items[k].rect;
        CControl* control;
        if (t.steps > 0) {
            auto* d = new CModuleParamDiscreet(r, listener, global, font, t.steps, t.choices,
                                               [format = t.format, steps = t.steps](int state) {
                                                   return format(discreteValue(state, steps), 0);
                                               });
            d->setLabel(label);
            control = d;
        } else {
            control = new CModuleParam(r, listener, global, font, label, t.format, t.parse);
        }
        control->setValue(plugin->getParameter(global));
        panel->addView(control);
        registerControl(control);
    }
    if (count == 0)
        panel->addView(new CModuleText(CRect(0, 70, width, 80), font, "no parameters", CModuleText::kCentre));
    return plot;
}

std::vector<CRect> panelTextBoxes(CViewContainer* panel) {
    std::vector<CRect> boxes;
    // The controls print their label from the left edge and their value up
    // to the right edge, on the row's baseline (glyph rows baseline - 7 ..
    // baseline).
    auto add = [&](const CRect& r, const std::string& label, const std::string& value) {
        CRect frame = r;
        CPoint offset = panel->getFrameRect().getTopLeft();
        frame.offset(offset.x, offset.y);
        double baseline = frame.bottom - 2;
        if (!label.empty())
            boxes.emplace_back(frame.left + 1, baseline - 7, frame.left + 1 + 6.0 * label.size() - 1, baseline + 1);
        if (!value.empty())
            boxes.emplace_back(frame.right - 6.0 * value.size(), baseline - 7, frame.right - 1, baseline + 1);
    };
    for (int i = 0; i < panel->getNbViews(); ++i) {
        toolkit::CView* v = panel->getView(i);
        if (auto* p = dynamic_cast<CModuleParam*>(v))
            add(p->getViewSize(), p->getLabel(), p->valueText());
        else if (auto* d = dynamic_cast<CModuleParamDiscreet*>(v))
            add(d->getViewSize(), d->getLabel(), d->displayText());
    }
    return boxes;
}

}  // namespace vh::editor
