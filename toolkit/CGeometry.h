#pragma once
// Plain value types shared by every part of the view layer: points,
// rectangles, colours, mouse button and modifier state, key codes.

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace toolkit {

struct CPoint {
    double x = 0;
    double y = 0;

    CPoint() = default;
    CPoint(double px, double py) : x(px), y(py) {}
    CPoint operator+(const CPoint& o) const { return {x + o.x, y + o.y}; }
    CPoint operator-(const CPoint& o) const { return {x - o.x, y - o.y}; }
    bool operator==(const CPoint& o) const { return x == o.x && y == o.y; }
};

// Edges, not origin and size: the editor's layout tables give rectangles as
// (left, top) to (right, bottom). right and bottom are exclusive.
struct CRect {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;

    CRect() = default;
    CRect(double l, double t, double r, double b) : left(l), top(t), right(r), bottom(b) {}
    CRect(const CPoint& origin, double width, double height)
        : left(origin.x), top(origin.y), right(origin.x + width), bottom(origin.y + height) {}

    double getWidth() const { return right - left; }
    double getHeight() const { return bottom - top; }
    CPoint getTopLeft() const { return {left, top}; }
    CPoint getCenter() const { return {(left + right) / 2, (top + bottom) / 2}; }
    bool isEmpty() const { return right <= left || bottom <= top; }

    bool pointInside(const CPoint& p) const {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    bool rectOverlap(const CRect& o) const {
        return left < o.right && o.left < right && top < o.bottom && o.top < bottom;
    }
    CRect& offset(double dx, double dy) {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(double x, double y) { return offset(x - left, y - top); }
    CRect& inset(double dx, double dy) {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    CRect& bound(const CRect& o) {
        left = std::clamp(left, o.left, o.right);
        right = std::clamp(right, o.left, o.right);
        top = std::clamp(top, o.top, o.bottom);
        bottom = std::clamp(bottom, o.top, o.bottom);
        return *this;
    }
    CRect& unite(const CRect& o) {
        if (o.isEmpty()) return *this;
        if (isEmpty()) return *this = o;
        left = std::min(left, o.left);
        top = std::min(top, o.top);
        right = std::max(right, o.right);
        bottom = std::max(bottom, o.bottom);
        return *this;
    }
    // Grows to whole pixels so a redraw of a fractional area leaves no seams.
    CRect& makeIntegral();
    bool operator==(const CRect& o) const {
        return left == o.left && top == o.top && right == o.right && bottom == o.bottom;
    }
};

inline CRect& CRect::makeIntegral() {
    left = std::floor(left);
    top = std::floor(top);
    right = std::ceil(right);
    bottom = std::ceil(bottom);
    return *this;
}

struct CColor {
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;

    constexpr CColor() = default;
    constexpr CColor(uint8_t r, uint8_t g, uint8_t b, uint8_t a = 255) : red(r), green(g), blue(b), alpha(a) {}
    constexpr bool operator==(const CColor& o) const {
        return red == o.red && green == o.green && blue == o.blue && alpha == o.alpha;
    }
};

inline constexpr CColor kBlackCColor{0, 0, 0};
inline constexpr CColor kWhiteCColor{255, 255, 255};
inline constexpr CColor kTransparentCColor{0, 0, 0, 0};

// Mouse buttons and modifiers in one word, as the events carry them.
enum CButton : int32_t {
    kLButton = 1 << 0,
    kMButton = 1 << 1,
    kRButton = 1 << 2,
    kShift = 1 << 3,
    kControl = 1 << 4,
    kAlt = 1 << 5,
    kDoubleClick = 1 << 6,
};

struct CButtonState {
    int32_t state = 0;

    CButtonState() = default;
    CButtonState(int32_t s) : state(s) {}  // NOLINT: implicit from flag sets is the point
    operator int32_t() const { return state; }

    bool isLeftButton() const { return state & kLButton; }
    bool isRightButton() const { return state & kRButton; }
    bool isMiddleButton() const { return state & kMButton; }
    bool isDoubleClick() const { return state & kDoubleClick; }
    bool isShift() const { return state & kShift; }
    bool isControl() const { return state & kControl; }
    bool isAlt() const { return state & kAlt; }
    int32_t getButtons() const { return state & (kLButton | kMButton | kRButton); }
    int32_t getModifierState() const { return state & (kShift | kControl | kAlt); }
};

enum CMouseEventResult {
    kMouseEventNotHandled = 0,
    kMouseEventHandled,
    // The view acted on the press and wants neither moves nor the release.
    kMouseDownEventHandledButDontNeedMovedOrUpEvents,
};

enum VirtualKey : int32_t {
    kVkNone = 0,
    kVkBack,
    kVkTab,
    kVkReturn,
    kVkEnter,  // the keypad's
    kVkEscape,
    kVkLeft,
    kVkRight,
    kVkUp,
    kVkDown,
    kVkHome,
    kVkEnd,
    kVkDelete,
};

// One key press: a printable character (character != 0) or a virtual key.
struct CKeyCode {
    char32_t character = 0;
    VirtualKey virt = kVkNone;
    int32_t modifiers = 0;  // kShift, kControl, kAlt
};

enum CHoriTxtAlign { kLeftText, kCenterText, kRightText };

enum CDrawStyle { kDrawStroked, kDrawFilled, kDrawFilledAndStroked };

}  // namespace toolkit
