// Chunks: the plug-in's state as text. After the magic "4221" come NUL-terminated lines
// "key=value", one per parameter with the value as the 8 hexadecimal digits of its float
// bit pattern, plus the four file paths. Keys are names, so a chunk survives reordering
// of the parameter table. Two older layouts of raw floats are still read.
#include <bit>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "framework/PluginBase.h"

namespace {

constexpr unsigned char kMagic[4] = {'4', '2', '2', '1'};
constexpr int kLineBufferSize = 252;  // the longest line read is 251 characters
constexpr int kProgramNameSize = sizeof(Program::name);
constexpr int kOscMix = 12;  // stored inverted in the older layouts

// Older layouts: 4 ignored bytes, 40 floats per program, then four 260-byte paths.
constexpr size_t kLegacyProgramSize = 1204;
constexpr size_t kLegacyBankSize = 3604;
constexpr int kLegacyValues = 40;
constexpr size_t kLegacyPathSize = platform::kPathSize;

// Appends NUL-terminated lines to a zeroed buffer; a line that does not fit is dropped.
class LineWriter {
public:
    LineWriter(char* buffer, size_t size) : next(buffer), left(size) {}

    __attribute__((format(printf, 2, 3))) void line(const char* format, ...) {
        va_list args;
        va_start(args, format);
        int length = std::vsnprintf(next, left, format, args);
        va_end(args);
        if (length < 0 || static_cast<size_t>(length) >= left) {
            std::memset(next, 0, left);
            return;
        }
        next += length + 1;
        left -= static_cast<size_t>(length) + 1;
    }

private:
    char* next;
    size_t left;
};

// Reads NUL-terminated lines from [data, end). The text ends at the first empty line or
// at the end of the data, whichever comes first; a line cut by the end counts as ended
// there. Lines too long for the line buffer are skipped whole.
class LineReader {
public:
    LineReader(const unsigned char* data, size_t size) : data(data), size(size) {}

    bool read(char (&line)[kLineBufferSize]) {
        while (position < size) {
            const unsigned char* start = data + position;
            size_t length = size - position;
            if (const void* nul = std::memchr(start, 0, length))
                length = static_cast<size_t>(static_cast<const unsigned char*>(nul) - start);
            position += length + 1;
            if (length == 0) break;
            if (length >= kLineBufferSize) continue;
            std::memcpy(line, start, length);
            line[length] = 0;
            return true;
        }
        position = size;
        return false;
    }

private:
    const unsigned char* data;
    size_t size;
    size_t position = 0;
};

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// A float bit pattern: 1 to 8 hexadecimal digits and nothing else.
bool parseBits(const char* text, float& value) {
    uint32_t bits = 0;
    int count = 0;
    for (; text[count]; ++count) {
        int digit = hexDigit(text[count]);
        if (digit < 0 || count == 8) return false;
        bits = bits << 4 | static_cast<uint32_t>(digit);
    }
    if (count == 0) return false;
    value = std::bit_cast<float>(bits);
    return true;
}

// The program number of a bank line: two hexadecimal digits naming an existing program.
bool parseProgramNumber(const char* key, int& program) {
    int high = hexDigit(key[0]);
    int low = high < 0 ? -1 : hexDigit(key[1]);
    if (low < 0) return false;
    program = high * 16 + low;
    return program < PluginBase::kNumPrograms;
}

uint32_t bitsOf(const std::atomic<float>& value) {
    return std::bit_cast<uint32_t>(value.load(std::memory_order_relaxed));
}

// A stored value obeys the same range as a live one: NaN leaves the old value.
void storeValue(Program& program, int index, float value) {
    if (toParameterRange(value)) program.values[index].store(value, std::memory_order_relaxed);
}

float legacyValue(const unsigned char* data, int index) {
    float value;
    std::memcpy(&value, data + 4 * index, sizeof value);
    return index == kOscMix ? 1.0f - value : value;
}

}  // namespace

int32_t PluginBase::getChunk(void** data, bool isPreset) {
    if (!data) return 0;
    std::memset(chunk, 0, sizeof chunk);
    std::memcpy(chunk, kMagic, sizeof kMagic);
    const size_t size = isPreset ? kProgramChunkSize : kBankChunkSize;
    // One byte stays free for the empty line that ends the text.
    LineWriter out(chunk + sizeof kMagic, size - sizeof kMagic - 1);
    if (isPreset) {
        const Program& current = programs[curProgram];
        for (int i = 0; i < kNumAutomatable; ++i) out.line("%s=%08x", parameters[i].name, bitsOf(current.values[i]));
        for (int s = 0; s < kNumFileSlots; ++s) {
            out.line("File%d=%s", s + 1, fileSlotPath(s));
        }
    } else {
        for (int p = 0; p < kNumPrograms; ++p) {
            out.line("%02x_Name_=%s", p, programs[p].name);
            for (int i = 0; i < kNumAutomatable; ++i)
                out.line("%02x%s=%08x", p, parameters[i].name, bitsOf(programs[p].values[i]));
        }
        for (int s = 0; s < kNumFileSlots; ++s) {
            out.line("00File%d=%s", s + 1, fileSlotPath(s));
        }
    }
    *data = chunk;
    return static_cast<int32_t>(size);
}

int32_t PluginBase::setChunk(void* data, int32_t byteSize, bool isPreset) {
    if (!data || byteSize <= 0) return 0;
    int32_t loaded = loadChunk(static_cast<const unsigned char*>(data), static_cast<size_t>(byteSize), isPreset);
    // Programs, names and values changed behind the host's back: it re-reads them.
    if (loaded) updateDisplay();
    return loaded;
}

int32_t PluginBase::loadChunk(const unsigned char* data, size_t size, bool isPreset) {
    if (!data) return 0;
    if (size >= sizeof kMagic && std::memcmp(data, kMagic, sizeof kMagic) == 0)
        return loadTextChunk(data, size, isPreset);
    return loadLegacyChunk(data, size, isPreset);
}

int32_t PluginBase::loadTextChunk(const unsigned char* data, size_t size, bool isPreset) {
    LineReader lines(data + sizeof kMagic, size - sizeof kMagic);
    char line[kLineBufferSize];
    while (lines.read(line)) {
        char* equals = std::strchr(line, '=');
        if (!equals) continue;
        *equals = 0;
        const char* key = line;
        const char* value = equals + 1;
        int program = curProgram;
        if (!isPreset) {
            if (!parseProgramNumber(key, program)) continue;
            key += 2;
            if (std::strcmp(key, "_Name_") == 0) {
                copyString(programs[program].name, value, kProgramNameSize);
                continue;
            }
        }
        int32_t index = findParameterIndex(key);
        if (index < 0) continue;
        if (index < kNumAutomatable) {
            float parsed;
            if (!parseBits(value, parsed)) continue;
            if (isPreset)
                setParameter(index, parsed);
            else
                storeValue(programs[program], index, parsed);
        } else if (index >= kFirstFileEntry) {
            setFileEntry(index - kFirstFileEntry, value);
        }
    }
    applyCurrentProgram();
    return 1;
}

int32_t PluginBase::loadLegacyChunk(const unsigned char* data, size_t size, bool isPreset) {
    const unsigned char* paths;
    if (isPreset && size == kLegacyProgramSize) {
        for (int i = 0; i < kLegacyValues; ++i) setParameter(i, legacyValue(data + 4, i));
        paths = data + 4 + 4 * kLegacyValues;
    } else if (!isPreset && size == kLegacyBankSize) {
        for (int p = 0; p < kNumPrograms; ++p)
            for (int i = 0; i < kLegacyValues; ++i)
                storeValue(programs[p], i, legacyValue(data + 4 + 4 * kLegacyValues * p, i));
        applyCurrentProgram();
        paths = data + 4 + 4 * kLegacyValues * kNumPrograms;
    } else {
        return 0;
    }
    for (int s = 0; s < kNumFileSlots; ++s) {
        char path[kLegacyPathSize];
        std::memcpy(path, paths + kLegacyPathSize * s, kLegacyPathSize);
        path[kLegacyPathSize - 1] = 0;
        setFileEntry(s, path);
    }
    return 1;
}

// The entry "File1" + slot shows what the slot holds from now on.
void PluginBase::setFileEntry(int slot, const char* path) {
    loadFileSlot(slot, path);
    parameters[kFirstFileEntry + slot].text.store(fileSlotPath(slot), std::memory_order_relaxed);
}

void PluginBase::loadFileSlot(int slot, const char* path) {
    if (slot >= 0 && slot < kNumFileSlots) copyString(slotPaths[slot], path, sizeof slotPaths[slot]);
}

const char* PluginBase::fileSlotPath(int slot) const {
    return slot >= 0 && slot < kNumFileSlots ? slotPaths[slot] : "";
}
