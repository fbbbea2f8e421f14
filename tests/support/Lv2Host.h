// A small LV2 host on lilv over the bundles in the build's lv2 folder: instantiates a
// plug-in, keeps its ports, sends MIDI and host time as atoms, renders in host blocks,
// and saves and restores state through lilv.
#pragma once

#include <lilv/lilv.h>
#include <lv2/urid/urid.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

class AudioEffectX;

class Lv2World {
public:
    // The process's world, loaded once from build/lv2.
    static Lv2World& get();

    const LilvPlugin* plugin(const char* uri) const;
    LilvWorld* lilv() const { return world; }
    LV2_URID map(const char* uri);
    const char* unmap(LV2_URID urid);
    LV2_URID_Map* mapFeature() { return &mapData; }
    LV2_URID_Unmap* unmapFeature() { return &unmapData; }
    // urid:map and urid:unmap, null-terminated.
    const LV2_Feature* const* features() const { return featureList; }
    // A node this world owns for the URI (freed with the world).
    const LilvNode* uri(const char* text);

private:
    Lv2World();
    ~Lv2World();

    LilvWorld* world;
    std::map<std::string, LV2_URID> ids;
    std::vector<std::string> names;
    std::map<std::string, LilvNode*> nodes;
    LV2_URID_Map mapData;
    LV2_URID_Unmap unmapData;
    LV2_Feature mapFeatureData, unmapFeatureData;
    const LV2_Feature* featureList[3];
};

class Lv2Instance {
public:
    explicit Lv2Instance(const char* uri, double rate = 44100.0);
    ~Lv2Instance();
    Lv2Instance(const Lv2Instance&) = delete;
    Lv2Instance& operator=(const Lv2Instance&) = delete;

    bool ok() const { return instance != nullptr; }
    const LilvPlugin* description() const { return plugin; }
    LilvInstance* lilv() const { return instance; }
    // The plug-in object behind the LV2 adapter (same process, same layout).
    AudioEffectX* effect() const;

    uint32_t portIndex(const char* symbol) const;
    float& control(uint32_t index) { return controls[index]; }
    void setControl(const char* symbol, float value) { controls[portIndex(symbol)] = value; }

    // With the next block.
    void sendMidi(int status, int data1, int data2, uint32_t frame = 0);
    void sendPosition(float beatsPerMinute, double beat, float speed);

    // Renders frames in host blocks; side-chain samples (when given) feed the inputs.
    void render(std::vector<float>& left, std::vector<float>& right, int32_t frames, int32_t blockSize,
                const std::vector<float>* sideLeft = nullptr, const std::vector<float>* sideRight = nullptr);

    // State through lilv: saved to folder as file, and restored into this instance.
    void saveState(const std::string& folder, const std::string& file);
    bool restoreState(const std::string& path);
    // Port values of a preset, as a host applies it.
    bool applyPreset(const char* presetUri);

private:
    static const void* portValue(const char* symbol, void* self, uint32_t* size, uint32_t* type);
    static void setPortValue(const char* symbol, void* self, const void* value, uint32_t size, uint32_t type);

    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    uint32_t portCount = 0;
    std::vector<float> controls;
    std::vector<uint64_t> sequence;  // atom sequence storage, 8-byte aligned
    std::vector<std::vector<float>> audio;
    std::vector<int> audioPorts;   // port index per audio buffer
    std::vector<bool> audioInput;  // per audio buffer
    int eventPort = -1;
    int32_t capacity = 8192;
};
