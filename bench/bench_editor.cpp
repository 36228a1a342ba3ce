// The editor's drawing costs off screen: a full redraw of the whole window
// (target under 5 ms) and an idle step in which only the meters move
// (target under 0.5 ms).

#include <benchmark/benchmark.h>

#include <cmath>
#include <memory>
#include <vector>

#include "editor/Editor.h"
#include "engine/Plugin.h"

namespace {

intptr_t hostCallback(vst::AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == vst::audioMasterVersion ? 2400 : 0;
}

struct EditorScene {
    EditorScene() : plugin(std::make_unique<vh::Plugin>(&hostCallback, "/tmp/vh_bench_editor")) {
        plugin->setSampleRate(44100.0f);
        plugin->resume();
        plugin->setParameter(vh::param::kCurrMain, 0.625f);  // preferences
        auto owned = std::make_unique<vh::editor::Editor>(plugin.get());
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

}  // namespace
