#include "editor/Artwork.h"

#include <cairo.h>

#include <cmath>
#include <cstdio>

#include "editor/Font5x8.h"
#include "toolkit/CDrawContext.h"
#include "modules/MathConstants.h"

namespace vh::editor {

using toolkit::CBitmap;
using toolkit::CColor;

namespace {


void setColor(cairo_t* cr, const CColor& c, double alpha = 1.0) {
    cairo_set_source_rgba(cr, c.red / 255.0, c.green / 255.0, c.blue / 255.0, alpha);
}

void rect(cairo_t* cr, double x, double y, double w, double h, const CColor& c, double alpha = 1.0) {
    setColor(cr, c, alpha);
    cairo_rectangle(cr, x, y, w, h);
    cairo_fill(cr);
}

void frameRect(cairo_t* cr, double x, double y, double w, double h, const CColor& c) {
    setColor(cr, c);
    cairo_set_line_width(cr, 1);
    cairo_rectangle(cr, x + 0.5, y + 0.5, w - 1, h - 1);
    cairo_stroke(cr);
}

// One font pixel as a block of whole device pixels, so the letters stay
// crisp at a zoom that is no whole number as well.
void fontPixel(cairo_t* cr, double x, double y) {
    // cairo's user-to-device conversion leaves out the surface's device scale.
    double sx = 1, sy = 1;
    cairo_surface_get_device_scale(cairo_get_target(cr), &sx, &sy);
    double l = x, t = y, r = x + 1, b = y + 1;
    cairo_user_to_device(cr, &l, &t);
    cairo_user_to_device(cr, &r, &b);
    l = std::floor(l * sx + 0.5) / sx;
    t = std::floor(t * sy + 0.5) / sy;
    r = std::floor(r * sx + 0.5) / sx;
    b = std::floor(b * sy + 0.5) / sy;
    cairo_device_to_user(cr, &l, &t);
    cairo_device_to_user(cr, &r, &b);
    cairo_rectangle(cr, l, t, r - l, b - t);
}

// Text in the bitmap font, straight onto a surface (used while the artwork
// itself is made, before any view exists).
void glyphText(cairo_t* cr, double x, double y, const char* text, const CColor& c) {
    setColor(cr, c);
    for (const char* p = text; *p; ++p, x += 6) {
        int n = (static_cast<unsigned char>(*p) & 127) - 32;
        if (n < 0) continue;
        for (int col = 0; col < kGlyphWidth; ++col)
            for (int row = 0; row < kGlyphHeight; ++row)
                if (kFontColumns[n][col] & (1 << row)) fontPixel(cr, x + col, y - 7 + row);
    }
    cairo_fill(cr);
}

void centredGlyphText(cairo_t* cr, double centreX, double y, const char* text, const CColor& c) {
    int length = 0;
    while (text[length]) ++length;
    glyphText(cr, centreX - 3 * length + 0.5, y, text, c);
}

cairo_t* begin(CBitmap* bitmap) { return cairo_create(bitmap->getSurface()); }
void end(CBitmap* bitmap, cairo_t* cr) {
    cairo_destroy(cr);
    cairo_surface_mark_dirty(bitmap->getSurface());
}

constexpr CColor kPanelEdge{24, 28, 30};
constexpr CColor kBackTop{58, 66, 72};
constexpr CColor kBackBottom{34, 39, 43};
constexpr CColor kAccent{92, 190, 235};
constexpr CColor kScale{150, 160, 168};

void drawBackground(CBitmap* bitmap) {
    cairo_t* cr = begin(bitmap);
    cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, kWindowHeight);
    cairo_pattern_add_color_stop_rgb(gradient, 0, kBackTop.red / 255.0, kBackTop.green / 255.0, kBackTop.blue / 255.0);
    cairo_pattern_add_color_stop_rgb(gradient, 1, kBackBottom.red / 255.0, kBackBottom.green / 255.0,
                                     kBackBottom.blue / 255.0);
    cairo_set_source(cr, gradient);
    cairo_paint(cr);
    cairo_pattern_destroy(gradient);

    // Recessed wells around the module panels, the page area and the
    // bottom strip's sections.
    auto well = [cr](double l, double t, double r, double b) {
        rect(cr, l - 3, t - 3, r - l + 6, b - t + 6, kPanelEdge, 0.8);
        frameRect(cr, l - 3, t - 3, r - l + 6, b - t + 6, CColor{80, 90, 98});
    };
    well(64, 43, 282, 205);
    well(548, 43, 766, 205);
    well(307, 43, 524, 217);
    rect(cr, 64, 55, 218, 150, kLight);
    rect(cr, 548, 55, 218, 150, kLight);
    rect(cr, 307, 43, 217, 174, kLight);
    well(60, 229, 286, 330);
    well(544, 229, 770, 330);
    well(300, 229, 524, 292);

    // Family labels in the gaps of the top strip, the product's name
    // between the page buttons.
    centredGlyphText(cr, 173, 23, "MODULATORS", kScale);
    centredGlyphText(cr, 658, 23, "OPERATORS", kScale);
    centredGlyphText(cr, 415, 23, "VORNHALYX", kAccent);

    // Captions of the main section and the meters' scale.
    centredGlyphText(cr, 308 + 21, 290, "INPUT", kLight);
    centredGlyphText(cr, 366 + 21, 290, "MIX", kLight);
    centredGlyphText(cr, 424 + 21, 290, "OUTPUT", kLight);
    centredGlyphText(cr, 487 + 15, 290, "POWER", kLight);
    for (int side = 0; side < 2; ++side) {
        double x0 = side == 0 ? 65 : 548;
        glyphText(cr, x0 - 2, 301, side == 0 ? "IN" : "OUT", kScale);
        // Tick marks at -48, -24, -12, 0 dB (4 pixels per 0.75 dB).
        const int marks[] = {-48, -24, -12, 0};
        for (int db : marks) {
            double x = x0 + (47 + db * 1.3333334) * 4;
            rect(cr, x, 313, 1, 5, kScale);
        }
    }
    end(bitmap, cr);
}

void drawKnob(CBitmap* bitmap) {
    cairo_t* cr = begin(bitmap);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
    const double c = kKnobSize / 2.0;
    const double start = 0.75 * kPi, sweep = 1.5 * kPi;
    for (int frame = 0; frame < kKnobFrames; ++frame) {
        cairo_save(cr);
        cairo_translate(cr, 0, frame * kKnobSize);
        bool unused = frame == kKnobFrames - 1;
        double v = unused ? 0 : frame / 100.0;
        // Track and value arc.
        cairo_set_line_width(cr, 3);
        setColor(cr, CColor{20, 24, 26});
        cairo_arc(cr, c, c, 18, start, start + sweep);
        cairo_stroke(cr);
        if (!unused && v > 0) {
            setColor(cr, kAccent);
            cairo_arc(cr, c, c, 18, start, start + sweep * v);
            cairo_stroke(cr);
        }
        // Body.
        cairo_pattern_t* body = cairo_pattern_create_radial(c - 4, c - 5, 2, c, c, 14);
        double shade = unused ? 0.6 : 1.0;
        cairo_pattern_add_color_stop_rgb(body, 0, 0.55 * shade, 0.59 * shade, 0.62 * shade);
        cairo_pattern_add_color_stop_rgb(body, 1, 0.16 * shade, 0.18 * shade, 0.20 * shade);
        cairo_set_source(cr, body);
        cairo_arc(cr, c, c, 13.5, 0, 2 * kPi);
        cairo_fill(cr);
        cairo_pattern_destroy(body);
        setColor(cr, CColor{12, 14, 15});
        cairo_set_line_width(cr, 1);
        cairo_arc(cr, c, c, 13.5, 0, 2 * kPi);
        cairo_stroke(cr);
        if (!unused) {
            double a = start + sweep * v;
            cairo_set_line_width(cr, 2.5);
            setColor(cr, kLight);
            cairo_move_to(cr, c + 4 * std::cos(a), c + 4 * std::sin(a));
            cairo_line_to(cr, c + 12 * std::cos(a), c + 12 * std::sin(a));
            cairo_stroke(cr);
        }
        cairo_restore(cr);
    }
    end(bitmap, cr);
}

// Twenty frames: 0..9 unlit at rising glow (the bypass pulse), 10..19 lit.
void drawModuleButton(CBitmap* bitmap, const char* label) {
    cairo_t* cr = begin(bitmap);
    for (int frame = 0; frame < kModuleButtonFrames; ++frame) {
        double y = frame * kModuleButtonFrameHeight;
        bool lit = frame >= 10;
        double glow = (frame % 10) / 9.0;
        CColor face = lit ? CColor{uint8_t(60 + 32 * glow), uint8_t(110 + 80 * glow), uint8_t(140 + 95 * glow)}
                          : CColor{uint8_t(38 + 50 * glow), uint8_t(44 + 30 * glow), uint8_t(48 + 10 * glow)};
        rect(cr, 0, y, kModuleButtonWidth, kModuleButtonFrameHeight, face);
        frameRect(cr, 0, y, kModuleButtonWidth, kModuleButtonFrameHeight, CColor{14, 16, 18});
        centredGlyphText(cr, kModuleButtonWidth / 2.0, y + 11, label, lit ? CColor{16, 22, 26} : kLight);
    }
    end(bitmap, cr);
}

void drawPageButton(CBitmap* bitmap, const char* label) {
    cairo_t* cr = begin(bitmap);
    for (int frame = 0; frame < 2; ++frame) {
        double y = frame * kModuleButtonFrameHeight;
        rect(cr, 0, y, kModuleButtonWidth, kModuleButtonFrameHeight, frame ? kAccent : CColor{38, 44, 48});
        frameRect(cr, 0, y, kModuleButtonWidth, kModuleButtonFrameHeight, CColor{14, 16, 18});
        centredGlyphText(cr, kModuleButtonWidth / 2.0, y + 11, label, frame ? CColor{16, 22, 26} : kLight);
    }
    end(bitmap, cr);
}

// Two states of 47 pixels: off (top) and on.
void drawPowerSwitch(CBitmap* bitmap) {
    cairo_t* cr = begin(bitmap);
    const int h = kSwitchHeight / 2;
    for (int state = 0; state < 2; ++state) {
        double y = state * h;
        rect(cr, 2, y + 2, kSwitchWidth - 4, h - 4, CColor{22, 26, 28});
        frameRect(cr, 2, y + 2, kSwitchWidth - 4, h - 4, CColor{80, 90, 98});
        // Lever: up when off, down when on; the lamp shows the state.
        double leverY = state ? y + h - 20 : y + 8;
        rect(cr, 7, leverY, kSwitchWidth - 14, 12, CColor{150, 158, 164});
        frameRect(cr, 7, leverY, kSwitchWidth - 14, 12, CColor{12, 14, 15});
        setColor(cr, state ? CColor{90, 230, 120} : CColor{60, 30, 30});
        cairo_arc(cr, kSwitchWidth / 2.0, state ? y + 11 : y + h - 11, 3, 0, 2 * kPi);
        cairo_fill(cr);
    }
    end(bitmap, cr);
}

// Unlit row, then lit row; 55 segments of 4 pixels, 0 dB at segment 47.
void drawMeter(CBitmap* bitmap) {
    cairo_t* cr = begin(bitmap);
    for (int row = 0; row < 2; ++row) {
        rect(cr, 0, row * kMeterRowHeight, kMeterWidth, kMeterRowHeight, CColor{16, 18, 20});
        for (int s = 0; s < 55; ++s) {
            CColor c = s >= 47 ? CColor{235, 60, 50} : s >= 40 ? CColor{235, 200, 60} : CColor{80, 210, 120};
            double a = row ? 1.0 : 0.18;
            rect(cr, s * 4, row * kMeterRowHeight + 1, 3, kMeterRowHeight - 2, c, a);
        }
    }
    end(bitmap, cr);
}

void drawFont(CBitmap* bitmap) {
    cairo_t* cr = begin(bitmap);
    // Plain and marked text are drawn in their colour on the view's light
    // ground; highlighted text sits on a box of that colour, so it is light.
    const CColor colours[4] = {kDark, kLight, kMark, kLight};
    for (int set = 0; set < 4; ++set) {
        setColor(cr, colours[set]);
        for (int n = 0; n < kGlyphsPerSet; ++n) {
            double top = (set * kGlyphsPerSet + n) * kGlyphHeight;
            for (int col = 0; col < kGlyphWidth; ++col)
                for (int row = 0; row < kGlyphHeight; ++row)
                    if (kFontColumns[n][col] & (1 << row)) cairo_rectangle(cr, col, top + row, 1, 1);
        }
        cairo_fill(cr);
    }
    end(bitmap, cr);
}

const char* const kModuleLabels[8] = {"MOD1", "MOD2", "MOD3", "MOD4", "OP1", "OP2", "OP3", "OP4"};
const char* const kPageLabels[4] = {"OPRT", "LIB", "PREF", "MDRT"};

}  // namespace

Artwork::Artwork(double scale) : mScale(scale > 0 ? scale : 1) {
    background = new CBitmap(kWindowWidth, kWindowHeight, mScale);
    knob = new CBitmap(kKnobSize, kKnobSize * kKnobFrames, mScale);
    for (auto& b : moduleButtons)
        b = new CBitmap(kModuleButtonWidth, kModuleButtonFrameHeight * kModuleButtonFrames, mScale);
    for (auto& b : pageButtons) b = new CBitmap(kModuleButtonWidth, 2 * kModuleButtonFrameHeight, mScale);
    powerSwitch = new CBitmap(kSwitchWidth, kSwitchHeight, mScale);
    meter = new CBitmap(kMeterWidth, 2 * kMeterRowHeight, mScale);
    // The font stays at one pixel per font pixel: drawn without filtering it
    // becomes whole blocks of device pixels at any zoom.
    font = new CBitmap(kGlyphWidth, kFontHeight);
    draw();
    drawFont(font);
}

void Artwork::draw() {
    drawBackground(background);
    drawKnob(knob);
    for (int i = 0; i < 8; ++i) drawModuleButton(moduleButtons[i], kModuleLabels[i]);
    for (int i = 0; i < 4; ++i) drawPageButton(pageButtons[i], kPageLabels[i]);
    drawPowerSwitch(powerSwitch);
    drawMeter(meter);
}

void Artwork::setScale(double scale) {
    if (!(scale > 0) || scale == mScale) return;
    mScale = scale;
    for (CBitmap* b : {background, knob, powerSwitch, meter}) b->rescale(scale);
    for (CBitmap* b : moduleButtons) b->rescale(scale);
    for (CBitmap* b : pageButtons) b->rescale(scale);
    draw();
}

Artwork::~Artwork() {
    auto drop = [](CBitmap*& b) {
        if (b) b->forget();
        b = nullptr;
    };
    drop(background);
    drop(knob);
    for (auto& b : moduleButtons) drop(b);
    for (auto& b : pageButtons) drop(b);
    drop(powerSwitch);
    drop(meter);
    drop(font);
}

}  // namespace vh::editor
