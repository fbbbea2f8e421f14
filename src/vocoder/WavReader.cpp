#include "vocoder/WavReader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "platform/ModulePath.h"
#include "platform/RegularFile.h"

namespace {

// Ten minutes of modulator at the host rate, and never more than ten minutes at 192 kHz
// (about 440 MiB): a corrupt rate field must not be able to ask for more.
constexpr int64_t kMaxSeconds = 600;
constexpr int64_t kMaxSamples = kMaxSeconds * 192000;
constexpr int kSpareSamples = 16;
// Real files carry a handful of chunks before their audio; a walk that meets this many
// without finding "data" is reading something else (a file of zeros is 8-byte chunks).
constexpr int kMaxChunks = 4096;
// Bytes fetched from the file at once.
constexpr size_t kWindowBytes = size_t{1} << 20;

constexpr uint16_t kNoFormat = 0xFFFF;
constexpr uint16_t kIntegerPcm = 1;
constexpr uint16_t kIeeeFloat = 3;
constexpr uint16_t kExtensible = 0xFFFE;
// Bytes 2..15 of the sub-format GUID that carries a plain format tag in bytes 0..1.
constexpr unsigned char kSubFormatTail[14] = {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80,
                                              0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

constexpr const char* kNoAudio = "No audio data";

uint16_t le16(const unsigned char* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }
uint32_t le32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
           (static_cast<uint32_t>(p[3]) << 24);
}

// A regular file read front to back through a window of up to kWindowBytes: skipping
// forward inside the window costs nothing, and no read goes past the end. A read that
// comes up short (the file shrank while loading) makes that point the end.
class WavFile {
public:
    explicit WavFile(const std::string& path) : file(path) {
        if (!file.isOpen()) return;
        end = file.size();
        window.resize(static_cast<size_t>(std::min<int64_t>(end, kWindowBytes)));
    }

    bool isOpen() const { return file.isOpen(); }
    std::string reason() const { return file.reason(); }
    int64_t size() const { return end; }
    int64_t position() const { return at; }
    // A "fmt " chunk declared shorter than its 16 fields moves back a little.
    void seek(int64_t to) { at = std::clamp<int64_t>(to, 0, end); }

    // Up to n bytes (at most the window) from the position, contiguous; advances past them.
    const unsigned char* take(size_t n, size_t& got) {
        n = static_cast<size_t>(
            std::min<int64_t>({static_cast<int64_t>(n), end - at, static_cast<int64_t>(window.size())}));
        if (at < windowStart || at + static_cast<int64_t>(n) > windowStart + static_cast<int64_t>(windowLength))
            refill();
        got = static_cast<size_t>(std::min<int64_t>(n, windowStart + static_cast<int64_t>(windowLength) - at));
        const unsigned char* p = window.data() + (at - windowStart);
        at += static_cast<int64_t>(got);
        return p;
    }

    size_t read(unsigned char* out, size_t n) {
        size_t got = 0;
        const unsigned char* p = take(n, got);
        if (got) std::memcpy(out, p, got);
        return got;
    }

private:
    void refill() {
        windowStart = at;
        const size_t want = static_cast<size_t>(std::min<int64_t>(end - at, static_cast<int64_t>(window.size())));
        windowLength = want ? file.readAt(at, window.data(), want) : 0;
        if (windowLength < want) end = at + static_cast<int64_t>(windowLength);
    }

    platform::RegularFile file;
    std::vector<unsigned char> window;
    int64_t windowStart = 0;
    size_t windowLength = 0;
    int64_t at = 0;
    int64_t end = 0;
};

struct Format {
    uint16_t tag = kNoFormat;
    uint16_t channels = 0;
    uint32_t rate = 0;
    uint16_t bits = 0;
    // The plain tag inside an extensible chunk, kNoFormat when absent or not understood.
    uint16_t subTag = kNoFormat;
};

// Sample codecs: raw value of one sample, and the channel average on the 16-bit scale
// (integer averages truncate toward zero, as 8- and 16-bit files always have).
template <int Bytes, int Shift>
struct IntegerSample {
    static constexpr int kBytes = Bytes;
    using Sum = int64_t;
    static int64_t value(const unsigned char* p) {
        if constexpr (Bytes == 1) {
            return (p[0] - 128) * 256;
        } else {
            // Little-endian bytes placed at the top of 32 bits, then shifted down with sign.
            uint32_t raw = 0;
            for (int b = 0; b < Bytes; ++b) raw |= static_cast<uint32_t>(p[b]) << (8 * b + 32 - 8 * Bytes);
            return static_cast<int32_t>(raw) >> (32 - 8 * Bytes);
        }
    }
    static float average(Sum sum, int channels) {
        return static_cast<float>(static_cast<double>(sum / channels) *
                                  (1.0 / static_cast<double>(int64_t{1} << Shift)));
    }
};

template <class Raw>
struct FloatSample {
    static constexpr int kBytes = sizeof(Raw);
    using Sum = double;
    static double value(const unsigned char* p) {
        Raw v;
        std::memcpy(&v, p, sizeof v);
        return v;
    }
    // Out-of-range and non-finite values from an untrusted file become levels the
    // vocoder can follow.
    static float average(Sum sum, int channels) {
        const double v = sum / channels;
        return std::isnan(v) ? 0.0f : static_cast<float>(std::clamp(v, -1.0, 1.0));
    }
};

using Unsigned8 = IntegerSample<1, 15>;
using Signed16 = IntegerSample<2, 15>;
using Signed24 = IntegerSample<3, 23>;
using Signed32 = IntegerSample<4, 31>;
using Float32 = FloatSample<float>;
using Float64 = FloatSample<double>;

// Sample-and-hold from the file rate to the host rate: each host sample takes the newest
// file frame. File frames that no host sample takes are skipped unread. Past the end of
// the data the samples stay 0; a last, partial frame counts its whole samples only.
template <class S>
void decodeFrames(WavFile& file, int64_t dataEnd, int channels, int64_t hostRate, int64_t fileRate, float* out,
                  int64_t count) {
    const int64_t frameBytes = static_cast<int64_t>(channels) * S::kBytes;
    int64_t acc = 0;
    for (int64_t i = 0; i < count;) {
        if (acc + hostRate < fileRate) {
            const int64_t skip = (fileRate - acc - 1) / hostRate;
            acc += skip * hostRate;
            file.seek(std::min(dataEnd, file.position() + skip * frameBytes));
        }
        size_t got = 0;
        const unsigned char* p =
            file.take(static_cast<size_t>(std::min(frameBytes, std::max<int64_t>(0, dataEnd - file.position()))), got);
        const int whole = static_cast<int>(got / S::kBytes);
        typename S::Sum sum = 0;
        for (int ch = 0; ch < whole; ++ch) sum += S::value(p + ch * S::kBytes);
        const float sample = S::average(sum, channels);
        acc += hostRate;
        for (; acc >= fileRate && i < count; acc -= fileRate) out[i++] = sample;
        if (whole < channels) break;
    }
}

WavBuffer refuse(const char* why) {
    WavBuffer b;
    b.problem = why;
    return b;
}

WavBuffer decode(WavFile& file, const Format& format, uint32_t declaredSize, int32_t hostRate) {
    const bool extensible = format.tag == kExtensible;
    const uint16_t tag = extensible ? format.subTag : format.tag;
    void (*decoder)(WavFile&, int64_t, int, int64_t, int64_t, float*, int64_t) = nullptr;
    if (tag == kIntegerPcm) {
        switch (format.bits) {
            case 8:
                decoder = decodeFrames<Unsigned8>;
                break;
            case 24:
                decoder = decodeFrames<Signed24>;
                break;
            case 32:
                decoder = decodeFrames<Signed32>;
                break;
            // Plain chunks of other widths have always been read as 16-bit samples.
            default:
                decoder = format.bits == 16 || !extensible ? decodeFrames<Signed16> : nullptr;
                break;
        }
    } else if (tag == kIeeeFloat) {
        decoder = format.bits == 32 ? decodeFrames<Float32> : format.bits == 64 ? decodeFrames<Float64> : nullptr;
    }
    if (!decoder) return refuse(kFormatError);
    if (format.channels == 0 || format.bits == 0 || format.rate == 0) return refuse("Unusable format fields");

    // A size field larger than the rest of the file counts only the bytes really there.
    const int64_t size = std::min<int64_t>(declaredSize, file.size() - file.position());
    const int64_t frames = ((size / format.channels) * 8) / format.bits;
    const unsigned __int128 exact =
        static_cast<unsigned __int128>(frames) * static_cast<uint32_t>(hostRate) / format.rate;
    const int64_t limit = std::min<int64_t>(kMaxSamples, kMaxSeconds * hostRate);
    if (exact == 0) return refuse(kNoAudio);
    if (exact > static_cast<unsigned __int128>(limit)) return refuse("Longer than ten minutes");
    const int64_t count = static_cast<int64_t>(exact);

    WavBuffer out;
    out.samples.reset(new (std::nothrow) float[count + kSpareSamples]());
    if (!out.samples) return refuse("Out of memory");
    out.count = static_cast<int32_t>(count);
    decoder(file, file.position() + size, format.channels, hostRate, format.rate, out.samples.get(), count);
    return out;
}

// The fields of a "fmt " chunk whose body starts at the file's position.
bool readFormat(WavFile& file, uint32_t size, Format& format) {
    unsigned char f[40];
    if (file.read(f, 16) != 16) return false;
    format.tag = le16(f);
    format.channels = le16(f + 2);
    format.rate = le32(f + 4);
    format.bits = le16(f + 14);
    format.subTag = kNoFormat;
    if (format.tag == kExtensible && size >= sizeof f && file.read(f + 16, sizeof f - 16) == sizeof f - 16 &&
        le16(f + 16) >= 22 && std::memcmp(f + 26, kSubFormatTail, sizeof kSubFormatTail) == 0)
        format.subTag = le16(f + 24);
    return true;
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
    if (hostRate <= 0 || !path || std::strlen(path) >= platform::kPathSize)
        return {};  // cannot have been stored intact
    const std::string resolved = resolveWavPath(path, baseDirectory);
    if (resolved.empty()) return {};
    WavFile file(resolved);
    if (!file.isOpen()) return refuse(file.reason().c_str());

    unsigned char header[12];
    if (file.read(header, sizeof header) != sizeof header) return refuse(kNoAudio);
    Format format;
    for (int chunks = 0; chunks < kMaxChunks; ++chunks) {
        unsigned char chunk[8];
        if (file.read(chunk, sizeof chunk) != sizeof chunk) break;
        const uint32_t size = le32(chunk + 4);
        // Chunks of odd size are followed by one pad byte.
        const int64_t next = file.position() + size + (size & 1);
        if (std::memcmp(chunk, "fmt ", 4) == 0) {
            if (!readFormat(file, size, format)) break;
        } else if (std::memcmp(chunk, "data", 4) == 0) {
            return decode(file, format, size, hostRate);
        }
        file.seek(next);
    }
    return refuse(kNoAudio);
}
