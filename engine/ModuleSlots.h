#pragma once
// One module family's slots as the engine keeps them: the installed modules
// and how other threads reach them, the type, bypass and fade of each slot,
// the handover of modules the builder thread prepares for the audio thread,
// what the installed modules need per sample, and the parameter values the
// host and the editor see.

#include <atomic>
#include <memory>
#include <vector>

#include "engine/ParameterMemory.h"
#include "modules/Ramp.h"

namespace vh {

// A module asked for on the audio thread travels through its slot's
// handover: `requested` (audio thread, or cancelled under the lock) -> built
// by the builder thread -> `ready` -> swapped in at a tick, the old module
// going back as `retired` to be destroyed off the audio thread.
template <class M>
struct Handover {
    std::atomic<int> requested{-1};
    std::atomic<M*> ready{nullptr};
    std::atomic<M*> retired{nullptr};
    int readyType = -1;               // published with `ready`
    float values[M::kCapacity] = {};  // the parameters `ready` was given
    bool switching = false;           // audio thread: fading out to swap
};

template <class M, int N>
struct ModuleSlots {
    static constexpr int kSlots = N;

    explicit ModuleSlots(ParameterMemory parameterMemory) : memory(std::move(parameterMemory)) {}

    std::unique_ptr<M> modules[N];
    // The modules as other threads see them, published after each swap
    // (sequentially consistent: see RetiredModules::collect).
    std::atomic<M*> view[N] = {};
    Handover<M> handover[N];

    float typeValue[N] = {};
    // Read by the builder thread, hence atomic.
    std::atomic<int> type[N] = {};
    float bypass[N] = {};
    // Fades a slot out for bypass or a module swap; the current factors as
    // one vector for the loop.
    Ramp active[N];
    alignas(16) float activeNow[N] = {};
    // Installed since the slot's parameters were last all applied.
    bool fresh[N] = {};
    // Whether the installed module reads the signal taps (read once at installation).
    bool readsTaps[N] = {};
    // The parameter values as the host and editor see them, and the values
    // each slot remembers per preset and type.
    float mirror[N][M::kCapacity] = {};
    ParameterMemory memory;
};

}  // namespace vh
