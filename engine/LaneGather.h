#pragma once
// Loading four floats that were just written one at a time.

#include "modules/Vec4.h"

namespace vh {

// The four floats at p as one vector, built from scalar loads: a single wide
// load right behind four narrow stores (modules writing their outputs, the
// tick adding modulation entry by entry) misses store-to-load forwarding and
// stalls until the stores retire.
inline Vec4 gatherWritten(const float* p) {
#if defined(__SSE__)
    Float4Raw a = {p[0], 0.0f, 0.0f, 0.0f}, b = {p[1], 0.0f, 0.0f, 0.0f};
    Float4Raw c = {p[2], 0.0f, 0.0f, 0.0f}, d = {p[3], 0.0f, 0.0f, 0.0f};
    asm("" : "+x"(a), "+x"(b), "+x"(c), "+x"(d));  // keeps the compiler from merging the loads again
    // Two interleaves and one move of halves: (p0 p1 p2 p3).
    Vec4 ab = shuffleLanes<0, 4, 1, 5>(a, b);
    Vec4 cd = shuffleLanes<0, 4, 1, 5>(c, d);
    return shuffleLanes<0, 1, 4, 5>(ab, cd);
#else
    return Vec4(p[0], p[1], p[2], p[3]);
#endif
}

}  // namespace vh
