// The four-lane FFT at each size (forward + inverse), FFTW's best plan for
// four real forward + inverse transforms as the yardstick, and the pitch
// shifter per stereo sample at each resolution.

#include <benchmark/benchmark.h>

#include <vector>

#include "operators/FFT.h"
#include "operators/Pitch.h"

#ifdef VH_HAVE_FFTW
#include <fftw3.h>
#endif

using namespace vh;

namespace {

std::vector<Vec4> benchSignal(int n) {
    std::vector<Vec4> x(n);
    unsigned seed = 12345u;
    for (auto& v : x) {
        for (int lane = 0; lane < 4; ++lane) {
            seed = seed * 1664525u + 1013904223u;
            v.set(lane, float(seed >> 8) / 8388608.0f - 1.0f);
        }
    }
    return x;
}

// Each iteration also scales the result back (inverse(forward(x)) grows by
// N/2); the FFTW benchmark below does the same, so the comparison is fair.
void BM_FftForwardInverse(benchmark::State& state) {
    const int n = int(state.range(0));
    fft::prepare();
    std::vector<Vec4> x = benchSignal(n);
    const Vec4 scale(2.0f / float(n));
    for (auto _ : state) {
        fft::forward(x.data(), n);
        fft::inverse(x.data(), n);
        for (auto& v : x) v *= scale;
        benchmark::DoNotOptimize(x.data());
        benchmark::ClobberMemory();
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FftForwardInverse)->Arg(512)->Arg(1024)->Arg(2048)->Arg(4096);

#ifdef VH_HAVE_FFTW
// Four separate real transforms of size n, forward and back, with the best
// plan FFTW finds (FFTW_PATIENT), in-place on aligned buffers.
void BM_FftwFourRealForwardInverse(benchmark::State& state) {
    const int n = int(state.range(0));
    float* data[4];
    fftwf_plan forwardPlan[4], inversePlan[4];
    for (int i = 0; i < 4; ++i) {
        data[i] = fftwf_alloc_real(size_t(n + 2));
        forwardPlan[i] = fftwf_plan_dft_r2c_1d(n, data[i], reinterpret_cast<fftwf_complex*>(data[i]), FFTW_PATIENT);
        inversePlan[i] = fftwf_plan_dft_c2r_1d(n, reinterpret_cast<fftwf_complex*>(data[i]), data[i], FFTW_PATIENT);
        std::vector<Vec4> x = benchSignal(n);
        for (int j = 0; j < n; ++j) data[i][j] = x[j][i];
    }
    const float scale = 1.0f / float(n);
    for (auto _ : state) {
        for (int i = 0; i < 4; ++i) {
            fftwf_execute(forwardPlan[i]);
            fftwf_execute(inversePlan[i]);
        }
        for (int i = 0; i < 4; ++i)
            for (int j = 0; j < n; ++j) data[i][j] *= scale;
        benchmark::DoNotOptimize(data[0]);
        benchmark::ClobberMemory();
    }
    for (int i = 0; i < 4; ++i) {
        fftwf_destroy_plan(forwardPlan[i]);
        fftwf_destroy_plan(inversePlan[i]);
        fftwf_free(data[i]);
    }
}
BENCHMARK(BM_FftwFourRealForwardInverse)->Arg(2048);
#endif

// Average cost of one stereo sample, frame processing included (a frame is
// processed every N/4 samples); 65536 samples per iteration.
void BM_PitchProcessSample(benchmark::State& state) {
    const int resolution = int(state.range(0));
    const float rate = float(state.range(1));
    Pitch pitch(0, nullptr);
    pitch.setParameter(Pitch::kSemitones, discreteValue(12 + 7, 25));
    pitch.setParameter(Pitch::kResolution, discreteValue(resolution, 3));
    pitch.setSampleRate(rate);
    constexpr int kSamples = 65536;
    std::vector<float> input(kSamples);
    unsigned seed = 1u;
    for (auto& s : input) {
        seed = seed * 1664525u + 1013904223u;
        s = float(seed >> 8) / 8388608.0f - 1.0f;
    }
    for (auto _ : state) {
        for (int i = 0; i < kSamples; ++i) {
            if ((i & 31) == 0) {
                pitch.resetModulation();
                pitch.update();
            }
            float l = input[i], r = -input[i];
            pitch.processSample(&l, &r);
            benchmark::DoNotOptimize(l);
            benchmark::DoNotOptimize(r);
        }
    }
    state.SetItemsProcessed(state.iterations() * kSamples);
    // CPU seconds per stereo sample (shown with an "n" suffix for ns)
    state.counters["per_sample"] = benchmark::Counter(double(state.iterations()) * kSamples,
                                                      benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_PitchProcessSample)
    ->Args({Pitch::kStd, 44100})
    ->Args({Pitch::kHigh, 44100})
    ->Args({Pitch::kHighest, 44100})
    ->Args({Pitch::kHighest, 96000});

}  // namespace
