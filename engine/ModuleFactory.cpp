#include "engine/ModuleFactory.h"

#include "modulators/ADSR.h"
#include "modulators/ENV.h"
#include "modulators/LFO.h"
#include "modulators/STEP.h"
#include "modules/Empty.h"
#include "operators/Biquad.h"
#include "operators/Comb.h"
#include "operators/CompExp.h"
#include "operators/DelayLine.h"
#include "operators/Distortion.h"
#include "operators/EQ.h"
#include "operators/Formant.h"
#include "operators/Gain.h"
#include "operators/LoFi.h"
#include "operators/Moog.h"
#include "operators/Panner.h"
#include "operators/PhaseInv.h"
#include "operators/Phaser.h"
#include "operators/Pitch.h"
#include "operators/Rectifier.h"
#include "operators/Reverb2.h"
#include "operators/SVF.h"
#include "operators/SideMix.h"
#include "operators/Stereo.h"

namespace vh {

std::unique_ptr<Operator> createOperator(int type, int slot, ModuleHost* owner) {
    switch (type) {
        case kOpBiquad: return std::make_unique<Biquad>(slot, owner);
        case kOpSvf: return std::make_unique<SVF>(slot, owner);
        case kOpMoog: return std::make_unique<Moog>(slot, owner);
        case kOpDistortion: return std::make_unique<Distortion>(slot, owner);
        case kOpCompExp: return std::make_unique<CompExp>(slot, owner);
        case kOpEq: return std::make_unique<EQ>(slot, owner);
        case kOpPhaser: return std::make_unique<Phaser>(slot, owner);
        case kOpFormant: return std::make_unique<Formant>(slot, owner);
        case kOpPitch: return std::make_unique<Pitch>(slot, owner);
        case kOpComb: return std::make_unique<Comb>(slot, owner);
        case kOpLoFi: return std::make_unique<LoFi>(slot, owner);
        case kOpDelay: return std::make_unique<DelayLine>(slot, owner);
        case kOpStereo: return std::make_unique<Stereo>(slot, owner);
        case kOpPanner: return std::make_unique<Panner>(slot, owner);
        case kOpPhaseInv: return std::make_unique<PhaseInv>(slot, owner);
        case kOpSideMix: return std::make_unique<SideMix>(slot, owner);
        case kOpRectifier: return std::make_unique<Rectifier>(slot, owner);
        case kOpReverb: return std::make_unique<Reverb2>(slot, owner);
        default: return std::make_unique<Gain>(slot, owner);
    }
}

std::unique_ptr<Modulator> createModulator(int type, int slot, ModuleHost* owner) {
    switch (type) {
        case kModLfo: return std::make_unique<LFO>(slot, owner);
        case kModEnv: return std::make_unique<ENV>(slot, owner);
        case kModAdsr: return std::make_unique<ADSR>(slot, owner);
        case kModStep: return std::make_unique<STEP>(slot, owner);
        default: return std::make_unique<Empty>(slot, owner);
    }
}

}  // namespace vh
