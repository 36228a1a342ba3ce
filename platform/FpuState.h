#pragma once
// Floating-point mode for a processing block: flush-to-zero, denormals-are-
// zero and round-toward-zero, restored when the block ends.

#if defined(__SSE__)
#include <xmmintrin.h>
#endif

namespace vh {

class ScopedFlushToZero {
public:
#if defined(__SSE__)
    // FTZ (bit 15), DAZ (bit 6) and rounding toward zero (bits 13-14).
    static constexpr unsigned kModeBits = 0xE040;
    ScopedFlushToZero() : mSaved(_mm_getcsr()) { _mm_setcsr(mSaved | kModeBits); }
    ~ScopedFlushToZero() { _mm_setcsr(mSaved); }

private:
    unsigned mSaved;
#endif
};

}  // namespace vh
