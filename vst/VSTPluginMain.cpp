// The plug-in's single export, and the place where the engine and its
// window are put together (the engine knows nothing of the editor).

#include <new>

#include "editor/Editor.h"
#include "engine/Plugin.h"

extern "C" __attribute__((visibility("default"))) vst::AEffect* VSTPluginMain(vst::HostCallback host) {
    // A host that does not answer the version query cannot drive us.
    if (host == nullptr || host(nullptr, vst::audioMasterVersion, 0, 0, nullptr, 0.0f) == 0) return nullptr;
    try {
        auto* plugin = new vh::Plugin(host);
        try {
            plugin->attachEditor(std::make_unique<vh::editor::Editor>(plugin));
        } catch (...) {
            // Without a window the plug-in still does its work.
        }
        return plugin->getAeffect();
    } catch (...) {
        return nullptr;
    }
}
