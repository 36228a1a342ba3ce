#include "engine/RetiredModules.h"

namespace vh {

// A retired module left its slot's view before it was retired; a reader that
// found it had announced itself before, so with sequentially consistent view
// and reader counts, no reader counted now means nobody holds a module of
// the graveyard. A reader still counted wakes the collector to try again
// when the last section closes.
void RetiredModules::collect() {
    std::vector<std::unique_ptr<Operator>> ops;
    std::vector<std::unique_ptr<Modulator>> mods;
    std::lock_guard<std::mutex> guard(mMutex);
    if (mOperators.graveyard.empty() && mModulators.graveyard.empty()) return;
    mWaiting.store(true);
    if (mReaders.load() != 0) return;
    mWaiting.store(false);
    ops.swap(mOperators.graveyard);
    mods.swap(mModulators.graveyard);
    // Destroyed as the guard is released: declared before it, they go after.
}

}  // namespace vh
