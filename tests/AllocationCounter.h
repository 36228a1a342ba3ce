#pragma once
// Counts the allocations and frees (operator new and delete) made by the
// calling thread while counting is on: the audio path must make none.

namespace vh::test {

void countAllocations(bool on);
// Allocations plus frees counted on this thread since it last started counting.
int allocationsCounted();

}  // namespace vh::test
