#pragma once
// A small LV2 host on lilv for the tests: loads the built bundle alone (not
// whatever else is installed), runs the plug-in in blocks with MIDI and time
// positions, and reaches its state through lilv and through the plug-in's
// own state interface.

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <array>
#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "lv2/Lv2Ports.h"

namespace vh::test {

class UridMap {
public:
    LV2_URID map(const char* uri) {
        auto it = mIds.find(uri);
        if (it != mIds.end()) return it->second;
        mUris.push_back(uri);
        LV2_URID id = static_cast<LV2_URID>(mUris.size());
        mIds[uri] = id;
        return id;
    }
    const char* unmap(LV2_URID id) const { return id >= 1 && id <= mUris.size() ? mUris[id - 1].c_str() : nullptr; }

    LV2_URID_Map mapFeatureData{this, [](LV2_URID_Map_Handle h, const char* uri) {
                                    return static_cast<UridMap*>(h)->map(uri);
                                }};
    LV2_URID_Unmap unmapFeatureData{this, [](LV2_URID_Unmap_Handle h, LV2_URID id) {
                                        return static_cast<const UridMap*>(h)->unmap(id);
                                    }};
    LV2_Feature mapFeature{LV2_URID__map, &mapFeatureData};
    LV2_Feature unmapFeature{LV2_URID__unmap, &unmapFeatureData};

private:
    std::map<std::string, LV2_URID> mIds;
    std::vector<std::string> mUris;
};

// The world with only the LV2 specifications and our bundle.
class Lv2World {
public:
    Lv2World() {
        world = lilv_world_new();
        lilv_world_load_specifications(world);
        lilv_world_load_plugin_classes(world);
        std::string bundle = std::string("file://") + VH_LV2_BUNDLE + "/";
        LilvNode* node = lilv_new_uri(world, bundle.c_str());
        lilv_world_load_bundle(world, node);
        lilv_node_free(node);
        LilvNode* uri = lilv_new_uri(world, lv2::kPluginUri);
        plugin = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), uri);
        lilv_node_free(uri);
    }
    ~Lv2World() { lilv_world_free(world); }
    Lv2World(const Lv2World&) = delete;
    Lv2World& operator=(const Lv2World&) = delete;

    LilvNode* uri(const char* text) { return lilv_new_uri(world, text); }

    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
};

struct MidiMessage {
    uint32_t frame;
    std::array<uint8_t, 3> bytes;
};

struct Position {
    uint32_t frame;
    double bpm;
    double beat;
    double speed;
};

class Lv2Instance {
public:
    Lv2Instance(Lv2World& world, double rate, int maxBlock = 4096) : mWorld(world), mRate(rate) {
        features[0] = &urids.mapFeature;
        features[1] = &urids.unmapFeature;
        features[2] = nullptr;
        instance = lilv_plugin_instantiate(world.plugin, rate, features);
        if (!instance) return;
        for (int i = 0; i < param::kNumAutomatable; ++i) {
            LilvNode *def = nullptr, *min = nullptr, *max = nullptr;
            lilv_port_get_range(world.plugin, lilv_plugin_get_port_by_index(world.plugin, i), &def, &min, &max);
            controls[i] = def ? lilv_node_as_float(def) : 0.0f;
            lilv_node_free(def);
            lilv_node_free(min);
            lilv_node_free(max);
            lilv_instance_connect_port(instance, i, &controls[i]);
        }
        for (auto& b : audio) b.assign(maxBlock, 0.0f);
        for (int c = 0; c < 6; ++c) lilv_instance_connect_port(instance, lv2::kPortInputL + c, audio[c].data());
        atomBuffer.assign(64 * 1024 / 8, 0);
        lilv_instance_connect_port(instance, lv2::kPortControl, atomBuffer.data());
        lilv_instance_connect_port(instance, lv2::kPortLatency, &latency);
        lv2_atom_forge_init(&forge, &urids.mapFeatureData);
        lilv_instance_activate(instance);
    }
    ~Lv2Instance() {
        if (!instance) return;
        lilv_instance_deactivate(instance);
        lilv_instance_free(instance);
    }
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    // One block: inputs (side-chain silent), MIDI and positions in, the two
    // outputs appended to outL/outR.
    void run(const float* inL, const float* inR, int frames, std::vector<float>& outL, std::vector<float>& outR,
             const std::vector<MidiMessage>& midi = {}, const std::vector<Position>& positions = {}) {
        std::memcpy(audio[0].data(), inL, sizeof(float) * frames);
        std::memcpy(audio[1].data(), inR, sizeof(float) * frames);
        std::fill(audio[2].begin(), audio[2].begin() + frames, 0.0f);
        std::fill(audio[3].begin(), audio[3].begin() + frames, 0.0f);
        forgeEvents(midi, positions);
        lilv_instance_run(instance, frames);
        outL.insert(outL.end(), audio[4].begin(), audio[4].begin() + frames);
        outR.insert(outR.end(), audio[5].begin(), audio[5].begin() + frames);
    }

    // The plug-in's own state interface: what it stores, and a restore from
    // given chunk bytes.
    const LV2_State_Interface* stateInterface() {
        return static_cast<const LV2_State_Interface*>(lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    }
    std::vector<uint8_t> savedChunk() {
        struct Store {
            std::vector<uint8_t> bytes;
            LV2_URID key;
            int count = 0;
        } store{{}, urids.map(lv2::kChunkKey)};
        auto fn = [](LV2_State_Handle h, uint32_t key, const void* value, size_t size, uint32_t, uint32_t) {
            auto* s = static_cast<Store*>(h);
            ++s->count;
            if (key == s->key) s->bytes.assign(static_cast<const uint8_t*>(value), static_cast<const uint8_t*>(value) + size);
            return LV2_STATE_SUCCESS;
        };
        stateInterface()->save(lilv_instance_get_handle(instance), fn, &store, LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE,
                                nullptr);
        return store.bytes;
    }
    LV2_State_Status restoreChunk(const std::vector<uint8_t>& bytes, const char* type = LV2_ATOM__Chunk) {
        struct Retrieve {
            const std::vector<uint8_t>* bytes;
            LV2_URID key, type;
        } r{&bytes, urids.map(lv2::kChunkKey), urids.map(type)};
        auto fn = [](LV2_State_Handle h, uint32_t key, size_t* size, uint32_t* t, uint32_t* flags) -> const void* {
            auto* r = static_cast<Retrieve*>(h);
            if (key != r->key) return nullptr;
            *size = r->bytes->size();
            *t = r->type;
            *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
            return r->bytes->data();
        };
        return stateInterface()->restore(lilv_instance_get_handle(instance), fn, &r, 0, nullptr);
    }

    UridMap urids;
    const LV2_Feature* features[3];
    LilvInstance* instance = nullptr;
    std::array<float, param::kNumAutomatable> controls{};
    std::array<std::vector<float>, 6> audio;
    std::vector<uint64_t> atomBuffer;
    float latency = -1.0f;

private:
    void forgeEvents(const std::vector<MidiMessage>& midi, const std::vector<Position>& positions) {
        lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(atomBuffer.data()), atomBuffer.size() * 8);
        LV2_Atom_Forge_Frame sequence;
        lv2_atom_forge_sequence_head(&forge, &sequence, 0);
        size_t m = 0, p = 0;
        while (m < midi.size() || p < positions.size()) {
            // Positions before MIDI of the same frame, as hosts send them.
            bool takePosition = p < positions.size() && (m >= midi.size() || positions[p].frame <= midi[m].frame);
            if (takePosition) {
                const Position& pos = positions[p++];
                lv2_atom_forge_frame_time(&forge, pos.frame);
                LV2_Atom_Forge_Frame object;
                lv2_atom_forge_object(&forge, &object, 0, urids.map(LV2_TIME__Position));
                lv2_atom_forge_key(&forge, urids.map(LV2_TIME__beatsPerMinute));
                lv2_atom_forge_float(&forge, static_cast<float>(pos.bpm));
                lv2_atom_forge_key(&forge, urids.map(LV2_TIME__beat));
                lv2_atom_forge_double(&forge, pos.beat);
                lv2_atom_forge_key(&forge, urids.map(LV2_TIME__speed));
                lv2_atom_forge_float(&forge, static_cast<float>(pos.speed));
                lv2_atom_forge_pop(&forge, &object);
            } else {
                const MidiMessage& msg = midi[m++];
                lv2_atom_forge_frame_time(&forge, msg.frame);
                lv2_atom_forge_atom(&forge, 3, urids.map(LV2_MIDI__MidiEvent));
                lv2_atom_forge_write(&forge, msg.bytes.data(), 3);
            }
        }
        lv2_atom_forge_pop(&forge, &sequence);
    }

    Lv2World& mWorld;
    double mRate;
    LV2_Atom_Forge forge{};
};

}  // namespace vh::test
