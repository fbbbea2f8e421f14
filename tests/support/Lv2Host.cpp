#include "support/Lv2Host.h"

#include <dlfcn.h>
#include <gtest/gtest.h>
#include <lv2/atom/forge.h>
#include <lv2/atom/util.h>
#include <lv2/midi/midi.h>
#include <lv2/time/time.h>

#include <algorithm>
#include <cstring>

#include "lv2/Lv2Plugin.h"

Lv2World& Lv2World::get() {
    static Lv2World world;
    return world;
}

Lv2World::Lv2World() : world(lilv_world_new()) {
    mapData = {this, [](LV2_URID_Map_Handle h, const char* uri) { return static_cast<Lv2World*>(h)->map(uri); }};
    unmapData = {this, [](LV2_URID_Unmap_Handle h, LV2_URID id) { return static_cast<Lv2World*>(h)->unmap(id); }};
    mapFeatureData = {LV2_URID__map, &mapData};
    unmapFeatureData = {LV2_URID__unmap, &unmapData};
    featureList[0] = &mapFeatureData;
    featureList[1] = &unmapFeatureData;
    featureList[2] = nullptr;
    // Only the build's bundles: an installed copy must not stand in for them.
    LilvNode* path = lilv_new_string(world, ZORVEK_BINARY_DIR "/lv2");
    lilv_world_set_option(world, LILV_OPTION_LV2_PATH, path);
    lilv_node_free(path);
    lilv_world_load_all(world);
    // Kept mapped when lilv closes them: unloading a sanitizer-built library makes the
    // leak checker report its runtime's own bookkeeping as leaked.
    for (const char* library : {"Zorvek2.lv2/Zorvek2.so", "ZorvekCapture.lv2/ZorvekCapture.so"})
        dlopen((std::string(ZORVEK_BINARY_DIR "/lv2/") + library).c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
}

Lv2World::~Lv2World() {
    for (auto& [text, node] : nodes) lilv_node_free(node);
    lilv_world_free(world);
}

LV2_URID Lv2World::map(const char* uri) {
    auto [it, added] = ids.emplace(uri, static_cast<LV2_URID>(names.size() + 1));
    if (added) names.push_back(uri);
    return it->second;
}

const char* Lv2World::unmap(LV2_URID id) { return id >= 1 && id <= names.size() ? names[id - 1].c_str() : nullptr; }

const LilvNode* Lv2World::uri(const char* text) {
    LilvNode*& node = nodes[text];
    if (!node) node = lilv_new_uri(world, text);
    return node;
}

const LilvPlugin* Lv2World::plugin(const char* uriText) const {
    LilvNode* node = lilv_new_uri(world, uriText);
    const LilvPlugin* found = lilv_plugins_get_by_uri(lilv_world_get_all_plugins(world), node);
    lilv_node_free(node);
    return found;
}

Lv2Instance::Lv2Instance(const char* uri, double rate) {
    Lv2World& world = Lv2World::get();
    plugin = world.plugin(uri);
    if (!plugin) {
        ADD_FAILURE() << "no LV2 plug-in " << uri;
        return;
    }
    instance = lilv_plugin_instantiate(plugin, rate, world.features());
    if (!instance) {
        ADD_FAILURE() << "cannot instantiate " << uri;
        return;
    }
    portCount = lilv_plugin_get_num_ports(plugin);
    controls.assign(portCount, 0.0f);
    std::vector<float> defaults(portCount, 0.0f);
    lilv_plugin_get_port_ranges_float(plugin, nullptr, nullptr, defaults.data());
    sequence.assign(capacity / sizeof(uint64_t), 0);
    for (uint32_t p = 0; p < portCount; ++p) {
        const LilvPort* port = lilv_plugin_get_port_by_index(plugin, p);
        if (lilv_port_is_a(plugin, port, world.uri(LV2_CORE__ControlPort))) {
            controls[p] = defaults[p];
            lilv_instance_connect_port(instance, p, &controls[p]);
        } else if (lilv_port_is_a(plugin, port, world.uri(LV2_CORE__AudioPort))) {
            audioPorts.push_back(static_cast<int>(p));
            audioInput.push_back(lilv_port_is_a(plugin, port, world.uri(LV2_CORE__InputPort)));
        } else {
            eventPort = static_cast<int>(p);
            lilv_instance_connect_port(instance, p, sequence.data());
        }
    }
    audio.resize(audioPorts.size());
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence.data());
    seq->atom.type = world.map(LV2_ATOM__Sequence);
    lv2_atom_sequence_clear(seq);
    lilv_instance_activate(instance);
}

Lv2Instance::~Lv2Instance() {
    if (!instance) return;
    lilv_instance_deactivate(instance);
    lilv_instance_free(instance);
}

AudioEffectX* Lv2Instance::effect() const {
    return static_cast<Lv2Plugin*>(lilv_instance_get_handle(instance))->plugin();
}

uint32_t Lv2Instance::portIndex(const char* symbol) const {
    LilvNode* node = lilv_new_string(Lv2World::get().lilv(), symbol);
    const LilvPort* port = lilv_plugin_get_port_by_symbol(plugin, node);
    lilv_node_free(node);
    EXPECT_NE(port, nullptr) << symbol;
    return port ? lilv_port_get_index(plugin, port) : 0;
}

void Lv2Instance::sendMidi(int status, int data1, int data2, uint32_t frame) {
    struct {
        LV2_Atom_Event event;
        uint8_t bytes[8];
    } midi{};
    midi.event.time.frames = frame;
    midi.event.body.type = Lv2World::get().map(LV2_MIDI__MidiEvent);
    midi.event.body.size = 3;
    midi.bytes[0] = static_cast<uint8_t>(status);
    midi.bytes[1] = static_cast<uint8_t>(data1);
    midi.bytes[2] = static_cast<uint8_t>(data2);
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence.data());
    ASSERT_NE(lv2_atom_sequence_append_event(seq, capacity, &midi.event), nullptr);
}

void Lv2Instance::sendPosition(float beatsPerMinute, double beat, float speed) {
    Lv2World& world = Lv2World::get();
    LV2_Atom_Forge forge;
    lv2_atom_forge_init(&forge, world.mapFeature());
    uint8_t buffer[256];
    lv2_atom_forge_set_buffer(&forge, buffer, sizeof buffer);
    LV2_Atom_Forge_Frame frame;
    lv2_atom_forge_object(&forge, &frame, 0, world.map(LV2_TIME__Position));
    lv2_atom_forge_key(&forge, world.map(LV2_TIME__beatsPerMinute));
    lv2_atom_forge_float(&forge, beatsPerMinute);
    lv2_atom_forge_key(&forge, world.map(LV2_TIME__beat));
    lv2_atom_forge_double(&forge, beat);
    lv2_atom_forge_key(&forge, world.map(LV2_TIME__speed));
    lv2_atom_forge_float(&forge, speed);
    lv2_atom_forge_pop(&forge, &frame);
    const auto* object = reinterpret_cast<const LV2_Atom*>(buffer);
    std::vector<uint64_t> event((sizeof(LV2_Atom_Event) + object->size + 7) / 8 + 1, 0);
    auto* e = reinterpret_cast<LV2_Atom_Event*>(event.data());
    e->time.frames = 0;
    std::memcpy(&e->body, object, sizeof(LV2_Atom) + object->size);
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence.data());
    ASSERT_NE(lv2_atom_sequence_append_event(seq, capacity, e), nullptr);
}

void Lv2Instance::render(std::vector<float>& left, std::vector<float>& right, int32_t frames, int32_t blockSize,
                         const std::vector<float>* sideLeft, const std::vector<float>* sideRight) {
    left.assign(frames, 0.0f);
    right.assign(frames, 0.0f);
    auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(sequence.data());
    for (int32_t done = 0; done < frames; done += blockSize) {
        const int32_t n = std::min(blockSize, frames - done);
        int outputs = 0, inputs = 0;
        for (size_t a = 0; a < audio.size(); ++a) {
            if (audioInput[a]) {
                const std::vector<float>* side = inputs++ == 0 ? sideLeft : sideRight;
                audio[a].assign(n, 0.0f);
                if (side) std::copy_n(side->begin() + done, n, audio[a].begin());
                lilv_instance_connect_port(instance, audioPorts[a], audio[a].data());
            } else {
                float* out = (outputs++ == 0 ? left : right).data() + done;
                lilv_instance_connect_port(instance, audioPorts[a], out);
            }
        }
        lilv_instance_run(instance, static_cast<uint32_t>(n));
        lv2_atom_sequence_clear(seq);
    }
}

const void* Lv2Instance::portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type) {
    auto* host = static_cast<Lv2Instance*>(self);
    *size = sizeof(float);
    *type = Lv2World::get().map(LV2_ATOM__Float);
    return &host->controls[host->portIndex(symbol)];
}

void Lv2Instance::setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type) {
    auto* host = static_cast<Lv2Instance*>(self);
    if (size == sizeof(float) && type == Lv2World::get().map(LV2_ATOM__Float))
        std::memcpy(&host->controls[host->portIndex(symbol)], value, sizeof(float));
}

void Lv2Instance::saveState(const std::string& folder, const std::string& file) {
    Lv2World& world = Lv2World::get();
    LilvState* state = lilv_state_new_from_instance(plugin, instance, world.mapFeature(), nullptr, nullptr, nullptr,
                                                    folder.c_str(), portValue, this, 0, nullptr);
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(lilv_state_save(world.lilv(), world.mapFeature(), world.unmapFeature(), state, nullptr, folder.c_str(),
                              file.c_str()),
              0);
    lilv_state_free(state);
}

bool Lv2Instance::restoreState(const std::string& path) {
    Lv2World& world = Lv2World::get();
    LilvState* state = lilv_state_new_from_file(world.lilv(), world.mapFeature(), nullptr, path.c_str());
    if (!state) return false;
    lilv_state_restore(state, instance, setPortValue, this, 0, world.features());
    lilv_state_free(state);
    return true;
}

bool Lv2Instance::applyPreset(const char* presetUri) {
    Lv2World& world = Lv2World::get();
    LilvNode* node = lilv_new_uri(world.lilv(), presetUri);
    lilv_world_load_resource(world.lilv(), node);
    LilvState* state = lilv_state_new_from_world(world.lilv(), world.mapFeature(), node);
    lilv_node_free(node);
    if (!state) return false;
    lilv_state_emit_port_values(state, setPortValue, this);
    lilv_state_free(state);
    return true;
}
