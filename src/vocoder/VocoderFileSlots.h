// The four WAV file slots the modulator can play. Each slot is one immutable record
// (samples and count together) behind an atomic pointer, so the audio thread always sees
// a matching pair. A replaced record is freed only once no process call that might still
// read it is running: the audio thread brackets every process call with a generation
// counter (odd while inside), and the loading thread frees a record at once when no call
// runs, else keeps it until the generation has moved on. The audio thread takes no lock.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class VocoderFileSlots {
public:
    static constexpr int kSlots = 4;
    static constexpr int32_t kSilenceCount = 256;

    struct Record {
        const float* samples;
        int32_t count;  // >= 1
        std::unique_ptr<float[]> owned;
    };

    VocoderFileSlots();
    ~VocoderFileSlots();
    VocoderFileSlots(const VocoderFileSlots&) = delete;
    VocoderFileSlots& operator=(const VocoderFileSlots&) = delete;

    // Loading threads. Stores the path of slot 0..3 (others are ignored) and loads it at
    // the given rate; relative paths resolve against the plug-in's directory.
    void setFile(int slot, const char* path, int32_t sampleRate);
    // Loads every slot again from its stored path.
    void reload(int32_t sampleRate);
    std::string fileName(int slot) const;
    // Any thread: whether the slot plays samples of its file (false for a slot without
    // a path and for one whose file could not be loaded).
    bool isLoaded(int slot) const {
        return slot >= 0 && slot < kSlots && records[slot].load(std::memory_order_acquire) != &silenceRecord;
    }

    // Audio thread: brackets one process call; record() is valid only in between.
    void beginRead() { generation.fetch_add(1, std::memory_order_seq_cst); }
    void endRead() { generation.fetch_add(1, std::memory_order_release); }
    const Record& record(int slot) const { return *records[slot].load(std::memory_order_seq_cst); }

private:
    struct Retired {
        const Record* record;
        uint64_t generation;
    };

    // Loads the slot's stored path; says on the message channel why a file is unusable
    // (on a reload only when the reason changed). Caller holds mutex.
    const Record* loadRecord(int slot, bool reloading, int32_t sampleRate);
    // Publishes a new record for the slot and disposes of the old one; caller holds mutex.
    void replace(int slot, const Record* fresh);
    // Frees retired records no process call can still read; caller holds mutex.
    void reclaim();
    void dispose(const Record* record);

    std::atomic<const Record*> records[kSlots];
    std::atomic<uint64_t> generation{0};
    mutable std::mutex mutex;  // loading threads only
    std::string paths[kSlots];
    std::string problems[kSlots];  // why each slot's file last failed, "" when it loaded
    std::vector<Retired> retired;
    const Record silenceRecord;
};
