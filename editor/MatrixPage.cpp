#include "editor/MatrixPage.h"

#include <algorithm>
#include <cmath>

#include "engine/Plugin.h"
#include "modules/Conversions.h"
#include "toolkit/CFrame.h"

namespace vh::editor {

using toolkit::CViewContainer;
using toolkit::kMouseDownEventHandledButDontNeedMovedOrUpEvents;
using toolkit::kMouseEventHandled;
using toolkit::kMouseEventNotHandled;

namespace {
constexpr int kMaskSteps = 256;      // OP_LR_MS: four input bits, four output bits
constexpr int kPolaritySteps = 16;   // OP_Inv: one bit per operator
constexpr double kGainFloorDb = -100.0;
constexpr int kShownFloorDb = -99;   // three characters wide

double textWidth(const std::string& text) { return 6.0 * static_cast<double>(text.size()); }

// Text centred in r, on the baseline the 13-pixel cells use.
void printCentred(CDrawContext* context, CBitmap* font, const CRect& r, const std::string& text, bool highlighted,
                  bool marked = false) {
    double x = std::floor(r.getCenter().x - textWidth(text) / 2);
    double y = std::floor(r.getCenter().y) + 4;
    CTextPrinter::print(context, font, x, y, text.c_str(), false, highlighted, marked);
}

void drawBox(CDrawContext* context, const CRect& r, bool lit) {
    context->setFillColor(lit ? kDark : kLight);
    context->setFrameColor(kDark);
    context->setLineWidth(1);
    context->drawRect(r, toolkit::kDrawFilledAndStroked);
}
}  // namespace

// --- conversions --------------------------------------------------------------

std::string routingGainText(float v) {
    if (static_cast<int>(v * 101.0f) == 0) return "-oo";
    double db = std::trunc(20.0 * std::log10(double(v) * double(v)));
    char text[kTextSize];
    VH_TEXT(text, "%3d", std::max(kShownFloorDb, static_cast<int>(db)));
    return text;
}

bool routingGainFromText(const std::string& text, float& v) {
    if (isMinusInfinityText(text.c_str())) {
        v = 0;
        return true;
    }
    double db;
    if (!parseNumber(text.c_str(), db) || !std::isfinite(db)) return false;
    // The matrix only attenuates: 0 dB is its top.
    db = std::min(db, 0.0);
    v = db <= kGainFloorDb ? 0.0f : static_cast<float>(std::sqrt(std::pow(10.0, db / 20.0)));
    return true;
}

std::string dryDelayText(int delaySamples, double rateHz) {
    char text[kTextSize];
    VH_TEXT(text, "DLY %d (%.1fms)", delaySamples, rateHz > 0 ? 1000.0 * delaySamples / rateHz : 0.0);
    return text;
}

bool dryDelaySamplesFromText(const std::string& text, int& samples) {
    double typed;
    if (!parseNumber(text.c_str(), typed) || !std::isfinite(typed)) return false;
    samples = static_cast<int>(std::clamp(std::trunc(typed), 0.0, 1e6));
    return true;
}

// --- tabs ---------------------------------------------------------------------

CMatrixPage::CMatrixPage(const CRect& size, CControlListener* listener, CBitmap* font)
    : CControl(size, listener, tag::kMatrixView), mFont(font) {}

int CMatrixPage::getView() const { return discreteIndex(getValue(), 2); }

void CMatrixPage::draw(CDrawContext* context) {
    context->setFillColor(kLight);
    context->fillRect(mSize);
    static const char* const kNames[2] = {"CONNECTIONS", "CONFIGURATION"};
    double centre = mSize.getCenter().x;
    for (int view = 0; view < 2; ++view) {
        CRect half(view == 0 ? mSize.left : centre + kRightOfCentre, mSize.top,
                   view == 0 ? centre - kLeftOfCentre : mSize.right, mSize.bottom - 2);
        printCentred(context, mFont, half, kNames[view], view == getView());
    }
    context->setFrameColor(kDark);
    context->drawLine(CPoint(std::floor(centre) + 1, mSize.top + 2), CPoint(std::floor(centre) + 1, mSize.bottom - 3));
    context->drawLine(CPoint(mSize.left + 2, mSize.bottom - 1), CPoint(mSize.right - 3, mSize.bottom - 1));
}

CMouseEventResult CMatrixPage::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    double centre = mSize.getCenter().x;
    int view = where.x < centre - kLeftOfCentre ? 0 : where.x > centre + kRightOfCentre ? 1 : -1;
    if (view >= 0 && view != getView()) setValueAndNotify(discreteValue(view, 2));
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// --- gain cells -----------------------------------------------------------------

CMatrixConn::CMatrixConn(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font)
    : CModuleParam(size, listener, tag, font, "", [](float v, int) { return routingGainText(v); },
                   [](const std::string& text, float& v, int) { return routingGainFromText(text, v); }) {}

void CMatrixConn::drawCell(CDrawContext* context, const std::string& text) {
    if (isTextEditing()) {
        drawEditField(context);
        return;
    }
    // A connection that passes signal is lit, so the routing reads at a glance.
    bool lit = static_cast<int>(getValue() * 101.0f) > 0;
    drawBox(context, mSize, lit);
    if (!text.empty()) printCentred(context, mFont, mSize, text, lit);
}

void CMatrixConn::draw(CDrawContext* context) { drawCell(context, shownText()); }

CMatrixConnOP::CMatrixConnOP(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, int op)
    : CMatrixConn(size, listener, tag, font), mOp(op) {}

void CMatrixConnOP::setBypassed(bool on) {
    if (on == mBypassed) return;
    mBypassed = on;
    setDirty();
}

void CMatrixConnOP::setPulse(int pulse) {
    if (pulse == mPulse) return;
    mPulse = pulse;
    // Blinking, and the redraws that bring the name back after an edit.
    if (mBypassed || mValueRedraws > 0) setDirty();
}

std::string CMatrixConnOP::shownText() const {
    if (mValueRedraws > 0 || mDrag.isActive()) return valueText();
    if (mBypassed && (mPulse < 5 || mPulse >= 15)) return "";
    char text[kTextSize];
    VH_TEXT(text, "OP%d", mOp + 1);
    return text;
}

void CMatrixConnOP::draw(CDrawContext* context) {
    drawCell(context, shownText());
    if (mValueRedraws > 0 && !mDrag.isActive()) --mValueRedraws;
}

void CMatrixConnOP::showValue() {
    mValueRedraws = kValueRedraws;
    setDirty();
}

CMouseEventResult CMatrixConnOP::onMouseMoved(CPoint& where, const CButtonState& buttons) {
    float before = getValue();
    CMouseEventResult result = CMatrixConn::onMouseMoved(where, buttons);
    if (getValue() != before) showValue();
    return result;
}

bool CMatrixConnOP::onWheel(const CPoint& where, float distance, const CButtonState& buttons) {
    bool handled = CMatrixConn::onWheel(where, distance, buttons);
    showValue();
    return handled;
}

// --- dry delay ------------------------------------------------------------------

CDryDly::CDryDly(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, Plugin* plugin)
    : CModuleParam(
          size, listener, tag, font, "",
          [plugin](float v, int) { return dryDelayText(plugin->dryDelaySamples(v), plugin->getSampleRate()); },
          [plugin](const std::string& text, float& v, int) {
              int samples;
              if (!dryDelaySamplesFromText(text, samples)) return false;
              v = plugin->dryDelayValue(samples);
              return true;
          }),
      mPlugin(plugin) {
    // Thousands of samples: the fine drag moves about one sample a pixel.
    mDrag.setRanges(400, 8000);
}

void CDryDly::draw(CDrawContext* context) {
    if (isTextEditing()) {
        drawEditField(context);
        return;
    }
    drawBox(context, mSize, false);
    printCentred(context, mFont, mSize, valueText(), false);
}

// --- predefined routings ------------------------------------------------------

int currentPredefinedRouting(Plugin* plugin) {
    for (int r = 0; r < kNumPredefinedRoutings; ++r) {
        const PredefinedRouting* routing = predefinedRouting(r);
        bool same = true;
        for (int g = 0; g < kNumRoutingGains && same; ++g)
            same = std::fabs(plugin->getParameter(param::kInToOp1 + g) - routing->gain(g)) < 1e-4f;
        if (same) return r;
    }
    return -1;
}

CMatrixCaption::CMatrixCaption(const CRect& size, CControlListener* listener, CBitmap* font, Plugin* plugin)
    : CControl(size, listener, tag::kPredefinedRouting), mFont(font), mPlugin(plugin) {}

CMatrixCaption::~CMatrixCaption() { closeChooser(); }

void CMatrixCaption::draw(CDrawContext* context) {
    drawBox(context, mSize, true);
    printCentred(context, mFont, mSize, "PREDEFINED ROUTINGS", true);
}

CMouseEventResult CMatrixCaption::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    toolkit::CFrame* frame = getFrame();
    if (!frame || mChooser) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    mChooser = new CRoutingChooser(frame->getViewSize(), this, mFont, mPlugin);
    mChooser->remember();  // the caption keeps its own reference while open
    frame->addView(mChooser);
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CMatrixCaption::closeChooser() {
    if (!mChooser) return;
    CRoutingChooser* chooser = mChooser;
    mChooser = nullptr;
    if (CViewContainer* parent = chooser->getParentView()) parent->removeView(chooser, true);
    chooser->forget();
}

void CMatrixCaption::choose(int routing) {
    beginEdit();
    setValue(discreteValue(routing, kNumPredefinedRoutings));
    valueChanged();
    endEdit();
    closeChooser();
}

bool CMatrixCaption::removed(CViewContainer* parent) {
    closeChooser();
    return CControl::removed(parent);
}

// The box lies over the page and reaches down over the main section: three
// rows of pictures need the height.
CRoutingChooser::CRoutingChooser(const CRect& frameSize, CMatrixCaption* owner, CBitmap* font, Plugin* plugin)
    : CView(frameSize),
      mOwner(owner),
      mFont(font),
      mPlugin(plugin),
      mBox(307, 43, 524, 332),
      mGrid(309, 57, 309 + 2 * kColumnWidth, 57 + 3 * 91) {
    int current = currentPredefinedRouting(plugin);
    mPage = current >= kPerPage ? 1 : 0;
}

void CRoutingChooser::setPage(int page) {
    page = std::clamp(page, 0, 1);
    if (page == mPage) return;
    mPage = page;
    setDirty();
}

CRect CRoutingChooser::previousPageRect() const { return CRect(mGrid.right + 2, mGrid.top, mBox.right - 2, mGrid.top + 44); }

CRect CRoutingChooser::nextPageRect() const {
    return CRect(mGrid.right + 2, mGrid.bottom - 44, mBox.right - 2, mGrid.bottom);
}

int CRoutingChooser::entryAt(const CPoint& where) const {
    if (!mGrid.pointInside(where)) return -1;
    int column = where.x - mGrid.left > kColumnWidth ? 1 : 0;
    int row = std::clamp(static_cast<int>(std::floor((where.y - mGrid.top) * 3 / mGrid.getHeight())), 0, 2);
    int entry = row * 2 + column + mPage * kPerPage;
    return entry < kNumPredefinedRoutings ? entry : -1;
}

CRect CRoutingChooser::entryRect(int slot) const {
    double rowHeight = mGrid.getHeight() / 3;
    double left = mGrid.left + (slot % 2) * kColumnWidth, top = mGrid.top + (slot / 2) * rowHeight;
    return CRect(left, top, left + kColumnWidth, top + rowHeight);
}

void CRoutingChooser::draw(CDrawContext* context) {
    context->setFillColor(kLight);
    context->setFrameColor(kDark);
    context->setLineWidth(1);
    context->drawRect(mBox, toolkit::kDrawFilledAndStroked);
    printCentred(context, mFont, CRect(mBox.left, mBox.top + 1, mBox.right, mBox.top + 13), "PREDEFINED ROUTINGS",
                 true);

    int current = currentPredefinedRouting(mPlugin);
    for (int slot = 0; slot < kPerPage; ++slot) {
        int entry = slot + mPage * kPerPage;
        if (entry >= kNumPredefinedRoutings) break;
        CRect cell = entryRect(slot);
        cell.inset(2, 2);
        bool chosen = entry == current;
        context->setFrameColor(chosen ? kMark : kDark);
        context->setLineWidth(chosen ? 2 : 1);
        context->drawRect(cell);
        context->setLineWidth(1);
        char number[kTextSize];
        VH_TEXT(number, "%d", entry + 1);
        CTextPrinter::print(context, mFont, cell.left + 3, cell.top + 10, number, false, false, chosen);
        CRect area = cell;
        area.inset(4, 3);
        drawRoutingPicture(context, mFont, layoutRouting(*predefinedRouting(entry), area));
    }

    // Page arrows: the one leading nowhere is hollow.
    auto arrow = [&](const CRect& r, bool up, bool enabled) {
        CPoint c = r.getCenter();
        double tip = up ? -6 : 6;
        std::vector<CPoint> points = {CPoint(c.x - 7, c.y - tip / 2), CPoint(c.x + 7, c.y - tip / 2),
                                      CPoint(c.x, c.y + tip)};
        context->setFillColor(kDark);
        context->setFrameColor(kDark);
        context->drawPolygon(points, enabled ? toolkit::kDrawFilledAndStroked : toolkit::kDrawStroked);
    };
    arrow(previousPageRect(), true, mPage == 1);
    arrow(nextPageRect(), false, mPage == 0);
    char page[kTextSize];
    VH_TEXT(page, "%d/2", mPage + 1);
    CRect strip(mGrid.right + 2, mGrid.top, mBox.right - 2, mGrid.bottom);
    printCentred(context, mFont, strip, page, false);
}

CMouseEventResult CRoutingChooser::onMouseDown(CPoint& where, const CButtonState& buttons) {
    CMatrixCaption* owner = mOwner;
    if (!mBox.pointInside(where)) {
        owner->closeChooser();
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    if (!buttons.isLeftButton()) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    if (previousPageRect().pointInside(where)) {
        setPage(0);
    } else if (nextPageRect().pointInside(where)) {
        setPage(1);
    } else {
        int entry = entryAt(where);
        if (entry >= 0) owner->choose(entry);
    }
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// --- routing pictures -----------------------------------------------------------

RoutingPicture layoutRouting(const PredefinedRouting& routing, const CRect& area) {
    constexpr int kOps = kNumOperatorSlots;
    constexpr double kMinGap = 18;  // between operator boxes of one level
    constexpr double kMaxPitch = 22;
    RoutingPicture picture;

    // Level of an operator: one below the lowest operator feeding it. Four
    // passes settle a chain of four; a loop stops at the bottom level.
    int level[kOps] = {};
    for (int op = 0; op < kOps; ++op) {
        bool used = routing.input(op) || routing.output(op);
        for (int other = 0; other < kOps; ++other) used = used || routing.link(op, other) || routing.link(other, op);
        picture.used[op] = used;
        level[op] = used ? 1 : 0;
    }
    for (int pass = 0; pass < kOps; ++pass)
        for (int from = 0; from < kOps; ++from)
            for (int to = 0; to < kOps; ++to)
                if (from != to && routing.link(from, to) && level[from] > 0)
                    level[to] = std::min(kOps, std::max(level[to], level[from] + 1));
    int levels = std::max(1, *std::max_element(level, level + kOps));

    // Rows: IN, the levels, OUT, centred in the area.
    double pitch = std::min(kMaxPitch, std::floor((area.getHeight() - 10) / (levels + 1)));
    double top = std::floor(area.getCenter().y - pitch * (levels + 1) / 2);
    double centreX = std::floor(area.getCenter().x);
    picture.input = CPoint(centreX, top);
    picture.output = CPoint(centreX, top + pitch * (levels + 1));

    double x[kOps] = {};
    for (int l = 1; l <= levels; ++l) {
        std::vector<std::pair<double, int>> row;  // wanted x, operator
        for (int op = 0; op < kOps; ++op) {
            if (!picture.used[op] || level[op] != l) continue;
            double sum = 0;
            int parents = 0;
            for (int from = 0; from < kOps; ++from)
                if (from != op && routing.link(from, op) && level[from] < l) {
                    sum += x[from];
                    ++parents;
                }
            row.emplace_back(parents ? sum / parents : 0, op);
        }
        int n = static_cast<int>(row.size());
        if (n == 0) continue;
        // The first level spreads evenly; below, each operator sits under
        // the mean of its feeds unless that crowds the level.
        if (l == 1)
            for (int i = 0; i < n; ++i) row[i].first = area.left + area.getWidth() * (i + 1) / (n + 1);
        std::sort(row.begin(), row.end());  // ties go by operator number
        bool crowded = false;
        for (int i = 1; i < n; ++i) crowded = crowded || row[i].first - row[i - 1].first < kMinGap;
        if (crowded) {
            double mean = 0;
            for (auto& entry : row) mean += entry.first / n;
            for (int i = 0; i < n; ++i) row[i].first = mean + (i - (n - 1) / 2.0) * kMinGap;
        }
        double shift = std::max(0.0, area.left + 6 - row.front().first) - std::max(0.0, row.back().first - (area.right - 6));
        for (auto& [wanted, op] : row) {
            x[op] = wanted + shift;
            picture.op[op] = CPoint(std::round(x[op]), top + pitch * l);
        }
    }

    for (int op = 0; op < kOps; ++op) {
        if (!picture.used[op]) continue;
        CPoint p = picture.op[op];
        if (routing.input(op)) picture.lines.push_back({picture.input, p});
        if (routing.output(op)) picture.lines.push_back({p, picture.output});
        for (int to = 0; to < kOps; ++to) {
            if (!routing.link(op, to)) continue;
            if (to != op) {
                picture.lines.push_back({p, picture.op[to]});
                continue;
            }
            // Feedback to itself: a small loop on the box's right side.
            CPoint a(p.x + 5, p.y - 3), b(p.x + 9, p.y - 3), c(p.x + 9, p.y + 3), d(p.x + 5, p.y + 3);
            picture.lines.push_back({a, b});
            picture.lines.push_back({b, c});
            picture.lines.push_back({c, d});
        }
    }
    return picture;
}

void drawRoutingPicture(CDrawContext* context, CBitmap* font, const RoutingPicture& picture) {
    context->setFrameColor(kDark);
    context->setLineWidth(1);
    for (const auto& line : picture.lines) context->drawLine(line.from, line.to);
    auto terminal = [&](const CPoint& c, const char* text) {
        double x = c.x - 3.0 * static_cast<double>(std::char_traits<char>::length(text)) + 1;
        CTextPrinter::print(context, font, x, c.y + 4, text, false, true);
    };
    terminal(picture.input, "IN");
    terminal(picture.output, "OUT");
    for (int op = 0; op < kNumOperatorSlots; ++op) {
        if (!picture.used[op]) continue;
        CPoint c = picture.op[op];
        CRect box(c.x - 5, c.y - 5, c.x + 6, c.y + 6);
        drawBox(context, box, false);
        char digit[2] = {static_cast<char>('1' + op), 0};
        CTextPrinter::print(context, font, box.left + 3, box.top + 9, digit);
    }
}

// --- channel mode and polarity ----------------------------------------------------

CMatrixMS::CMatrixMS(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, int bit, int steps,
                     MaskValue current)
    : CControl(size, listener, tag), mFont(font), mBit(bit), mSteps(steps), mCurrent(std::move(current)) {}

bool CMatrixMS::isSet() const { return (discreteIndex(getValue(), mSteps) >> mBit) & 1; }

void CMatrixMS::draw(CDrawContext* context) { drawState(context, isSet()); }

// Straight lines for left/right as they are; crossed lines for the sum and
// difference of mid/side.
void CMatrixMS::drawState(CDrawContext* context, bool set) {
    drawBox(context, mSize, set);
    double x = mSize.left + 4, mid = std::floor(mSize.getCenter().y);
    context->setFrameColor(set ? kLight : kDark);
    if (set) {
        context->drawLine(CPoint(x, mid - 3), CPoint(x + 7, mid + 3));
        context->drawLine(CPoint(x, mid + 3), CPoint(x + 7, mid - 3));
    } else {
        context->drawLine(CPoint(x, mid - 2), CPoint(x + 7, mid - 2));
        context->drawLine(CPoint(x, mid + 2), CPoint(x + 7, mid + 2));
    }
    CTextPrinter::print(context, mFont, x + 12, mid + 4, set ? "M/S" : "L/R", false, set);
}

CMouseEventResult CMatrixMS::onMouseDown(CPoint& where, const CButtonState& buttons) {
    if (!buttons.isLeftButton()) return kMouseEventNotHandled;
    if (notifyClick(buttons)) return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    // The engine holds the whole mask; a sibling switch may have changed it
    // since this one last heard.
    int mask = discreteIndex(mCurrent ? mCurrent() : getValue(), mSteps) ^ (1 << mBit);
    setValueAndNotify(discreteValue(mask, mSteps));
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

CMatrixInv::CMatrixInv(const CRect& size, CControlListener* listener, CBitmap* font, int op, MaskValue current)
    : CMatrixMS(size, listener, param::kOpInv, font, op, kPolaritySteps, std::move(current)) {}

void CMatrixInv::drawState(CDrawContext* context, bool set) {
    drawBox(context, mSize, set);
    printCentred(context, mFont, mSize, shownText(), set);
}

// --- the page -----------------------------------------------------------------

namespace {
// Connections: a row per destination, a column per source.
constexpr double kCellWidth = 30, kCellHeight = 13;
constexpr double kRowTop = 52, kRowPitch = 20;
constexpr double kInputColumn = 31, kFirstOpColumn = 68, kColumnPitch = 37;
constexpr double kOutputRow = 136;
constexpr double kLabelLeft = 6;
constexpr double kHeadingTop = 38;
const CRect kTabsRect(0, 1, 217, 14);
// Window position (350, 64) to (482, 75), in page coordinates.
const CRect kDryDelayRect(43, 21, 175, 32);
const CRect kCaptionRect(8, 157, 209, 171);

CRect cellAt(double left, double top) { return CRect(left, top, left + kCellWidth, top + kCellHeight); }
double opColumn(int op) { return kFirstOpColumn + kColumnPitch * op; }
double rowTop(int op) { return kRowTop + kRowPitch * op; }
std::string opName(int op) { return std::string("OP") + static_cast<char>('1' + op); }
}  // namespace

void MatrixPage::build(CViewContainer* page, CBitmap* font, const Register& registerControl) {
    clear();
    mShownRate = mPlugin->getSampleRate();
    auto add = [&](CControl* control) {
        control->setValue(mPlugin->getParameter(control->getTag()));
        page->addView(control);
        registerControl(control);
    };
    mTabs = new CMatrixPage(kTabsRect, mListener, font);
    page->addView(mTabs);
    mTabs->setValue(discreteValue(mView, 2));
    registerControl(mTabs);
    if (mView == kConnections)
        buildConnections(page, font, add);
    else
        buildConfiguration(page, font, add);
}

void MatrixPage::buildConnections(CViewContainer* page, CBitmap* font, const Register& add) {
    using namespace param;
    auto text = [&](const CRect& r, const std::string& s, CModuleText::Align align) {
        page->addView(new CModuleText(r, font, s, align));
    };
    text(CRect(kInputColumn, kHeadingTop, kInputColumn + kCellWidth, kHeadingTop + 11), "IN", CModuleText::kCentre);
    for (int op = 0; op < kNumOperatorSlots; ++op) {
        text(CRect(opColumn(op), kHeadingTop, opColumn(op) + kCellWidth, kHeadingTop + 11), opName(op),
             CModuleText::kCentre);
        text(CRect(kLabelLeft, rowTop(op) - 1, kInputColumn - 2, rowTop(op) + 12), opName(op), CModuleText::kLeft);
    }
    text(CRect(kLabelLeft, kOutputRow - 1, kInputColumn - 2, kOutputRow + 12), "OUT", CModuleText::kLeft);

    auto addCell = [&](CMatrixConn* cell) {
        mCells[cell->getTag() - kInToOp1] = cell;
        add(cell);
    };
    for (int to = 0; to < kNumOperatorSlots; ++to) {
        addCell(new CMatrixConn(cellAt(kInputColumn, rowTop(to)), mListener, kInToOp1 + to, font));
        for (int from = 0; from < kNumOperatorSlots; ++from) {
            int tag = kOpToOp + 4 * from + to;
            CRect r = cellAt(opColumn(from), rowTop(to));
            if (from == to) {
                auto* self = new CMatrixConnOP(r, mListener, tag, font, from);
                self->setBypassed(mPlugin->getParameter(kOpBypass1 + from) >= 0.5f);
                addCell(self);
            } else {
                addCell(new CMatrixConn(r, mListener, tag, font));
            }
        }
    }
    for (int from = 0; from < kNumOperatorSlots; ++from)
        addCell(new CMatrixConn(cellAt(opColumn(from), kOutputRow), mListener, kOpToOut1 + from, font));

    mDryDly = new CDryDly(kDryDelayRect, mListener, kDryDly, font, mPlugin);
    add(mDryDly);
    mCaption = new CMatrixCaption(kCaptionRect, mListener, font, mPlugin);
    add(mCaption);
}

void MatrixPage::buildConfiguration(CViewContainer* page, CBitmap* font, const Register& add) {
    using namespace param;
    Plugin* plugin = mPlugin;
    page->addView(new CModuleText(CRect(0, 19, 217, 30), font, "OPERATOR CONFIGURATION", CModuleText::kCentre));
    constexpr double kInputLeft = 40, kOutputLeft = 100, kSwitchWidth = 52, kPolarityLeft = 164, kPolarityWidth = 36;
    const struct {
        double left, width;
        const char* title;
    } columns[3] = {{kInputLeft, kSwitchWidth, "INPUT"},
                    {kOutputLeft, kSwitchWidth, "OUTPUT"},
                    {kPolarityLeft, kPolarityWidth, "PHASE"}};
    for (const auto& c : columns)
        page->addView(new CModuleText(CRect(c.left, kHeadingTop, c.left + c.width, kHeadingTop + 11), font, c.title,
                                      CModuleText::kCentre));
    for (int op = 0; op < kNumOperatorSlots; ++op) {
        double top = rowTop(op);
        page->addView(new CModuleText(CRect(kLabelLeft, top - 1, kInputLeft - 2, top + 12), font, opName(op)));
        for (int side = 0; side < 2; ++side) {
            double left = side ? kOutputLeft : kInputLeft;
            auto* mode = new CMatrixMS(CRect(left, top, left + kSwitchWidth, top + kCellHeight), mListener, kOpLrMs,
                                       font, op + 4 * side, kMaskSteps,
                                       [plugin] { return plugin->getParameter(kOpLrMs); });
            mModes[op + 4 * side] = mode;
            add(mode);
        }
        auto* polarity = new CMatrixInv(CRect(kPolarityLeft, top, kPolarityLeft + kPolarityWidth, top + kCellHeight),
                                        mListener, font, op, [plugin] { return plugin->getParameter(kOpInv); });
        mPolarity[op] = polarity;
        add(polarity);
    }
    page->addView(new CModuleText(CRect(kLabelLeft, 134, 211, 145), font, "L/R: left and right as they are"));
    page->addView(new CModuleText(CRect(kLabelLeft, 145, 211, 156), font, "M/S: mid (L+R) and side (L-R)"));
    page->addView(new CModuleText(CRect(kLabelLeft, 156, 211, 167), font, "PHASE -: output inverted"));
}

void MatrixPage::clear() {
    mTabs = nullptr;
    std::fill(std::begin(mCells), std::end(mCells), nullptr);
    mDryDly = nullptr;
    mCaption = nullptr;
    std::fill(std::begin(mModes), std::end(mModes), nullptr);
    std::fill(std::begin(mPolarity), std::end(mPolarity), nullptr);
}

CMatrixConn* MatrixPage::cell(int tag) const {
    int g = tag - param::kInToOp1;
    return g >= 0 && g < kNumRoutingGains ? mCells[g] : nullptr;
}

void MatrixPage::parameterChanged(int index, float value) {
    using namespace param;
    if (!isShown()) return;
    if (index == kOpLrMs) {
        for (auto* mode : mModes)
            if (mode) mode->setValue(value);
    } else if (index == kOpInv) {
        for (auto* polarity : mPolarity)
            if (polarity) polarity->setValue(value);
    } else if (index >= kOpBypass1 && index < kOpBypass1 + kNumOperatorSlots) {
        int op = index - kOpBypass1;
        if (auto* self = dynamic_cast<CMatrixConnOP*>(cell(kOpToOp + 5 * op))) self->setBypassed(value >= 0.5f);
    } else if (index >= kInToOp1 && index < kInToOp1 + kNumRoutingGains) {
        if (mCaption && mCaption->getChooser()) mCaption->getChooser()->setDirty();
    }
}

void MatrixPage::setPulse(int pulse) {
    if (!isShown()) return;
    for (int op = 0; op < kNumOperatorSlots; ++op)
        if (auto* self = dynamic_cast<CMatrixConnOP*>(cell(param::kOpToOp + 5 * op))) self->setPulse(pulse);
    // The dry delay's text depends on the rate the host runs at.
    double rate = mPlugin->getSampleRate();
    if (rate != mShownRate) {
        mShownRate = rate;
        if (mDryDly) mDryDly->setDirty();
    }
}

}  // namespace vh::editor
