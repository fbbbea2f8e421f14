#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "support/MessageLog.h"
#include "support/TempFolder.h"
#include "vocoder/VocoderFileSlots.h"
#include "vocoder/WavReader.h"

namespace fs = std::filesystem;

namespace {

using Bytes = std::vector<unsigned char>;

void put16(Bytes& b, uint32_t v) {
    b.push_back(v & 0xFF);
    b.push_back((v >> 8) & 0xFF);
}
void put32(Bytes& b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

Bytes chunk(const char* id, const Bytes& body, uint32_t declaredSize) {
    Bytes b(id, id + 4);
    put32(b, declaredSize);
    b.insert(b.end(), body.begin(), body.end());
    return b;
}
Bytes chunk(const char* id, const Bytes& body) { return chunk(id, body, static_cast<uint32_t>(body.size())); }

Bytes fmtChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes f;
    put16(f, tag);
    put16(f, channels);
    put32(f, rate);
    put32(f, rate * channels * bits / 8);
    put16(f, channels * bits / 8);
    put16(f, bits);
    return chunk("fmt ", f);
}

// A WAVE_FORMAT_EXTENSIBLE chunk carrying the plain tag in its sub-format GUID.
Bytes extensibleFmtChunk(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits) {
    Bytes f = fmtChunk(0xFFFE, channels, rate, bits);
    f.erase(f.begin(), f.begin() + 8);
    put16(f, 22);
    put16(f, bits);
    put32(f, 0);
    put16(f, tag);
    f.insert(f.end(), {0x00, 0x00, 0x00, 0x00, 0x10, 0x00, 0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71});
    return chunk("fmt ", f);
}

Bytes& operator+=(Bytes& a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

Bytes riff(std::initializer_list<Bytes> chunks) {
    Bytes b{'R', 'I', 'F', 'F', 0, 0, 0, 0, 'W', 'A', 'V', 'E'};
    for (const Bytes& c : chunks) b.insert(b.end(), c.begin(), c.end());
    return b;
}

Bytes pcm16(const std::vector<int16_t>& samples) {
    Bytes b;
    for (int16_t s : samples) put16(b, static_cast<uint16_t>(s));
    return b;
}

class WavReaderTest : public ::testing::Test {
protected:
    std::string write(const std::string& name, const Bytes& bytes) {
        const fs::path p = dir / name;
        fs::create_directories(p.parent_path());
        std::ofstream(p, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
        return p.string();
    }

    WavBuffer load(const Bytes& bytes, int32_t hostRate) {
        // A new name each time: rewriting one file in place makes the file system flush it.
        std::string name = "t";
        name += std::to_string(++written) + ".wav";
        const std::string path = write(name, bytes);
        WavBuffer w = loadWav(path.c_str(), dir.string(), hostRate);
        fs::remove(path);
        return w;
    }

    static std::vector<float> values(const WavBuffer& w) { return {w.samples.get(), w.samples.get() + w.count}; }

    TempFolder folder;
    const fs::path dir{folder.path};
    int written = 0;
    MessageLog log;
    std::vector<std::string>& messages = log.messages;
};

TEST_F(WavReaderTest, MonoSixteenBitLoadsSampleForSample) {
    const std::vector<int16_t> s{0, 1, -1, 32767, -32768, 1234, -4321};
    const WavBuffer w = load(riff({fmtChunk(1, 1, 44100, 16), chunk("data", pcm16(s))}), 44100);
    ASSERT_EQ(w.count, static_cast<int32_t>(s.size()));
    for (size_t i = 0; i < s.size(); ++i) EXPECT_EQ(w.samples[i], s[i] / 32768.0f) << i;
    for (int i = 0; i < 16; ++i) EXPECT_EQ(w.samples[w.count + i], 0.0f);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WavReaderTest, ChannelsAreAveragedTruncatingTowardZero) {
    const Bytes data = pcm16({1000, -1000, 1001, 0, -1001, 0, 32767, 32767, -32768, -32767});
    const WavBuffer w = load(riff({fmtChunk(1, 2, 44100, 16), chunk("data", data)}), 44100);
    EXPECT_EQ(values(w),
              (std::vector<float>{0.0f, 500 / 32768.0f, -500 / 32768.0f, 32767 / 32768.0f, -32767 / 32768.0f}));

    const Bytes three = pcm16({3, 3, 4, -7, -7, -8});
    const WavBuffer w3 = load(riff({fmtChunk(1, 3, 44100, 16), chunk("data", three)}), 44100);
    EXPECT_EQ(values(w3), (std::vector<float>{3 / 32768.0f, -7 / 32768.0f}));
}

TEST_F(WavReaderTest, EightBitLevels) {
    const WavBuffer w = load(riff({fmtChunk(1, 1, 44100, 8), chunk("data", Bytes{128, 255, 0, 129})}), 44100);
    EXPECT_EQ(values(w), (std::vector<float>{0.0f, 127 * 256 / 32768.0f, -1.0f, 256 / 32768.0f}));
}

// The same two-channel signal written in every encoding the reader decodes.
// One sample as (tag 1) integer PCM of the given width or (tag 3) IEEE float.
Bytes encode(uint16_t tag, uint16_t bits, double x) {
    Bytes b(bits / 8);
    if (tag == 3 && bits == 32) {
        const float f = static_cast<float>(x);
        std::memcpy(b.data(), &f, 4);
    } else if (tag == 3) {
        std::memcpy(b.data(), &x, 8);
    } else {
        const double full = std::ldexp(1.0, bits - 1);
        const auto v = static_cast<uint32_t>(std::clamp<int64_t>(std::llround(x * full), -full, full - 1));
        for (size_t i = 0; i < b.size(); ++i) b[i] = (v >> (8 * i)) & 0xFF;
    }
    return b;
}

TEST_F(WavReaderTest, EveryEncodingDecodesWithinOneSixteenBitStepOfSixteenBit) {
    std::vector<double> signal{-1.0, 0.99996, 0.0, 1.0 / 65536, -1.0 / 65536};
    for (int i = 0; i < 4000; ++i) signal.push_back(0.9 * std::sin(i * 0.031) * (i % 2 ? -0.6 : 1.0));
    const auto file = [&](uint16_t tag, uint16_t bits, bool extensible) {
        Bytes data;
        for (double x : signal) data += encode(tag, bits, x);
        return riff({extensible ? extensibleFmtChunk(tag, 2, 44100, bits) : fmtChunk(tag, 2, 44100, bits),
                     chunk("data", data)});
    };
    const std::vector<float> reference = values(load(file(1, 16, false), 44100));
    ASSERT_EQ(reference.size(), signal.size() / 2);
    const int encodings[][2] = {{1, 16}, {1, 24}, {1, 32}, {3, 32}, {3, 64}};
    for (auto [tag, bits] : encodings) {
        for (bool extensible : {false, true}) {
            const std::vector<float> decoded = values(load(file(tag, bits, extensible), 44100));
            ASSERT_EQ(decoded.size(), reference.size()) << tag << " " << bits << " " << extensible;
            for (size_t i = 0; i < decoded.size(); ++i)
                ASSERT_NEAR(decoded[i], reference[i], 1.0 / 32768)
                    << tag << " " << bits << " " << extensible << " " << i;
        }
    }
    EXPECT_TRUE(messages.empty());
}

TEST_F(WavReaderTest, WideSamplesKeepTheirExactLevels) {
    const struct {
        uint16_t tag, bits;
        Bytes data;
        std::vector<float> expected;
    } cases[] = {
        {1, 24, {0x00, 0x00, 0x80, 0xFF, 0xFF, 0x7F, 0x01, 0x00, 0x00}, {-1.0f, 8388607 / 8388608.0f, 1 / 8388608.0f}},
        {1, 32, {0, 0, 0, 0x80, 0, 1, 0, 0}, {-1.0f, 256 / 2147483648.0f}},
        // Beyond full scale, NaN and -infinity: levels a file must not feed the vocoder.
        {3, 32, {0, 0, 0xC0, 0x3F, 0, 0, 0xC0, 0x7F, 0, 0, 0x80, 0xFF}, {1.0f, 0.0f, -1.0f}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(values(load(riff({fmtChunk(c.tag, 1, 44100, c.bits), chunk("data", c.data)}), 44100)), c.expected)
            << c.bits;
}

TEST_F(WavReaderTest, OtherPlainWidthsAreReadTwoBytesPerSample) {
    const Bytes data{0x01, 0x02, 0x03, 0x04, 0x05, 0x86};
    const WavBuffer w = load(riff({fmtChunk(1, 1, 44100, 20), chunk("data", data)}), 44100);
    // frames = 6 x 8 / 20 = 2; each frame reads 2 bytes.
    EXPECT_EQ(values(w), (std::vector<float>{0x0201 / 32768.0f, 0x0403 / 32768.0f}));
}

TEST_F(WavReaderTest, SampleAndHoldBetweenRates) {
    std::vector<int16_t> s(10);
    for (int i = 0; i < 10; ++i) s[i] = static_cast<int16_t>(100 * (i + 1));
    const Bytes file = riff({fmtChunk(1, 1, 48000, 16), chunk("data", pcm16(s))});

    const WavBuffer up = load(file, 96000);
    ASSERT_EQ(up.count, 20);
    for (int i = 0; i < 20; ++i) EXPECT_EQ(up.samples[i], s[i / 2] / 32768.0f) << i;

    const WavBuffer down = load(file, 24000);
    ASSERT_EQ(down.count, 5);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(down.samples[i], s[2 * i + 1] / 32768.0f) << i;

    // Uneven ratios: host sample i holds file frame ceil((i + 1) Fr / Fh) - 1.
    std::vector<int16_t> ramp(441);
    for (int i = 0; i < 441; ++i) ramp[i] = static_cast<int16_t>(i);
    const Bytes odd = riff({fmtChunk(1, 1, 44100, 16), chunk("data", pcm16(ramp))});
    for (int64_t fh : {48000, 22050, 8000, 192000}) {
        const WavBuffer w = load(odd, static_cast<int32_t>(fh));
        ASSERT_EQ(w.count, 441 * fh / 44100) << fh;
        for (int64_t i = 0; i < w.count; ++i) {
            const int64_t frame = ((i + 1) * 44100 + fh - 1) / fh - 1;
            ASSERT_EQ(w.samples[i], frame / 32768.0f) << fh << " " << i;
        }
    }
}

TEST_F(WavReaderTest, CompressedOrUnknownEncodingsAreFormatErrors) {
    Bytes unknownGuid = extensibleFmtChunk(1, 1, 44100, 16);
    unknownGuid.back() ^= 1;
    // ADPCM, A-law, float of 16 bits, compressed or 12-bit inside extensible, an unknown
    // sub-format, the extensible tag without its extension, and no "fmt " before "data".
    for (const Bytes& fmt : {fmtChunk(2, 1, 44100, 4), fmtChunk(6, 1, 44100, 8), fmtChunk(3, 1, 44100, 16),
                             extensibleFmtChunk(2, 1, 44100, 16), extensibleFmtChunk(1, 1, 44100, 12), unknownGuid,
                             fmtChunk(0xFFFE, 1, 44100, 16), Bytes{}}) {
        const WavBuffer w = load(riff({fmt, chunk("data", pcm16({1, 2, 3, 4}))}), 44100);
        EXPECT_EQ(w.count, 0);
        EXPECT_EQ(w.problem, kFormatError);
    }
    EXPECT_EQ(load(riff({fmtChunk(1, 1, 44100, 16), chunk("LIST", Bytes(6))}), 44100).problem, "No audio data");
    EXPECT_TRUE(messages.empty());  // the slot that loads a file tells the user
}

TEST_F(WavReaderTest, ChunkWalkIsBounded) {
    // Zeros are an endless row of empty chunks; "data" behind 4095 empty chunks loads.
    EXPECT_EQ(load(Bytes(1 << 20, 0), 44100).problem, "No audio data");
    for (int empty : {4095, 4096}) {
        Bytes file = riff({fmtChunk(1, 1, 44100, 16)});
        for (int i = 1; i < empty; ++i) file += chunk("junk", {});
        file += chunk("data", pcm16({3}));
        EXPECT_EQ(load(file, 44100).count, empty == 4095 ? 1 : 0) << empty;
    }
}

TEST_F(WavReaderTest, ChunkWalkSkipsOtherChunksAndHonoursPadBytes) {
    const Bytes data = pcm16({7, -7});
    Bytes odd = chunk("junk", Bytes{1, 2, 3});
    odd.push_back(0);  // pad byte
    const WavBuffer w =
        load(riff({odd, fmtChunk(1, 1, 44100, 16), chunk("LIST", Bytes(10)), chunk("data", data)}), 44100);
    EXPECT_EQ(values(w), (std::vector<float>{7 / 32768.0f, -7 / 32768.0f}));

    // A larger "fmt " chunk (extension fields) is skipped past its end.
    Bytes fmt = fmtChunk(1, 1, 44100, 16);
    fmt[4] = 18;
    fmt.insert(fmt.end(), {0, 0});
    EXPECT_EQ(values(load(riff({fmt, chunk("data", data)}), 44100)), values(w));
}

TEST_F(WavReaderTest, DecodingStopsAtTheRealEndOfTheData) {
    // Declared size far beyond the file: only the bytes present count.
    const WavBuffer big =
        load(riff({fmtChunk(1, 1, 44100, 16), chunk("data", pcm16({5, 6, 7, 8}), 0xFFFFFFF0u)}), 44100);
    EXPECT_EQ(values(big), (std::vector<float>{5 / 32768.0f, 6 / 32768.0f, 7 / 32768.0f, 8 / 32768.0f}));

    // A 4-bit width is read as 16-bit: frames beyond the chunk's bytes decode as 0,
    // not from the chunk that follows.
    const Bytes file = riff({fmtChunk(1, 1, 44100, 4), chunk("data", pcm16({9, 10})), chunk("LIST", pcm16({11, 12}))});
    EXPECT_EQ(values(load(file, 44100)), (std::vector<float>{9 / 32768.0f, 10 / 32768.0f, 0, 0, 0, 0, 0, 0}));
}

TEST_F(WavReaderTest, UnusableFieldsAndArgumentsAreRejected) {
    const Bytes data = pcm16({1, 2});
    EXPECT_EQ(load(riff({fmtChunk(1, 0, 44100, 16), chunk("data", data)}), 44100).count, 0);
    EXPECT_EQ(load(riff({fmtChunk(1, 1, 0, 16), chunk("data", data)}), 44100).count, 0);
    EXPECT_EQ(load(riff({fmtChunk(1, 1, 44100, 0), chunk("data", data)}), 44100).count, 0);
    EXPECT_EQ(load(riff({fmtChunk(1, 1, 44100, 16), chunk("data", {})}), 44100).count, 0);
    const Bytes good = riff({fmtChunk(1, 1, 44100, 16), chunk("data", data)});
    EXPECT_EQ(load(good, 0).count, 0);
    EXPECT_EQ(load(good, -44100).count, 0);
    EXPECT_EQ(load(good, 44100).count, 2);
    EXPECT_EQ(loadWav(nullptr, dir.string(), 44100).count, 0);
    EXPECT_EQ(loadWav("", dir.string(), 44100).count, 0);
    EXPECT_TRUE(messages.empty());
}

TEST_F(WavReaderTest, ResampledLengthIsBoundedToTenMinutes) {
    // A 1 Hz file rate turns every frame into a second of host samples.
    const auto file = [](int frames) { return riff({fmtChunk(1, 1, 1, 16), chunk("data", Bytes(2 * frames, 0))}); };
    EXPECT_EQ(load(file(600), 8000).count, 600 * 8000);
    EXPECT_EQ(load(file(601), 8000).count, 0);
    EXPECT_EQ(load(file(601), 192000).count, 0);
    EXPECT_EQ(load(file(301), 384000).count, 0);  // 10 minutes at 192 kHz is the ceiling
}

TEST_F(WavReaderTest, RelativePathsResolveAgainstTheBaseDirectory) {
    EXPECT_EQ(resolveWavPath(".\\drumloop.wav", "/opt/zorvek"), "/opt/zorvek/drumloop.wav");
    EXPECT_EQ(resolveWavPath("./a/b.wav", "/opt/zorvek"), "/opt/zorvek/a/b.wav");
    EXPECT_EQ(resolveWavPath("sub\\b.wav", "/opt/zorvek"), "/opt/zorvek/sub/b.wav");
    EXPECT_EQ(resolveWavPath("../x.wav", "/opt/zorvek"), "/opt/zorvek/../x.wav");
    EXPECT_EQ(resolveWavPath("/abs/x.wav", "/opt/zorvek"), "/abs/x.wav");

    const Bytes file = riff({fmtChunk(1, 1, 44100, 16), chunk("data", pcm16({42}))});
    write("sub/deeper/v.wav", file);
    const fs::path before = fs::current_path();
    for (const char* p : {".\\sub\\deeper\\v.wav", "./sub/deeper/v.wav", "sub/deeper/v.wav", ".\\sub/deeper\\v.wav"})
        EXPECT_EQ(loadWav(p, dir.string(), 44100).count, 1) << p;
    const std::string absolute = (dir / "sub/deeper/v.wav").string();
    EXPECT_EQ(loadWav(absolute.c_str(), "/nonexistent", 44100).count, 1);
    EXPECT_EQ(fs::current_path(), before);
}

TEST_F(WavReaderTest, PathsOf260CharactersOrMoreAreRejected) {
    write("v.wav", riff({fmtChunk(1, 1, 44100, 16), chunk("data", pcm16({42}))}));
    // "./" repeated, then "/" to reach the exact length: all name the same file.
    const auto padded = [](size_t length) {
        std::string p;
        while (p.size() + 2 + 5 <= length) p += "./";
        while (p.size() + 5 < length) p += "/";
        return p + "v.wav";
    };
    ASSERT_EQ(padded(259).size(), 259u);
    ASSERT_EQ(padded(260).size(), 260u);
    EXPECT_EQ(loadWav(padded(259).c_str(), dir.string(), 44100).count, 1);
    EXPECT_EQ(loadWav(padded(260).c_str(), dir.string(), 44100).count, 0);
}

// count within maxCount, and every sample including the 16 spares a valid level.
TEST_F(WavReaderTest, DefaultModulatorFilesLoadWithSound) {
    const std::string base = std::string(ZORVEK_SOURCE_DIR) + "/resources/wav";
    for (const char* name : {".\\drumloop.wav", ".\\someone.wav", ".\\testing1-2-3.wav", ".\\speech.wav"}) {
        const WavBuffer w = loadWav(name, base, 44100);
        ASSERT_GE(w.count, 3 * 44100) << name;
        ASSERT_LE(w.count, 10 * 44100) << name;
        double energy = 0.0;
        for (int32_t i = 0; i < w.count; ++i) energy += double(w.samples[i]) * w.samples[i];
        EXPECT_GT(std::sqrt(energy / w.count), 0.05) << name;
        // Twice the host rate gives every sample twice.
        const WavBuffer twice = loadWav(name, base, 88200);
        ASSERT_EQ(twice.count, 2 * w.count) << name;
        EXPECT_EQ(twice.samples[2 * 1000 + 1], w.samples[1000]) << name;
    }
    EXPECT_TRUE(messages.empty());
}

void expectSane(const WavBuffer& w, int64_t maxCount) {
    if (w.count == 0) return;
    ASSERT_TRUE(w.samples);
    EXPECT_LE(static_cast<int64_t>(w.count), maxCount);
    for (int32_t i = 0; i < w.count + 16; ++i) {
        ASSERT_GE(w.samples[i], -1.0f);
        ASSERT_LT(w.samples[i], 1.0f);
    }
}

TEST_F(WavReaderTest, TruncatedFilesAtEveryLength) {
    std::vector<int16_t> s(50, -300);
    Bytes junk = chunk("junk", Bytes{1});
    junk.push_back(0);
    const Bytes file = riff({junk, fmtChunk(1, 2, 44100, 16), chunk("data", pcm16(s))});
    for (size_t n = 0; n <= file.size(); ++n) {
        const WavBuffer w = load(Bytes(file.begin(), file.begin() + n), 44100);
        const size_t dataStart = file.size() - 100;
        EXPECT_EQ(w.count, n > dataStart ? static_cast<int32_t>((n - dataStart) / 4) : 0) << n;
        expectSane(w, 25);
    }
}

TEST_F(WavReaderTest, HostileBytesNeverCrashOrOverallocate) {
    std::mt19937 rng(2024);
    const auto random = [&](size_t n) {
        Bytes b(n);
        for (auto& c : b) c = static_cast<unsigned char>(rng());
        return b;
    };
    for (int iteration = 0; iteration < 3000; ++iteration) {
        const size_t n = rng() % 600;
        // Plain noise, then noise behind a plausible header with random fields.
        if (iteration % 3 == 0) {
            expectSane(load(random(n), 44100), 600 * 44100);
            continue;
        }
        const uint32_t rate = 8000 + rng() % 200000;
        const Bytes fmt = fmtChunk(1, 1 + rng() % 8, rate, 1 + rng() % 40);
        Bytes data =
            chunk("data", random(n), iteration % 3 == 1 ? static_cast<uint32_t>(rng()) : static_cast<uint32_t>(n));
        Bytes file = riff({random(rng() % 3), fmt, data});
        // At 1 bit per sample a byte holds 8 frames; a flipped byte may change any field.
        int64_t maxCount = static_cast<int64_t>(n) * 8 * 48000 / rate;
        if (rng() % 4 == 0) {
            file[12 + rng() % (file.size() - 12)] ^= 0xFF;
            maxCount = 600 * 48000;
        }
        expectSane(load(file, 48000), maxCount);
    }
}

}  // namespace

namespace {

TEST_F(WavReaderTest, SlotsTellSlotPathAndReasonOfEveryUnusableFile) {
    // Special files are refused without waiting on them, also behind a symbolic link.
    const std::string fifo = (dir / "fifo.wav").string(), link = (dir / "link.wav").string();
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    fs::create_symlink(fifo, link);
    const std::string paths[] = {(dir / "gone.wav").string(), link, dir.string(),
                                 write("alaw.wav", riff({fmtChunk(6, 1, 8000, 8), chunk("data", Bytes(8))}))};
    VocoderFileSlots slots;
    for (int slot = 0; slot < 4; ++slot) slots.setFile(slot, paths[slot].c_str(), 44100);
    EXPECT_EQ(messages, (std::vector<std::string>{"Zorvek: No such file or directory: File1 " + paths[0],
                                                  "Zorvek: Not a regular file: File2 " + paths[1],
                                                  "Zorvek: Not a regular file: File3 " + paths[2],
                                                  "Zorvek: Wav Format Error: File4 " + paths[3]}));
    // A new sample rate reloads every slot; the same faults are not told again.
    slots.reload(48000);
    slots.setFile(3, write("good.wav", riff({fmtChunk(1, 1, 44100, 16), chunk("data", pcm16({1}))})).c_str(), 48000);
    slots.setFile(2, "", 48000);  // an empty slot is no fault
    EXPECT_EQ(messages.size(), 4u);
    slots.setFile(0, paths[0].c_str(), 48000);
    EXPECT_EQ(messages.size(), 5u);
}

}  // namespace
