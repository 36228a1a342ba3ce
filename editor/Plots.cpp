#include "editor/Plots.h"

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstring>

namespace vh::editor {

namespace {

constexpr double kInset = 2;

void setColour(cairo_t* cr, const toolkit::CColor& c) {
    cairo_set_source_rgb(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0);
}

// A horizontal or vertical grid line on pixel centres.
void gridLine(CDrawContext* context, double x0, double y0, double x1, double y1) {
    cairo_t* cr = context->getCairo();
    setColour(cr, kGrid);
    cairo_set_line_width(cr, 1);
    cairo_move_to(cr, std::floor(x0) + 0.5, std::floor(y0) + 0.5);
    cairo_line_to(cr, std::floor(x1) + 0.5, std::floor(y1) + 0.5);
    cairo_stroke(cr);
}

// Position of a value on an axis from `from` to `to` (either direction),
// mapped onto the pixel span a..b.
double along(double value, double from, double to, double a, double b) {
    return a + (value - from) / (to - from) * (b - a);
}

}  // namespace

// ---------------------------------------------------------------------------

CModulePlot::CModulePlot(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font)
    : CControl(size, listener, tag), mFont(font) {}

CRect CModulePlot::area() const {
    CRect r = mSize;
    return r.inset(kInset, kInset);
}

void CModulePlot::drawBackground(CDrawContext* context) const {
    context->setFillColor(kLight);
    context->setFrameColor(kDark);
    context->drawRect(mSize, toolkit::kDrawFilledAndStroked);
}

// ---------------------------------------------------------------------------

CCurvePlot::CCurvePlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font, PlotKind kind, double top,
                       double bottom)
    : CModulePlot(size, nullptr, -1, font), mLookup(std::move(lookup)), mKind(kind), mTop(top), mBottom(bottom) {
    setMouseEnabled(false);
}

int CCurvePlot::columns() const { return std::max(1, static_cast<int>(area().getWidth())); }

double CCurvePlot::frameX(double fraction) const {
    CRect a = getFrameRect().inset(kInset, kInset);
    return a.left + fraction * a.getWidth();
}

double CCurvePlot::frameY(double value) const {
    CRect a = getFrameRect().inset(kInset, kInset);
    return along(value, mTop, mBottom, a.top, a.bottom);
}

double CCurvePlot::xAt(double fraction) const {
    CRect a = area();
    return a.left + fraction * a.getWidth();
}

double CCurvePlot::yOf(double value) const {
    CRect a = area();
    return along(value, mTop, mBottom, a.top, a.bottom);
}

void CCurvePlot::horizontalLine(CDrawContext* context, double value) const {
    CRect a = area();
    gridLine(context, a.left, yOf(value), a.right, yOf(value));
}

void CCurvePlot::verticalLine(CDrawContext* context, double fraction) const {
    CRect a = area();
    gridLine(context, xAt(fraction), a.top, xAt(fraction), a.bottom);
}

void CCurvePlot::refresh() {
    PlotSource* source = mLookup ? mLookup() : nullptr;
    // Between a type change and the panel's rebuild the slot holds another
    // module; keep the last picture.
    if (!source || source->plotKind() != mKind) return;
    std::array<float, PlotSource::kMaxValues> values{};
    source->plotValues(values.data());
    float rate = source->plotSampleRate();
    bool moved = !mValid || values != mValues || rate != mSampleRate;
    if (animates(*source)) moved = true;
    if (!moved) return;
    mValues = values;
    mSampleRate = rate;
    mValid = true;
    compute(*source, mValues.data());
    setDirty();
}

void CCurvePlot::draw(CDrawContext* context) {
    drawBackground(context);
    CRect a = area();
    context->saveGlobalState();
    context->setClipRect(a);
    drawGrid(context);
    cairo_t* cr = context->getCairo();
    // The parts first, what the module puts out on top.
    for (int c = static_cast<int>(mCurves.size()) - 1; c >= 0; --c) {
        const auto& curve = mCurves[c];
        if (curve.empty()) continue;
        setColour(cr, c == 0 ? kDark : kSecondCurve);
        cairo_set_line_width(cr, c == 0 ? 1.5 : 1.0);
        for (size_t x = 0; x < curve.size(); ++x) {
            double y = std::clamp(yOf(curve[x]), a.top - 2, a.bottom + 2);
            double px = a.left + static_cast<double>(x) + 0.5;
            if (x == 0)
                cairo_move_to(cr, px, y);
            else
                cairo_line_to(cr, px, y);
        }
        cairo_stroke(cr);
    }
    drawOver(context);
    context->restoreGlobalState();
}

// ---------------------------------------------------------------------------

CResponsePlot::CResponsePlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font)
    : CCurvePlot(size, std::move(lookup), font, PlotKind::kResponse, kTopDb, kBottomDb) {}

void CResponsePlot::compute(const PlotSource& source, const float* values) {
    const int n = columns();
    std::vector<double> freqs(n);
    for (int x = 0; x < n; ++x) freqs[x] = kMinHz * std::pow(kMaxHz / kMinHz, (x + 0.5) / n);
    mCurves.resize(std::max(1, source.responseCurves()));
    std::vector<double*> out;
    for (auto& curve : mCurves) {
        curve.assign(n, kBottomDb);
        out.push_back(curve.data());
    }
    source.responseDb(values, freqs.data(), n, out.data());
}

void CResponsePlot::drawGrid(CDrawContext* context) const {
    for (double hz : {100.0, 1000.0, 10000.0}) verticalLine(context, fractionOf(hz));
    for (double db : {0.0, -24.0}) horizontalLine(context, db);
}

// ---------------------------------------------------------------------------

CTransferPlot::CTransferPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font, PlotKind kind, double low,
                             double high)
    : CCurvePlot(size, std::move(lookup), font, kind, high, low) {}

void CTransferPlot::compute(const PlotSource& source, const float* values) {
    const int n = columns();
    mCurves.assign(1, std::vector<double>(n));
    std::vector<double> inputs(n);
    for (int x = 0; x < n; ++x) inputs[x] = mBottom + (mTop - mBottom) * (x + 0.5) / n;
    source.transferCurve(values, inputs.data(), mCurves[0].data(), n);
}

void CTransferPlot::drawGrid(CDrawContext* context) const {
    verticalLine(context, 0.5);
    horizontalLine(context, 0.5 * (mTop + mBottom));
}

void CDynamicsPlot::drawGrid(CDrawContext* context) const {
    CRect a = area();
    // The unity line: what passes untouched.
    gridLine(context, a.left, a.bottom, a.right, a.top);
    for (double db : {-20.0, -40.0}) {
        verticalLine(context, (db - kMinDb) / (kMaxDb - kMinDb));
        horizontalLine(context, db);
    }
}

// ---------------------------------------------------------------------------

// A little room above and below the full swing, so its flat tops show.
CWaveformPlot::CWaveformPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font)
    : CCurvePlot(size, std::move(lookup), font, PlotKind::kWaveform, 1.05, -1.05) {}

bool CWaveformPlot::animates(const PlotSource& source) {
    double phase = source.plotPhase();
    if (std::floor(phase * columns()) == std::floor(mPhase * columns())) return false;
    mPhase = phase;
    return true;
}

void CWaveformPlot::compute(const PlotSource& source, const float* values) {
    const int n = columns();
    mCurves.assign(2, std::vector<double>(n));
    for (int c = 0; c < 2; ++c)
        for (int x = 0; x < n; ++x) mCurves[c][x] = source.waveformAt(values, (x + 0.5) / n, c);
}

void CWaveformPlot::drawGrid(CDrawContext* context) const { horizontalLine(context, 0.0); }

void CWaveformPlot::drawOver(CDrawContext* context) const {
    CRect a = area();
    double x = std::floor(xAt(mPhase));
    context->setFillColor(kMark);
    context->fillRect(CRect(x, a.top, x + 1, a.bottom));
}

// ---------------------------------------------------------------------------

CHistoryPlot::CHistoryPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font)
    : CCurvePlot(size, std::move(lookup), font, PlotKind::kHistory, 1.03, -0.03) {}

bool CHistoryPlot::animates(const PlotSource& source) {
    const PlotHistory* history = source.plotHistory();
    unsigned written = history ? history->written() : 0;
    if (written == mWritten) return false;
    mWritten = written;
    return true;
}

void CHistoryPlot::compute(const PlotSource& source, const float*) {
    const int n = columns();
    mCurves.assign(2, std::vector<double>(n, 0.0));
    const PlotHistory* history = source.plotHistory();
    if (!history) return;
    for (int c = 0; c < 2; ++c)
        for (int x = 0; x < n && x < PlotHistory::kSize; ++x) mCurves[c][n - 1 - x] = history->at(c, x);
}

void CHistoryPlot::drawGrid(CDrawContext* context) const { horizontalLine(context, 0.5); }

// ---------------------------------------------------------------------------

// Gains of -1 .. 1 around the middle line.
CTapsPlot::CTapsPlot(const CRect& size, PlotSourceLookup lookup, CBitmap* font)
    : CCurvePlot(size, std::move(lookup), font, PlotKind::kTaps, 1.0, -1.0) {}

void CTapsPlot::compute(const PlotSource& source, const float* values) {
    mCurves.clear();
    mTaps.assign(kMaxTaps, DelayTap{});
    mTaps.resize(static_cast<size_t>(std::max(0, source.delayTaps(values, mTaps.data(), kMaxTaps))));
    // A span that shows the first echoes: the next 250 ms step above the
    // latest of the first eight.
    double last = 0;
    for (size_t i = 0; i < mTaps.size() && i < 8; ++i) last = std::max(last, static_cast<double>(mTaps[i].timeMs));
    mSpanMs = std::max(250.0, std::ceil(last * 1.1 / 250.0) * 250.0);
}

void CTapsPlot::drawGrid(CDrawContext* context) const {
    horizontalLine(context, 0.0);
    for (double ms = 250; ms < mSpanMs; ms += 250) verticalLine(context, ms / mSpanMs);
}

void CTapsPlot::drawOver(CDrawContext* context) const {
    const double mid = std::floor(yOf(0.0));
    for (const DelayTap& tap : mTaps) {
        if (tap.timeMs > mSpanMs) continue;
        double x = std::floor(xAt(tap.timeMs / mSpanMs * 0.99));
        double h = std::floor(mid - yOf(std::min(1.0, std::fabs(static_cast<double>(tap.gain)))));
        context->setFillColor(tap.channel == 0 ? kDark : kSecondCurve);
        if (tap.channel == 0)
            context->fillRect(CRect(x, mid - h, x + 2, mid));
        else
            context->fillRect(CRect(x, mid + 1, x + 2, mid + 1 + h));
    }
}

// ---------------------------------------------------------------------------

CModulePlot* createModulePlot(const char* typeName, const CRect& size, PlotSourceLookup lookup, CBitmap* font) {
    const std::string t = typeName ? typeName : "";
    if (t == "BIQUAD") return new CBiquadPlot(size, std::move(lookup), font);
    if (t == "SVF") return new CSVFPlot(size, std::move(lookup), font);
    if (t == "MOOG") return new CMoogPlot(size, std::move(lookup), font);
    if (t == "COMB") return new CCombPlot(size, std::move(lookup), font);
    if (t == "EQ") return new CEQPlot(size, std::move(lookup), font);
    if (t == "PHASER") return new CPhaserPlot(size, std::move(lookup), font);
    if (t == "FORMANT") return new CFormantPlot(size, std::move(lookup), font);
    if (t == "DISTORTION") return new CDistortionPlot(size, std::move(lookup), font);
    if (t == "COMP/EXP") return new CCompExpPlot(size, std::move(lookup), font);
    if (t == "LFO") return new CLFOPlot(size, std::move(lookup), font);
    if (t == "ENV") return new CENVPlot(size, std::move(lookup), font);
    if (t == "ADSR") return new CADSRPlot(size, std::move(lookup), font);
    if (t == "DELAY") return new CDelayPlot(size, std::move(lookup), font);
    return nullptr;
}

}  // namespace vh::editor
