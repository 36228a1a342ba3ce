#pragma once
// The modules' plots. Each asks its module for what to draw through the
// module's plain plot functions (response at a frequency, transfer curve,
// waveform at a phase, recent output) and only draws: no module's maths is
// repeated here. A plot re-reads its module at every idle step and redraws
// only when something it shows has moved.

#include <array>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "editor/Controls.h"
#include "modules/PlotSource.h"

namespace vh::editor {

// Where a plot finds its module: looked up afresh each time, because the
// engine replaces a module when its slot's type changes.
using PlotSourceLookup = std::function<PlotSource*()>;

inline constexpr toolkit::CColor kGrid{180, 188, 194};
inline constexpr toolkit::CColor kSecondCurve{120, 130, 134};

class CModulePlot : public CControl {
public:
    CModulePlot(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font);
    // Called at every idle step.
    virtual void refresh() = 0;
    // The drawing area inside the frame, in the plot's own coordinates.
    CRect area() const;

protected:
    void drawBackground(CDrawContext* context) const;
    CBitmap* mFont;
};

// A plot of one or more curves over the columns of its area, recomputed
// when the module's values (or sample rate) change. Values run from
// `top` at the area's top to `bottom` at its bottom.
class CCurvePlot : public CModulePlot {
public:
    CCurvePlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font, PlotKind kind, double top, double bottom);
    void refresh() override;
    void draw(CDrawContext* context) override;
    const std::vector<double>& curve(int i) const { return mCurves[i]; }
    // Window coordinates of a fraction 0..1 of the width and of a value.
    double frameX(double fraction) const;
    double frameY(double value) const;

protected:
    // Fills mCurves (one value per column) from the module.
    virtual void compute(const PlotSource& source, const float* values) = 0;
    // Something moved that is not a parameter (a phase, a history).
    virtual bool animates(const PlotSource& /*source*/) { return false; }
    virtual void drawGrid(CDrawContext* context) const = 0;
    virtual void drawOver(CDrawContext* /*context*/) const {}
    int columns() const;
    // The same in the coordinates drawing uses.
    double xAt(double fraction) const;
    double yOf(double value) const;
    void horizontalLine(CDrawContext* context, double value) const;
    void verticalLine(CDrawContext* context, double fraction) const;

    PlotSourceLookup mLookup;
    PlotKind mKind;
    double mTop, mBottom;
    std::array<float, PlotSource::kMaxValues> mValues{};
    float mSampleRate = 0;
    bool mValid = false;
    std::vector<std::vector<double>> mCurves;
};

// Magnitude response, 20 Hz .. 20 kHz on a log axis, +24 .. -48 dB.
class CResponsePlot : public CCurvePlot {
public:
    static constexpr double kMinHz = 20, kMaxHz = 20000;
    static constexpr double kTopDb = 24, kBottomDb = -48;
    CResponsePlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font);
    double xOfFrequency(double hz) const { return frameX(fractionOf(hz)); }
    double yOfDb(double db) const { return frameY(db); }

protected:
    static double fractionOf(double hz) { return std::log(hz / kMinHz) / std::log(kMaxHz / kMinHz); }
    void compute(const PlotSource& source, const float* values) override;
    void drawGrid(CDrawContext* context) const override;
};

// Output against input over the same range on both axes: samples -1 .. 1
// (the waveshaper) or levels -60 .. 0 dB (the compressor).
class CTransferPlot : public CCurvePlot {
public:
    CTransferPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font, PlotKind kind = PlotKind::kTransfer,
                  double low = -1, double high = 1);
    double xOfInput(double x) const { return frameX((x - mBottom) / (mTop - mBottom)); }
    double yOfOutput(double y) const { return frameY(y); }

protected:
    void compute(const PlotSource& source, const float* values) override;
    void drawGrid(CDrawContext* context) const override;
};

class CDynamicsPlot : public CTransferPlot {
public:
    static constexpr double kMinDb = -60, kMaxDb = 0;
    CDynamicsPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font)
        : CTransferPlot(size, std::move(lookup), font, PlotKind::kDynamics, kMinDb, kMaxDb) {}
    double xOfDb(double db) const { return xOfInput(db); }
    double yOfDb(double db) const { return frameY(db); }

protected:
    void drawGrid(CDrawContext* context) const override;
};

// One cycle of both channels, with a marker where the module is now.
class CWaveformPlot : public CCurvePlot {
public:
    CWaveformPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font);

protected:
    void compute(const PlotSource& source, const float* values) override;
    bool animates(const PlotSource& source) override;
    void drawGrid(CDrawContext* context) const override;
    void drawOver(CDrawContext* context) const override;
    double mPhase = 0;
};

// Recent output of both channels, one point per column, newest at the right.
class CHistoryPlot : public CCurvePlot {
public:
    CHistoryPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font);

protected:
    void compute(const PlotSource& source, const float* values) override;
    bool animates(const PlotSource& source) override;
    void drawGrid(CDrawContext* context) const override;
    unsigned mWritten = ~0u;
};

// Echoes of an impulse: a bar per tap, left channel up, right down, over
// the time axis.
class CTapsPlot : public CCurvePlot {
public:
    static constexpr int kMaxTaps = 32;
    CTapsPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font);

protected:
    void compute(const PlotSource& source, const float* values) override;
    void drawGrid(CDrawContext* context) const override;
    void drawOver(CDrawContext* context) const override;
    std::vector<DelayTap> mTaps;
    double mSpanMs = 1000;
};

// The modules' own plots, each drawn by the kind its module describes.
class CBiquadPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CSVFPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CMoogPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CCombPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CEQPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CPhaserPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CFormantPlot final : public CResponsePlot { using CResponsePlot::CResponsePlot; };
class CDistortionPlot final : public CTransferPlot { using CTransferPlot::CTransferPlot; };
class CCompExpPlot final : public CDynamicsPlot { using CDynamicsPlot::CDynamicsPlot; };
class CLFOPlot final : public CWaveformPlot { using CWaveformPlot::CWaveformPlot; };
class CENVPlot final : public CHistoryPlot { using CHistoryPlot::CHistoryPlot; };
class CADSRPlot final : public CHistoryPlot { using CHistoryPlot::CHistoryPlot; };
class CDelayPlot final : public CTapsPlot { using CTapsPlot::CTapsPlot; };

// The plot of a module type (by its type label), or null when it has none.
CModulePlot* createModulePlot(const char* typeName, const CRect& size, PlotSourceLookup lookup, CBitmap* font);

}  // namespace vh::editor
