// Cost of drawing with the view layer at the editor's size: a full redraw
// of a window full of knobs, and an idle step where only a few small views
// (meters) changed.

#include <benchmark/benchmark.h>

#include <vector>

#include "toolkit/CBitmap.h"
#include "toolkit/CControls.h"
#include "toolkit/CDrawContext.h"
#include "toolkit/CFrame.h"
#include "toolkit/COffscreenWindow.h"

using namespace toolkit;

namespace {

constexpr int kKnobSize = 42;
constexpr int kKnobFrames = 102;

// Background and a knob strip drawn in code, about as busy as the real ones.
struct Scene {
    Scene() {
        frame = new CFrame(CRect(0, 0, 830, 335));
        frame->setClock([this] { return now; });
        CBitmap* background = new CBitmap(830, 335);
        {
            CDrawContext c(background);
            for (int y = 0; y < 335; y += 5) {
                c.setFillColor(CColor(40, static_cast<uint8_t>(50 + y / 4), 60));
                c.fillRect(CRect(0, y, 830, y + 5));
            }
        }
        frame->setBackground(background);
        background->forget();
        CBitmap* strip = new CBitmap(kKnobSize, kKnobSize * kKnobFrames);
        {
            CDrawContext c(strip);
            for (int i = 0; i < kKnobFrames; ++i) {
                CRect r(2, i * kKnobSize + 2, kKnobSize - 2, (i + 1) * kKnobSize - 2);
                c.setFillColor(CColor(200, 200, 210));
                c.setFrameColor(CColor(30, 30, 30));
                c.setLineWidth(2);
                c.drawEllipse(r, kDrawFilledAndStroked);
                c.drawLine(r.getCenter(), CPoint(r.left + i * 0.35, r.top + 4));
            }
        }
        for (int i = 0; i < 40; ++i) {
            double x = 20 + (i % 16) * 50;
            double y = 20 + (i / 16) * 100;
            auto* knob = new CAnimKnob(CRect(x, y, x + kKnobSize, y + kKnobSize), nullptr, i, kKnobFrames, kKnobSize, strip);
            knob->setValue(static_cast<float>(i) / 40);
            frame->addView(knob);
            knobs.push_back(knob);
        }
        strip->forget();
        for (int i = 0; i < 4; ++i) {
            auto* meter = new CTextLabel(CRect(65, 304 + i * 8, 285, 312 + i * 8));
            meter->setBackColor(CColor(10, 200, 10));
            frame->addView(meter);
            meters.push_back(meter);
        }
        window = frame->openOffscreen();
        frame->idle();
    }
    ~Scene() { frame->forget(); }

    uint64_t now = 0;
    CFrame* frame;
    COffscreenWindow* window;
    std::vector<CAnimKnob*> knobs;
    std::vector<CTextLabel*> meters;
};

void BM_ToolkitFullRedraw(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) {
        scene.frame->invalidAll();
        scene.frame->idle();
        scene.window->takePresented();
    }
}
BENCHMARK(BM_ToolkitFullRedraw)->Unit(benchmark::kMillisecond);

void BM_ToolkitIdleWithMetersChanging(benchmark::State& state) {
    Scene scene;
    for (auto _ : state) {
        scene.now += 50;
        for (CTextLabel* meter : scene.meters) meter->setDirty();
        scene.frame->idle();
        scene.window->takePresented();
    }
}
BENCHMARK(BM_ToolkitIdleWithMetersChanging)->Unit(benchmark::kMicrosecond);

}  // namespace
