#pragma once
// The LV2 plug-in's identity and port layout, shared by the plug-in, its
// window, the build-time description writer and the tests. The automatable
// parameters come first, so a control port's index is its parameter index.

#include "engine/ParameterLayout.h"

namespace vh::lv2 {

inline constexpr const char* kPluginUri = "urn:vornhalyx:VornHalyx";
inline constexpr const char* kUiUri = "urn:vornhalyx:VornHalyx#ui";
// The state key under which the plug-in's chunk (preset store, selection,
// controller assignments) is kept.
inline constexpr const char* kChunkKey = "urn:vornhalyx:VornHalyx#chunk";
inline constexpr const char* kBinaryName = "VornHalyx.so";
inline constexpr const char* kDescriptionName = "VornHalyx.ttl";

enum Port : int {
    kPortInputL = param::kNumAutomatable,
    kPortInputR,
    kPortSideChainL,
    kPortSideChainR,
    kPortOutputL,
    kPortOutputR,
    kPortControl,  // atom sequence: MIDI and the host's time position
    kPortLatency,
    kNumPorts,
};

// The engine's inputs (main L/R, side-chain L/R) and outputs in port order.
constexpr int kNumEngineInputs = 4;
constexpr int kNumEngineOutputs = 2;

}  // namespace vh::lv2
