#include "vocoder/WavReader.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>
#include <vector>

#include "platform/MessageBox.h"
#include "platform/ModulePath.h"

namespace {

// Ten minutes of modulator at the host rate, and never more than ten minutes at 192 kHz
// (about 440 MiB): a corrupt rate field must not be able to ask for more.
constexpr int64_t kMaxSeconds = 600;
constexpr int64_t kMaxSamples = kMaxSeconds * 192000;
constexpr int kSpareSamples = 16;
constexpr uint16_t kNoFormat = 0xFFFF;
constexpr uint16_t kIntegerPcm = 1;

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// A regular file read with its length known up front, so no read or seek ever goes
// past its end (a device or pipe that never ends is refused).
class WavFile {
public:
    explicit WavFile(const std::string& path) : file_(std::fopen(path.c_str(), "rb")) {
        if (!file_) return;
        if (std::fseek(file_, 0, SEEK_END) == 0) size_ = std::ftell(file_);
        if (size_ <= 0 || std::fseek(file_, 0, SEEK_SET) != 0) size_ = 0;
    }
    ~WavFile() {
        if (file_) std::fclose(file_);
    }
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    int64_t size() const { return size_; }
    int64_t position() const { return position_; }

    // Reads up to n bytes, answers how many came.
    size_t read(unsigned char* out, size_t n) {
        const int64_t left = std::max<int64_t>(0, size_ - position_);
        n = static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(n), left));
        const size_t got = n ? std::fread(out, 1, n, file_) : 0;
        position_ += static_cast<int64_t>(got);
        return got;
    }

    bool seek(int64_t to) {
        if (to > size_) to = size_;
        if (std::fseek(file_, static_cast<long>(to), SEEK_SET) != 0) return false;
        position_ = to;
        return true;
    }

private:
    std::FILE* file_;
    int64_t size_ = 0;
    int64_t position_ = 0;
};

// Sample bytes of the "data" chunk, read in blocks; ends where the chunk or file ends.
class SampleReader {
public:
    SampleReader(WavFile& file, int64_t bytes) : file_(file), left_(bytes), block_(65536) {}

    // One sample: 8-bit unsigned or 16-bit signed little-endian. False when the data runs out.
    bool next(bool eightBit, int32_t& value) {
        unsigned char b[2];
        const int need = eightBit ? 1 : 2;
        for (int i = 0; i < need; ++i)
            if (!nextByte(b[i])) return false;
        value = eightBit ? (b[0] - 128) * 256 : static_cast<int16_t>(le16(b));
        return true;
    }

private:
    bool nextByte(unsigned char& b) {
        if (at_ == filled_) {
            const size_t want = static_cast<size_t>(std::min<int64_t>(left_, static_cast<int64_t>(block_.size())));
            filled_ = want ? file_.read(block_.data(), want) : 0;
            left_ -= static_cast<int64_t>(filled_);
            at_ = 0;
            if (filled_ == 0) return false;
        }
        b = block_[at_++];
        return true;
    }

    WavFile& file_;
    int64_t left_;
    std::vector<unsigned char> block_;
    size_t filled_ = 0;
    size_t at_ = 0;
};

struct Format {
    uint16_t tag = kNoFormat;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
};

WavBuffer decode(WavFile& file, const Format& format, uint32_t declaredSize, int32_t hostRate) {
    // A size field larger than the rest of the file counts only the bytes really there.
    const int64_t size = std::min<int64_t>(declaredSize, file.size() - file.position());
    const int64_t frames = ((size / format.channels) * 8) / format.bits;
    const unsigned __int128 exact =
        static_cast<unsigned __int128>(frames) * static_cast<uint32_t>(hostRate) / format.rate;
    const int64_t limit = std::min<int64_t>(kMaxSamples, kMaxSeconds * hostRate);
    if (exact == 0 || exact > static_cast<unsigned __int128>(limit)) return {};
    const int64_t count = static_cast<int64_t>(exact);

    WavBuffer out;
    out.samples.reset(new (std::nothrow) float[count + kSpareSamples]());
    if (!out.samples) return {};
    out.count = static_cast<int32_t>(count);

    // Frames past the end of the data decode as 0 (possible only for odd sample widths).
    SampleReader reader(file, size);
    const bool eightBit = format.bits == 8;
    const int64_t fileRate = format.rate;
    int64_t acc = 0;
    for (int64_t i = 0; i < count;) {
        int64_t sum = 0;
        for (int ch = 0; ch < format.channels; ++ch) {
            int32_t value;
            if (!reader.next(eightBit, value)) break;
            sum += value;
        }
        const float sample = static_cast<float>(sum / format.channels) / 32768.0f;
        // Sample-and-hold: each host sample takes the newest file frame.
        acc += hostRate;
        for (; acc >= fileRate && i < count; acc -= fileRate) out.samples[i++] = sample;
    }
    return out;
}

}  // namespace

std::string resolveWavPath(const char* path, const std::string& baseDirectory) {
    if (!path || !*path) return {};
    std::string p(path);
    std::replace(p.begin(), p.end(), '\\', '/');
    if (p.front() == '/' || baseDirectory.empty()) return p;
    size_t start = 0;
    while (p.compare(start, 2, "./") == 0) start += 2;
    return baseDirectory + "/" + p.substr(start);
}

WavBuffer loadWav(const char* path, const std::string& baseDirectory, int32_t hostRate) {
    if (hostRate <= 0 || !path || std::strlen(path) >= platform::kPathSize) return {};  // cannot have been stored intact
    const std::string resolved = resolveWavPath(path, baseDirectory);
    if (resolved.empty()) return {};
    WavFile file(resolved);
    if (file.size() == 0) return {};

    unsigned char header[12];
    if (file.read(header, sizeof header) != sizeof header) return {};
    Format format;
    for (;;) {
        unsigned char chunk[8];
        if (file.read(chunk, sizeof chunk) != sizeof chunk) return {};
        const uint32_t size = le32(chunk + 4);
        // Chunks of odd size are followed by one pad byte.
        const int64_t next = file.position() + size + (size & 1);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            unsigned char f[16];
            if (file.read(f, sizeof f) != sizeof f) return {};
            format.tag = le16(f);
            format.channels = le16(f + 2);
            format.rate = le32(f + 4);
            format.bits = le16(f + 14);
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            if (format.tag != kIntegerPcm) {
                platform::showMessage("Zorvek", "Wav Format Error");
                return {};
            }
            if (format.channels == 0 || format.bits == 0 || format.rate == 0) return {};
            return decode(file, format, size, hostRate);
        }
        if (!file.seek(next)) return {};
    }
}
