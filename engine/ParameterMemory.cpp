#include "engine/ParameterMemory.h"

#include "modules/Published.h"

namespace vh {

ParameterMemory::ParameterMemory(int records, int slots, int types, int params, const std::vector<float>& defaults)
    : mRecords(records), mSlots(slots), mTypes(types), mParams(params) {
    mValues.resize(std::size_t(records) * slots * types * params);
    for (int record = 0; record < records; ++record)
        for (int slot = 0; slot < slots; ++slot)
            for (int type = 0; type < types; ++type)
                for (int i = 0; i < params; ++i)
                    mValues[at(record, slot, type, i)] = defaults[std::size_t(type) * params + i];
}

bool ParameterMemory::holds(int record, int slot, int type, int i) const {
    return record >= 0 && record < mRecords && slot >= 0 && slot < mSlots && type >= 0 && type < mTypes && i >= 0 &&
           i < mParams;
}

std::size_t ParameterMemory::at(int record, int slot, int type, int i) const {
    return ((std::size_t(record) * mSlots + slot) * mTypes + type) * mParams + i;
}

float ParameterMemory::recall(int record, int slot, int type, int i) const {
    return holds(record, slot, type, i) ? observe(mValues[at(record, slot, type, i)]) : 0.0f;
}

void ParameterMemory::remember(int record, int slot, int type, int i, float value) {
    if (holds(record, slot, type, i)) publish(mValues[at(record, slot, type, i)], value);
}

}  // namespace vh
