// The LV2 plug-in's exports: the DSP descriptor, where the engine and its
// window are put together as the VST entry point does, and the X11 window
// descriptor, which opens that same window inside the host's. The window
// needs the engine object itself (instance access), as it always had.

#include <lv2/core/lv2.h>
#include <lv2/instance-access/instance-access.h>
#include <lv2/ui/ui.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <thread>

#include "editor/Editor.h"
#include "lv2/Lv2Adapter.h"
#include "toolkit/CXcbWindow.h"

namespace vh::lv2 {
namespace {

Adapter* adapterOf(LV2_Handle handle) { return static_cast<Adapter*>(handle); }

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    try {
        std::unique_ptr<Adapter> adapter = Adapter::create(rate, features);
        if (!adapter) return nullptr;
        try {
            adapter->plugin().attachEditor(std::make_unique<editor::Editor>(&adapter->plugin()));
        } catch (...) {
            // Without a window the plug-in still does its work.
        }
        return adapter.release();
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data) { adapterOf(handle)->connect(port, data); }
void activate(LV2_Handle handle) { adapterOf(handle)->activate(); }
void run(LV2_Handle handle, uint32_t frames) { adapterOf(handle)->run(frames); }
void deactivate(LV2_Handle handle) { adapterOf(handle)->deactivate(); }
void cleanup(LV2_Handle handle) { delete adapterOf(handle); }

// Nothing may unwind into the host.
LV2_State_Status saveState(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state, uint32_t,
                           const LV2_Feature* const*) {
    try {
        return adapterOf(handle)->save(store, state);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}
LV2_State_Status restoreState(LV2_Handle handle, LV2_State_Retrieve_Function retrieve, LV2_State_Handle state,
                              uint32_t, const LV2_Feature* const*) {
    try {
        return adapterOf(handle)->restore(retrieve, state);
    } catch (...) {
        return LV2_STATE_ERR_UNKNOWN;
    }
}

const void* extensionData(const char* uri) {
    static const LV2_State_Interface state = {saveState, restoreState};
    if (std::strcmp(uri, LV2_STATE__interface) == 0) return &state;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate, run, deactivate, cleanup,
                                    extensionData};

// --- the window ---------------------------------------------------------------

const void* findFeature(const LV2_Feature* const* features, const char* uri) {
    for (int i = 0; features && features[i]; ++i)
        if (std::strcmp(features[i]->URI, uri) == 0) return features[i]->data;
    return nullptr;
}

class Window final : public UiLink {
public:
    Window(Adapter& adapter, LV2UI_Write_Function write, LV2UI_Controller controller, const LV2UI_Touch* touch)
        : mAdapter(adapter), mWrite(write), mController(controller), mTouch(touch),
          mThread(std::this_thread::get_id()) {
        for (float& k : mKnown) k = std::numeric_limits<float>::quiet_NaN();
    }
    ~Window() override {
        // A later window of the same instance owns the editor now.
        if (!mAdapter.detachUi(this)) return;
        if (vst::AEffEditor* editor = mAdapter.plugin().getEditor()) editor->close();
    }

    // The window's X id, 0 when it could not be opened.
    uint32_t open(void* parent, const LV2UI_Resize* resize) {
        auto* editor = dynamic_cast<editor::Editor*>(mAdapter.plugin().getEditor());
        if (editor == nullptr || !editor->open(parent)) return 0;
        auto* window = dynamic_cast<toolkit::CXcbWindow*>(editor->getFrame()->getPlatformWindow());
        if (window == nullptr) {
            editor->close();
            return 0;
        }
        vst::ERect* rect = nullptr;
        if (resize && editor->getRect(&rect) && rect)
            resize->ui_resize(resize->handle, rect->right - rect->left, rect->bottom - rect->top);
        mAdapter.attachUi(this);
        return window->getWindow();
    }

    void writeParameter(int index, float value) override {
        mKnown[index] = value;
        mWrite(mController, static_cast<uint32_t>(index), sizeof(float), 0, &value);
    }
    void touchParameter(int index, bool grabbed) override {
        if (mTouch) mTouch->touch(mTouch->handle, static_cast<uint32_t>(index), grabbed);
    }
    bool onUiThread() const override { return std::this_thread::get_id() == mThread; }

    // The host's values need no showing here: the engine applies them at the
    // next run and tells the window as it tells it of every change. They are
    // only remembered, so the window does not send them back.
    void portEvent(uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
        if (format != 0 || size != sizeof(float) || port >= static_cast<uint32_t>(param::kNumAutomatable)) return;
        float v;
        std::memcpy(&v, buffer, sizeof(v));
        mKnown[port] = v;
    }

    int idle() {
        if (vst::AEffEditor* editor = mAdapter.plugin().getEditor()) editor->idle();
        mAdapter.flushAnnouncements(*this, mKnown);
        return 0;
    }

private:
    Adapter& mAdapter;
    LV2UI_Write_Function mWrite;
    LV2UI_Controller mController;
    const LV2UI_Touch* mTouch;
    std::thread::id mThread;
    float mKnown[param::kNumAutomatable];
};

LV2UI_Handle uiInstantiate(const LV2UI_Descriptor*, const char* pluginUri, const char*, LV2UI_Write_Function write,
                           LV2UI_Controller controller, LV2UI_Widget* widget, const LV2_Feature* const* features) {
    if (pluginUri == nullptr || std::strcmp(pluginUri, kPluginUri) != 0 || write == nullptr || widget == nullptr)
        return nullptr;
    void* parent = const_cast<void*>(findFeature(features, LV2_UI__parent));
    auto* adapter = static_cast<Adapter*>(const_cast<void*>(findFeature(features, LV2_INSTANCE_ACCESS_URI)));
    if (parent == nullptr || adapter == nullptr) return nullptr;
    const auto* touch = static_cast<const LV2UI_Touch*>(findFeature(features, LV2_UI__touch));
    const auto* resize = static_cast<const LV2UI_Resize*>(findFeature(features, LV2_UI__resize));
    try {
        auto window = std::make_unique<Window>(*adapter, write, controller, touch);
        uint32_t id = window->open(parent, resize);
        if (id == 0) return nullptr;
        *widget = reinterpret_cast<LV2UI_Widget>(static_cast<uintptr_t>(id));
        return window.release();
    } catch (...) {
        return nullptr;
    }
}

Window* windowOf(LV2UI_Handle handle) { return static_cast<Window*>(handle); }

void uiCleanup(LV2UI_Handle handle) { delete windowOf(handle); }

void uiPortEvent(LV2UI_Handle handle, uint32_t port, uint32_t size, uint32_t format, const void* buffer) {
    if (buffer) windowOf(handle)->portEvent(port, size, format, buffer);
}

int uiIdle(LV2UI_Handle handle) {
    try {
        return windowOf(handle)->idle();
    } catch (...) {
        return 1;
    }
}

const void* uiExtensionData(const char* uri) {
    static const LV2UI_Idle_Interface idle = {uiIdle};
    if (std::strcmp(uri, LV2_UI__idleInterface) == 0) return &idle;
    return nullptr;
}

const LV2UI_Descriptor kUiDescriptor = {kUiUri, uiInstantiate, uiCleanup, uiPortEvent, uiExtensionData};

}  // namespace
}  // namespace vh::lv2

extern "C" __attribute__((visibility("default"))) const LV2_Descriptor* lv2_descriptor(uint32_t index) {
    return index == 0 ? &vh::lv2::kDescriptor : nullptr;
}

extern "C" __attribute__((visibility("default"))) const LV2UI_Descriptor* lv2ui_descriptor(uint32_t index) {
    return index == 0 ? &vh::lv2::kUiDescriptor : nullptr;
}
