// The editor's drawing costs off screen: a full redraw of the whole window
// (target under 5 ms at 100 %, under 10 ms at 200 %) and an idle step in which only the meters move, or in
// which both module plots move (targets under 0.5 ms).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "editor/Editor.h"
#include "engine/Plugin.h"
#include "modules/ModuleTypes.h"

namespace {

intptr_t hostCallback(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct EditorScene {
    // With `plots`, an LFO in MOD1 sweeps the first parameter (the cutoff of
    // the filters) of the operator in OP1 and modulation preview is on: both
    // plots move at every idle step.
    explicit EditorScene(bool plots = false, int operatorType = vh::kOpBiquad)
        : plugin(std::make_unique<vh::Plugin>(&hostCallback, "/tmp/vh_bench_editor")) {
        using namespace vh;
        plugin->setSampleRate(44100.0f);
        plugin->resume();
        plugin->setParameter(vh::param::kCurrMain, 0.625f);  // preferences
        if (plots) {
            plugin->setParameter(param::kModType1, discreteValue(kModLfo, kNumTypeSteps));
            plugin->setParameter(param::kOpType1, discreteValue(operatorType, kNumTypeSteps));
            plugin->setParameter(param::opParam(0, 0), 0.5f);
            plugin->setParameter(param::kSlotSource1, discreteValue(0, kNumSources));  // MOD1
            plugin->setParameter(param::kSlotDest1, discreteValue(3, kNumDestinations));  // OP1 freqA
            plugin->setParameter(param::kSlotSens1, 0.9f);
            plugin->setParameter(param::kModulationPreview, discreteValue(1, 3));
        }
        // The bench's own settings, never a saved zoom of the user's.
        auto owned = std::make_unique<vh::editor::Editor>(plugin.get(), "/tmp/vh_bench_editor");
        editor = owned.get();
        editor->setClock([this] { return now; });
        plugin->attachEditor(std::move(owned));
        editor->openOffscreen();
    }
    uint64_t now = 0;
    std::unique_ptr<vh::Plugin> plugin;
    vh::editor::Editor* editor = nullptr;
};

void BM_EditorFullRedraw(benchmark::State& state) {
    EditorScene scene;
    for (auto _ : state) {
        scene.editor->getFrame()->invalidAll();
        scene.editor->getFrame()->redrawDirty();
    }
}
BENCHMARK(BM_EditorFullRedraw)->Unit(benchmark::kMicrosecond);

// Argument: the zoom in percent; the window is drawn at its device size.
void BM_EditorFullRedrawZoomed(benchmark::State& state) {
    EditorScene scene;
    scene.editor->setZoomPercent(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        scene.editor->getFrame()->invalidAll();
        scene.editor->getFrame()->redrawDirty();
    }
}
BENCHMARK(BM_EditorFullRedrawZoomed)->Arg(100)->Arg(150)->Arg(200)->Arg(300)->Unit(benchmark::kMicrosecond);

void BM_EditorIdleWithMeters(benchmark::State& state) {
    EditorScene scene;
    std::vector<float> l(64), r(64), side(64, 0.0f), outL(64), outR(64);
    float* in[4] = {l.data(), r.data(), side.data(), side.data()};
    float* out[2] = {outL.data(), outR.data()};
    int step = 0;
    for (auto _ : state) {
        state.PauseTiming();
        // A level that changes every step, so the meters redraw each time.
        float level = 0.1f + 0.8f * float(step % 17) / 16.0f;
        for (size_t i = 0; i < l.size(); ++i) l[i] = r[i] = level;
        scene.plugin->processReplacing(in, out, 64);
        scene.now += 50;
        ++step;
        state.ResumeTiming();
        scene.editor->idle();
    }
}
BENCHMARK(BM_EditorIdleWithMeters)->Unit(benchmark::kMicrosecond);

// Argument: the operator type (biquad: analytic response; SVF: measured
// through its own processing).
void BM_EditorIdleWithAnimatedPlots(benchmark::State& state) {
    EditorScene scene(true, static_cast<int>(state.range(0)));
    std::vector<float> l(2205, 0.1f), r(2205, 0.1f), side(2205, 0.0f), outL(2205), outR(2205);
    float* in[4] = {l.data(), r.data(), side.data(), side.data()};
    float* out[2] = {outL.data(), outR.data()};
    for (auto _ : state) {
        state.PauseTiming();
        scene.plugin->processReplacing(in, out, 2205);  // the 50 ms between two idle steps
        scene.now += 50;
        state.ResumeTiming();
        scene.editor->idle();
    }
}
BENCHMARK(BM_EditorIdleWithAnimatedPlots)->Arg(vh::kOpBiquad)->Arg(vh::kOpSvf)->Unit(benchmark::kMicrosecond);

void BM_EditorFullRedrawWithPlots(benchmark::State& state) {
    EditorScene scene(true);
    for (auto _ : state) {
        scene.editor->getFrame()->invalidAll();
        scene.editor->getFrame()->redrawDirty();
    }
}
BENCHMARK(BM_EditorFullRedrawWithPlots)->Unit(benchmark::kMicrosecond);

}  // namespace
