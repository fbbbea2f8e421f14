// LV2 entry of Zorvek2: the same plug-in object and editor as the VST 2 library, plus
// what only LV2 has: the side-chain input as a capture source, and WAV paths in the
// saved state that follow a moved session folder.
#include <lv2/atom/atom.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>

#include "capture/CaptureMemory.h"
#include "editor/VocoderEditor.h"
#include "framework/VocoderPlugin.h"
#include "lv2/Lv2EditorUi.h"
#include "lv2/Lv2Entry.h"
#include "platform/ModulePath.h"
#include "plugins/Lv2Layouts.h"

namespace {

// Side-chain frames are written to the ring before the plug-in reads them; a block of
// this many keeps the ring's 4096 frames from overrunning while the reader holds its
// 256-frame modulator block.
constexpr int32_t kSideChainBlock = 2048;

class VocoderLv2 final : public Lv2Plugin {
public:
    VocoderLv2(double rate, const LV2_Feature* const* features)
        : Lv2Plugin(lv2layout::kVocoder, rate, lv2layout::kVocoderUri, features),
          sideChainLayout(new (std::nothrow) CaptureLayout{}) {
        if (sideChainLayout) sideChain = std::make_unique<CaptureMemory>(*sideChainLayout);
    }

    ~VocoderLv2() override {
        // The vocoder must stop reading the ring before it goes.
        if (record) vocoder().setCaptureSource(nullptr);
    }

    bool ready() const override { return Lv2Plugin::ready() && sideChain; }

protected:
    int32_t blockLimit(const float* const* extras) const override {
        return switchedOn(extras) ? kSideChainBlock : INT32_MAX;
    }

    void beforeProcess(const float* const* extras, float* const* inputs, int32_t frames) override {
        const bool on = switchedOn(extras);
        if (on != sideChainActive) {
            sideChainActive = on;
            vocoder().setCaptureSource(on ? sideChain.get() : nullptr);
        }
        if (!on) return;
        // Every channel carries the side-chain, so whichever channel the modulator and
        // the carrier select reads it, each at its own pace as with shared memory.
        for (int32_t i = 0; i < frames; ++i) {
            const float left = inputs[0] ? inputs[0][i] : 0.0f;
            const float right = inputs[1] ? inputs[1][i] : 0.0f;
            for (int c = 0; c < CaptureMemory::kChannels; ++c) sideChain->writeFrame(c, left, right);
        }
    }

    // Files outside the bundle are saved as paths of their own, through the host's path
    // mapping; the chunk keeps bundle-relative paths as they are.
    LV2_State_Status saveExtra(LV2_State_Store_Function store, LV2_State_Handle handle,
                               const LV2_State_Map_Path* mapPath) override {
        const LV2_URID pathType = mapUri(LV2_ATOM__Path);
        for (int slot = 0; slot < kNumFileSlots; ++slot) {
            const std::string absolute = outsideBundle(vocoder().fileSlotPath(slot));
            if (absolute.empty()) continue;
            char* abstract = mapPath ? mapPath->abstract_path(mapPath->handle, absolute.c_str()) : nullptr;
            const char* saved = abstract ? abstract : absolute.c_str();
            const LV2_State_Status status = store(handle, fileKey(slot), saved, std::strlen(saved) + 1, pathType,
                                                  LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
            std::free(abstract);
            if (status != LV2_STATE_SUCCESS) return status;
        }
        return LV2_STATE_SUCCESS;
    }

    // The saved chunk with the file lines of saved paths replaced by where the host
    // finds those files now.
    void restoreChunk(const void* data, uint32_t size, LV2_State_Retrieve_Function retrieve, LV2_State_Handle handle,
                      const LV2_State_Map_Path* mapPath) override {
        const LV2_URID pathType = mapUri(LV2_ATOM__Path);
        std::string files[kNumFileSlots];
        bool anyFile = false;
        for (int slot = 0; slot < kNumFileSlots; ++slot) {
            size_t length = 0;
            uint32_t type = 0, flags = 0;
            const auto* saved = static_cast<const char*>(retrieve(handle, fileKey(slot), &length, &type, &flags));
            if (!saved || type != pathType || length == 0 || saved[length - 1] != 0) continue;
            char* absolute = mapPath ? mapPath->absolute_path(mapPath->handle, saved) : nullptr;
            files[slot] = absolute ? absolute : saved;
            std::free(absolute);
            anyFile = anyFile || !files[slot].empty();
        }
        if (!anyFile) return Lv2Plugin::restoreChunk(data, size, retrieve, handle, mapPath);
        const std::string chunk = withFiles(static_cast<const char*>(data), size, files);
        Lv2Plugin::restoreChunk(chunk.data(), static_cast<uint32_t>(chunk.size()), retrieve, handle, mapPath);
    }

private:
    VocoderPlugin& vocoder() const { return static_cast<VocoderPlugin&>(*plugin()); }

    static bool switchedOn(const float* const* extras) { return extras[0] && *extras[0] >= 0.5f; }

    LV2_URID fileKey(int slot) const {
        const char name[] = {'f', 'i', 'l', 'e', static_cast<char>('1' + slot), 0};
        return stateKey(name);
    }

    // The absolute path of a slot's file when it lies outside the bundle, else "".
    static std::string outsideBundle(const char* stored) {
        if (!stored || !*stored) return {};
        std::string path = stored;
        for (char& c : path)
            if (c == '\\') c = '/';
        namespace fs = std::filesystem;
        const fs::path bundle = fs::path(platform::moduleDirectory()).lexically_normal();
        const fs::path resolved = (path[0] == '/' ? fs::path(path) : bundle / path).lexically_normal();
        const fs::path inside = resolved.lexically_relative(bundle);
        if (!inside.empty() && *inside.begin() != "..") return {};
        return resolved.string();
    }

    // Chunk text (magic, then NUL-terminated lines up to an empty one) with the lines of
    // bank file entries whose slot has a path in files replaced by that path.
    static std::string withFiles(const char* data, uint32_t size, const std::string (&files)[kNumFileSlots]) {
        constexpr size_t kMagicSize = 4;
        if (size <= kMagicSize) return std::string(data, size);
        std::string text(data, kMagicSize);
        for (size_t at = kMagicSize; at < size;) {
            const void* nul = std::memchr(data + at, 0, size - at);
            const size_t length = nul ? static_cast<size_t>(static_cast<const char*>(nul) - (data + at)) : size - at;
            if (length == 0) break;
            const std::string line(data + at, length);
            at += length + 1;
            const bool replaced = line.size() > 7 && line.compare(0, 6, "00File") == 0 && line[6] >= '1' &&
                                  line[6] < '1' + kNumFileSlots && !files[line[6] - '1'].empty();
            if (!replaced) text.append(line).push_back('\0');
        }
        for (int slot = 0; slot < kNumFileSlots; ++slot)
            if (!files[slot].empty())
                text.append("00File")
                    .append(1, static_cast<char>('1' + slot))
                    .append("=")
                    .append(files[slot])
                    .push_back('\0');
        text.push_back('\0');
        return text;
    }

    std::unique_ptr<CaptureLayout> sideChainLayout;
    std::unique_ptr<CaptureMemory> sideChain;
    bool sideChainActive = false;
};

AudioEffectX* make(audioMasterCallback host) {
    // Owned until handed over, so an editor that throws does not leak the plug-in.
    std::unique_ptr<VocoderPlugin> plugin(new (std::nothrow) VocoderPlugin(host));
    if (plugin) {
        if (auto* editor = new (std::nothrow) VocoderEditor(plugin.get())) {
            plugin->setEditor(editor);
            // Knobs follow the pointer linearly, as in the VST 2 library.
            editor->setKnobMode(kLinearMode);
        }
    }
    return plugin.release();
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*, const LV2_Feature* const* features) {
    return Lv2Plugin::start(new (std::nothrow) VocoderLv2(rate, features), make);
}

}  // namespace

const LV2_Descriptor& lv2PluginDescriptor() {
    static const LV2_Descriptor descriptor = Lv2Plugin::descriptor(lv2layout::kVocoderUri, instantiate);
    return descriptor;
}

const LV2UI_Descriptor& lv2EditorDescriptor() {
    static const LV2UI_Descriptor descriptor = Lv2EditorUi::descriptor(lv2layout::kVocoderUiUri);
    return descriptor;
}
