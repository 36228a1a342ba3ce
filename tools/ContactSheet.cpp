// The audit's contact sheet: one bank on one page, eight presets a row, each
// a small spectrogram of the demo phrase through it with its name under it,
// so a person sees at a glance which presets filter, smear, gate or pump.

#include <cairo.h>

#include <algorithm>
#include <cmath>

#include "tools/Audit.h"

namespace vhtool {

namespace {

constexpr int kColumns = 8;
constexpr int kTileWidth = 160;
constexpr int kTileHeight = 80;
constexpr int kLabelHeight = 16;
constexpr int kMargin = 10;
constexpr int kTitleHeight = 26;
constexpr double kFloorDb = -100.0;  // black
constexpr double kCeilingDb = -10.0;  // white-yellow

// A dark-to-bright heat ramp: black, purple, red, orange, pale yellow.
uint32_t heatColour(double db) {
    const double t = std::clamp((db - kFloorDb) / (kCeilingDb - kFloorDb), 0.0, 1.0);
    static const double stops[5][3] = {{0, 0, 0}, {0.35, 0.05, 0.45}, {0.85, 0.2, 0.25}, {1.0, 0.6, 0.1}, {1.0, 1.0, 0.75}};
    const double position = t * 4.0;
    const int i = std::min(3, static_cast<int>(position));
    const double f = position - i;
    uint32_t rgb = 0xFF000000u;
    for (int c = 0; c < 3; ++c) {
        const double value = stops[i][c] + (stops[i + 1][c] - stops[i][c]) * f;
        rgb |= static_cast<uint32_t>(std::lround(value * 255.0)) << (16 - 8 * c);
    }
    return rgb;
}

void drawTile(cairo_t* cr, const PresetAudit& audit, double x, double y) {
    const Spectrogram& s = audit.spectrogram;
    if (s.columns > 0 && s.rows > 0) {
        cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_RGB24, s.columns, s.rows);
        cairo_surface_flush(image);
        unsigned char* pixels = cairo_image_surface_get_data(image);
        const int stride = cairo_image_surface_get_stride(image);
        for (int row = 0; row < s.rows; ++row) {
            // Low frequencies at the bottom.
            auto* line = reinterpret_cast<uint32_t*>(pixels + stride * (s.rows - 1 - row));
            for (int column = 0; column < s.columns; ++column) line[column] = heatColour(s.at(column, row));
        }
        cairo_surface_mark_dirty(image);
        cairo_save(cr);
        cairo_rectangle(cr, x, y, kTileWidth, kTileHeight);
        cairo_clip(cr);
        cairo_translate(cr, x, y);
        cairo_scale(cr, double(kTileWidth) / s.columns, double(kTileHeight) / s.rows);
        cairo_set_source_surface(cr, image, 0, 0);
        cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_BILINEAR);
        cairo_paint(cr);
        cairo_restore(cr);
        cairo_surface_destroy(image);
    }
    // A red frame marks a preset that breaks a rule.
    if (audit.passes()) cairo_set_source_rgb(cr, 0.35, 0.35, 0.35);
    else cairo_set_source_rgb(cr, 0.9, 0.1, 0.1);
    cairo_set_line_width(cr, audit.passes() ? 1.0 : 2.0);
    cairo_rectangle(cr, x - 0.5, y - 0.5, kTileWidth + 1, kTileHeight + 1);
    cairo_stroke(cr);

    char label[64];
    std::snprintf(label, sizeof(label), "%d:%02d %s", audit.bank, audit.preset, audit.name.c_str());
    cairo_set_source_rgb(cr, 0.9, 0.9, 0.9);
    cairo_set_font_size(cr, 10.0);
    cairo_save(cr);
    cairo_rectangle(cr, x, y + kTileHeight, kTileWidth, kLabelHeight);
    cairo_clip(cr);
    cairo_move_to(cr, x, y + kTileHeight + 12);
    cairo_show_text(cr, label);
    cairo_restore(cr);
}

}  // namespace

bool writeContactSheet(const std::string& path, const std::vector<const PresetAudit*>& presets, std::string& error) {
    const int rows = (static_cast<int>(presets.size()) + kColumns - 1) / kColumns;
    const int width = kMargin + kColumns * (kTileWidth + kMargin);
    const int height = kTitleHeight + kMargin + rows * (kTileHeight + kLabelHeight + kMargin);
    cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height);
    cairo_t* cr = cairo_create(surface);
    cairo_set_source_rgb(cr, 0.1, 0.1, 0.11);
    cairo_paint(cr);
    cairo_select_font_face(cr, "sans-serif", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_NORMAL);
    if (!presets.empty()) {
        char title[96];
        std::snprintf(title, sizeof(title), "Bank %d: the demo phrase through each preset (40 Hz - 18 kHz, log)",
                      presets.front()->bank + 1);
        cairo_set_source_rgb(cr, 1, 1, 1);
        cairo_set_font_size(cr, 14.0);
        cairo_move_to(cr, kMargin, 18);
        cairo_show_text(cr, title);
    }
    for (size_t i = 0; i < presets.size(); ++i) {
        const int column = static_cast<int>(i) % kColumns, row = static_cast<int>(i) / kColumns;
        drawTile(cr, *presets[i], kMargin + column * (kTileWidth + kMargin),
                 kTitleHeight + kMargin + row * (kTileHeight + kLabelHeight + kMargin));
    }
    cairo_destroy(cr);
    const cairo_status_t status = cairo_surface_write_to_png(surface, path.c_str());
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        error = path + ": " + cairo_status_to_string(status);
        return false;
    }
    return true;
}

}  // namespace vhtool
