#pragma once
// The last value of every module parameter per preset, slot and module type,
// so a type chosen again in a slot comes back as the user left it there.
// Written wherever parameters are applied (the audio thread too) and read by
// the module builder and the editor's thread.

#include <cstddef>
#include <vector>

namespace vh {

class ParameterMemory {
public:
    // Every record starts from the types' defaults: `defaults` holds `params`
    // values for each of the `types` types.
    ParameterMemory(int records, int slots, int types, int params, const std::vector<float>& defaults);

    // A type number without a class has no row: it recalls 0 and remembers nothing.
    float recall(int record, int slot, int type, int i) const;
    void remember(int record, int slot, int type, int i, float value);

private:
    bool holds(int record, int slot, int type, int i) const;
    std::size_t at(int record, int slot, int type, int i) const;

    int mRecords, mSlots, mTypes, mParams;
    std::vector<float> mValues;
};

}  // namespace vh
