#include "vocoder/VocoderFileSlots.h"

#include <cstring>

#include "platform/MessageBox.h"
#include "platform/ModulePath.h"
#include "vocoder/WavReader.h"

namespace {

// What an empty or unusable slot plays: 256 zeros, looped.
const float kSilence[VocoderFileSlots::kSilenceCount] = {};

}  // namespace

VocoderFileSlots::VocoderFileSlots() : silenceRecord{kSilence, kSilenceCount, nullptr} {
    for (auto& r : records) r.store(&silenceRecord, std::memory_order_relaxed);
}

VocoderFileSlots::~VocoderFileSlots() {
    // Destruction follows the last process call: nothing reads the records any more.
    for (auto& r : records) dispose(r.load(std::memory_order_acquire));
    for (const Retired& r : retired) dispose(r.record);
}

void VocoderFileSlots::setFile(int slot, const char* path, int32_t sampleRate) {
    if (slot < 0 || slot >= kSlots || !path) return;
    std::lock_guard<std::mutex> lock(mutex);
    reclaim();
    // A path too long for the stored field cannot be kept or reloaded: the slot is empty.
    paths[slot] = std::strlen(path) < platform::kPathSize ? path : "";
    replace(slot, loadRecord(slot, false, sampleRate));
}

void VocoderFileSlots::reload(int32_t sampleRate) {
    std::lock_guard<std::mutex> lock(mutex);
    reclaim();
    for (int slot = 0; slot < kSlots; ++slot) replace(slot, loadRecord(slot, true, sampleRate));
}

std::string VocoderFileSlots::fileName(int slot) const {
    if (slot < 0 || slot >= kSlots) return {};
    std::lock_guard<std::mutex> lock(mutex);
    return paths[slot];
}

const VocoderFileSlots::Record* VocoderFileSlots::loadRecord(int slot, bool reloading, int32_t sampleRate) {
    const std::string& path = paths[slot];
    if (path.empty()) {
        problems[slot].clear();
        return &silenceRecord;
    }
    const std::string directory = platform::moduleDirectory();
    WavBuffer wav = loadWav(path.c_str(), directory, sampleRate);
    if (!wav.problem.empty() && (!reloading || wav.problem != problems[slot])) {
        // "Wav Format Error: File2 /path/name.wav", "No such file or directory: File1 ..."
        std::string text =
            wav.problem + ": File" + std::to_string(slot + 1) + " " + resolveWavPath(path.c_str(), directory);
        platform::showMessage("Zorvek", text.c_str());
    }
    problems[slot] = wav.problem;
    if (wav.count <= 0 || !wav.samples) return &silenceRecord;
    const float* samples = wav.samples.get();
    return new Record{samples, wav.count, std::move(wav.samples)};
}

void VocoderFileSlots::replace(int slot, const Record* fresh) {
    const Record* old = records[slot].exchange(fresh, std::memory_order_seq_cst);
    // Either a process call running now started before the exchange (odd generation:
    // keep the old record until the generation moves on) or every later call reads the
    // fresh record.
    const uint64_t now = generation.load(std::memory_order_seq_cst);
    if (now % 2 == 0)
        dispose(old);
    else
        retired.push_back({old, now});
}

void VocoderFileSlots::reclaim() {
    const uint64_t now = generation.load(std::memory_order_acquire);
    std::erase_if(retired, [&](const Retired& r) {
        if (r.generation == now) return false;
        dispose(r.record);
        return true;
    });
}

void VocoderFileSlots::dispose(const Record* record) {
    if (record != &silenceRecord) delete record;
}
