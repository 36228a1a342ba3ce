// The plug-in's single export.

#include <new>

#include "engine/Plugin.h"

extern "C" __attribute__((visibility("default"))) vst::AEffect* VSTPluginMain(vst::HostCallback host) {
    // A host that does not answer the version query cannot drive us.
    if (host == nullptr || host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        auto* plugin = new vh::Plugin(host);
        return plugin->getAeffect();
    } catch (...) {
        return nullptr;
    }
}
