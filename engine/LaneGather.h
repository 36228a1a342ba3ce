#pragma once
// Loading four floats that were just written one at a time.

#include "modules/Vec4.h"

namespace vh {

// The four floats at p as one vector, built from scalar loads: a single wide
// load right behind four narrow stores (modules writing their outputs, the
// tick adding modulation entry by entry) misses store-to-load forwarding and
// stalls until the stores retire.
inline Vec4 gatherWritten(const float* p) {
    Vec4 v(p[0]);
#if defined(__SSE__)
    asm("" : "+x"(v.v));  // keeps the compiler from merging the loads again
#endif
    v.set(1, p[1]);
    v.set(2, p[2]);
    v.set(3, p[3]);
    return v;
}

}  // namespace vh
