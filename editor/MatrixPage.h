#pragma once
// The operator routing page: the gain matrix between the input, the four
// operators and the output, the dry delay, the predefined routings, and each
// operator's channel mode and polarity. Two views share the page, chosen by
// a tab control at its top.

#include <functional>
#include <string>
#include <vector>

#include "editor/Controls.h"
#include "engine/PredefinedRoutings.h"

namespace vh {
class Plugin;
}

namespace toolkit {
class CViewContainer;
}

namespace vh::editor {

// Editor-only command tags of the page.
namespace tag {
constexpr int kPredefinedRouting = 434;  // routing 0..10 on an 11-step scale
constexpr int kMatrixView = 437;         // 0 connections, 1 configuration (2 steps)
}  // namespace tag

// A routing gain as the cells show it: whole dB of the linear gain v^2,
// "-oo" when the value is (nearly) zero. Typed entries are in dB, at most 0.
std::string routingGainText(float v);
bool routingGainFromText(const std::string& text, float& v);
// The dry delay of delaySamples at rateHz, and a typed number of samples
// (whole, not negative; the engine clamps it to its range).
std::string dryDelayText(int delaySamples, double rateHz);
bool dryDelaySamplesFromText(const std::string& text, int& samples);

// The two tabs; the value is the view on a 2-step scale.
class CMatrixPage : public CControl {
public:
    // The dead zone between the tabs lies from centre - 7 to centre + 9.
    static constexpr double kLeftOfCentre = 7;
    static constexpr double kRightOfCentre = 9;

    CMatrixPage(const CRect& size, CControlListener* listener, CBitmap* font);
    int getView() const;
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    CBitmap* mFont;
};

// One routing gain: drag, wheel and typed dB like a parameter field, drawn
// as a box with the gain in dB; lit when the connection carries signal.
class CMatrixConn : public CModuleParam {
public:
    CMatrixConn(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font);
    void draw(CDrawContext* context) override;
    // The text the cell shows now.
    virtual std::string shownText() const { return valueText(); }

protected:
    void drawCell(CDrawContext* context, const std::string& text);
};

// An operator's feedback to itself, on the matrix diagonal: shows the
// operator's name, and the gain for a few redraws after each change. The name
// of a bypassed operator blinks with the editor's pulse.
class CMatrixConnOP : public CMatrixConn {
public:
    static constexpr int kValueRedraws = 3;

    CMatrixConnOP(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, int op);
    void setBypassed(bool on);
    bool isBypassed() const { return mBypassed; }
    void setPulse(int pulse);
    std::string shownText() const override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseMoved(CPoint& where, const CButtonState& buttons) override;
    bool onWheel(const CPoint& where, float distance, const CButtonState& buttons) override;

private:
    void showValue();

    int mOp;
    bool mBypassed = false;
    int mPulse = 0;
    int mValueRedraws = 0;
};

// The dry delay: samples and milliseconds at the engine's rate.
class CDryDly : public CModuleParam {
public:
    CDryDly(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, Plugin* plugin);
    void draw(CDrawContext* context) override;

private:
    Plugin* mPlugin;
};

class CRoutingChooser;

// "PREDEFINED ROUTINGS": a click opens the chooser of pictures.
class CMatrixCaption : public CControl {
public:
    CMatrixCaption(const CRect& size, CControlListener* listener, CBitmap* font, Plugin* plugin);
    ~CMatrixCaption() override;
    bool isChooserOpen() const { return mChooser != nullptr; }
    CRoutingChooser* getChooser() const { return mChooser; }
    void closeChooser();
    void choose(int routing);

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;
    bool removed(toolkit::CViewContainer* parent) override;

private:
    CBitmap* mFont;
    Plugin* mPlugin;
    CRoutingChooser* mChooser = nullptr;
};

// The open chooser: covers the whole window so a click anywhere else closes
// it. Six pictures a page in two columns of 88 pixels and three rows.
class CRoutingChooser : public toolkit::CView {
public:
    static constexpr double kColumnWidth = 88;
    static constexpr int kPerPage = 6;

    CRoutingChooser(const CRect& frameSize, CMatrixCaption* owner, CBitmap* font, Plugin* plugin);
    int getPage() const { return mPage; }
    void setPage(int page);
    // Frame rectangles: the whole box, the pictures, the two page arrows.
    const CRect& boxRect() const { return mBox; }
    const CRect& gridRect() const { return mGrid; }
    CRect previousPageRect() const;
    CRect nextPageRect() const;
    // The entry under a point of the grid on the page shown, -1 for none.
    int entryAt(const CPoint& where) const;
    CRect entryRect(int slot) const;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

private:
    CMatrixCaption* mOwner;
    CBitmap* mFont;
    Plugin* mPlugin;
    CRect mBox, mGrid;
    int mPage = 0;
};

// The index of the predefined routing the engine's matrix holds now, or -1.
int currentPredefinedRouting(Plugin* plugin);

// A routing's picture: IN at the top, OUT at the bottom, the operators in
// between, each one level below the lowest operator that feeds it, and one
// line per connection of gain 1.
struct RoutingPicture {
    struct Line {
        CPoint from, to;
    };
    CPoint input, output;
    CPoint op[4];
    bool used[4] = {};
    std::vector<Line> lines;
};
RoutingPicture layoutRouting(const PredefinedRouting& routing, const CRect& area);
void drawRoutingPicture(CDrawContext* context, CBitmap* font, const RoutingPicture& picture);

// One of an operator's two channel-mode switches (bit op, or op + 4 for the
// output side, of the 8-bit mask).
class CMatrixMS : public CControl {
public:
    using MaskValue = std::function<float()>;
    CMatrixMS(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* font, int bit, int steps,
              MaskValue current);
    bool isSet() const;
    int getBit() const { return mBit; }
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const CButtonState& buttons) override;

protected:
    // The glyph of a state.
    virtual void drawState(CDrawContext* context, bool set);

    CBitmap* mFont;
    int mBit;
    int mSteps;
    MaskValue mCurrent;
};

// An operator's polarity: " + " as it is, " - " inverted.
class CMatrixInv : public CMatrixMS {
public:
    CMatrixInv(const CRect& size, CControlListener* listener, CBitmap* font, int op, MaskValue current);
    std::string shownText() const { return isSet() ? " - " : " + "; }

protected:
    void drawState(CDrawContext* context, bool set) override;
};

// Builds the page's views into the editor's page container and keeps them in
// step with the engine. Lives as long as the editor, so the view chosen
// survives closing the window.
class MatrixPage {
public:
    enum View { kConnections = 0, kConfiguration = 1 };
    using Register = std::function<void(CControl*)>;

    MatrixPage(Plugin* plugin, CControlListener* listener) : mPlugin(plugin), mListener(listener) {}

    View getView() const { return mView; }
    void setView(int view) { mView = view == kConfiguration ? kConfiguration : kConnections; }

    void build(toolkit::CViewContainer* page, CBitmap* font, const Register& registerControl);
    // The page's views are gone (another page, or the window closed).
    void clear();
    bool isShown() const { return mTabs != nullptr; }
    void parameterChanged(int index, float value);
    void setPulse(int pulse);

    CMatrixPage* tabs() const { return mTabs; }
    CMatrixConn* cell(int tag) const;
    CDryDly* dryDelay() const { return mDryDly; }
    CMatrixCaption* caption() const { return mCaption; }
    CMatrixMS* channelSwitch(int op, bool output) const { return mModes[op + (output ? 4 : 0)]; }
    CMatrixInv* polaritySwitch(int op) const { return mPolarity[op]; }

private:
    void buildConnections(toolkit::CViewContainer* page, CBitmap* font, const Register& add);
    void buildConfiguration(toolkit::CViewContainer* page, CBitmap* font, const Register& add);

    Plugin* mPlugin;
    CControlListener* mListener;
    View mView = kConnections;
    CMatrixPage* mTabs = nullptr;
    CMatrixConn* mCells[kNumRoutingGains] = {};
    CDryDly* mDryDly = nullptr;
    CMatrixCaption* mCaption = nullptr;
    CMatrixMS* mModes[8] = {};
    CMatrixInv* mPolarity[4] = {};
    double mShownRate = 0;
};

}  // namespace vh::editor
