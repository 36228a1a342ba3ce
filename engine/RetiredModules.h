#pragma once
// Modules that have left their slot, destroyed off the audio thread and only
// while nobody can still be reading them. The editor and the host's text
// queries find a slot's module through its published view and read it
// inside a reading section. The module a slot held last stays alive until
// the slot's next replacement even outside sections; one retired twice over
// waits until no section is open.

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

#include "engine/WorkerThread.h"
#include "modules/Module.h"

namespace vh {

class RetiredModules {
public:
    // `collector` is the thread that calls collect(); it is woken when the
    // last open section closes while modules wait.
    explicit RetiredModules(WorkerThread& collector) : mCollector(collector) {}

    // Off the audio thread: `module` left slot `slot` (after leaving its view).
    template <class M>
    void retire(int slot, std::unique_ptr<M> module);
    // Destroys the modules retired twice over, if no section is open.
    void collect();

    void enterSection() { mReaders.fetch_add(1); }
    void leaveSection() {
        if (mReaders.fetch_sub(1) == 1 && mWaiting.load()) mCollector.wake();
    }

private:
    template <class M, int N>
    struct Family {
        std::unique_ptr<M> last[N];
        std::vector<std::unique_ptr<M>> graveyard;
    };
    template <class M>
    auto& familyOf() {
        return byFamily<M>(mOperators, mModulators);
    }

    WorkerThread& mCollector;
    std::mutex mMutex;  // between the builder and the host's threads
    Family<Operator, kNumOperatorSlots> mOperators;
    Family<Modulator, kNumModulatorSlots> mModulators;
    // Sequentially consistent, with the slots' views: see collect().
    std::atomic<int> mReaders{0};
    std::atomic<bool> mWaiting{false};
};

template <class M>
void RetiredModules::retire(int slot, std::unique_ptr<M> module) {
    {
        std::lock_guard<std::mutex> guard(mMutex);
        auto& family = familyOf<M>();
        if (family.last[slot]) family.graveyard.push_back(std::move(family.last[slot]));
        family.last[slot] = std::move(module);
    }
    collect();
}

}  // namespace vh
