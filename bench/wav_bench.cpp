// Loading degenerate WAV files: each must be loaded or refused in at most the time of
// reading its bytes once plus 0.1 s. "ReadOnce" is that reference for the 2 GiB files
// (sparse, so they take no disk space); compare its time with the others.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "vocoder/WavReader.h"

namespace {

constexpr int64_t kTwoGiB = int64_t{1} << 31;

void put32(unsigned char* p, uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<unsigned char>(v >> (8 * i));
}

// RIFF header, a 16-byte "fmt " chunk and a "data" header: 44 bytes.
std::vector<unsigned char> header(uint16_t channels, uint32_t rate, uint16_t bits, uint32_t dataSize) {
    std::vector<unsigned char> h(44, 0);
    std::copy_n("RIFF", 4, h.begin());
    std::copy_n("WAVEfmt ", 8, h.begin() + 8);
    put32(&h[16], 16);
    h[20] = 1;
    h[22] = static_cast<unsigned char>(channels);
    put32(&h[24], rate);
    put32(&h[28], rate * channels * bits / 8);
    h[32] = static_cast<unsigned char>(channels * bits / 8);
    h[34] = static_cast<unsigned char>(bits);
    std::copy_n("data", 4, h.begin() + 36);
    put32(&h[40], dataSize);
    return h;
}

// A file of the given length whose first bytes are 'start' and the rest holes (zeros).
std::string makeFile(const char* name, const std::vector<unsigned char>& start, int64_t length) {
    static const std::string folder = [] {
        std::string pattern = "/tmp/zorvek-wav-bench-XXXXXX";
        return std::string(mkdtemp(pattern.data()) ? pattern : "/tmp");
    }();
    const std::string path = folder + "/" + name;
    const int fd = open(path.c_str(), O_CREAT | O_TRUNC | O_WRONLY, 0600);
    if (fd < 0 || write(fd, start.data(), start.size()) != static_cast<ssize_t>(start.size()) ||
        ftruncate(fd, length) != 0)
        std::abort();
    close(fd);
    return path;
}

void load(benchmark::State& state, const std::string& path, std::atomic<bool>* started = nullptr) {
    const WavBuffer w = loadWav(path.c_str(), "", 44100);
    if (started) started->store(false);
    state.counters["samples"] = w.count;
}

void BM_ReadOnce2GiB(benchmark::State& state) {
    const std::string path = makeFile("zeros.wav", {}, kTwoGiB);
    std::vector<char> buffer(size_t{1} << 20);
    for (auto _ : state) {
        const int fd = open(path.c_str(), O_RDONLY);
        int64_t total = 0;
        for (ssize_t n; (n = read(fd, buffer.data(), buffer.size())) > 0;) total += n;
        close(fd);
        benchmark::DoNotOptimize(total);
    }
    unlink(path.c_str());
}

// No RIFF header: an 8-byte empty chunk after another.
void BM_Zeros2GiB(benchmark::State& state) {
    const std::string path = makeFile("zeros.wav", {}, kTwoGiB);
    for (auto _ : state) load(state, path);
    unlink(path.c_str());
}

// A valid header whose data fills 2 GiB: 8-bit mono at a rate that makes it ten
// minutes long, so every byte is audio the reader has to get through.
void BM_WholeFile2GiB(benchmark::State& state) {
    const uint32_t rate = static_cast<uint32_t>(kTwoGiB / 600) + 1;
    const std::string path = makeFile("long.wav", header(1, rate, 8, 0xFFFFFFFFu), kTwoGiB);
    for (auto _ : state) load(state, path);
    unlink(path.c_str());
}

// The header announces ten minutes of 16-bit stereo; 10 kB of it are there.
void BM_Truncated(benchmark::State& state) {
    const uint32_t dataSize = 44100u * 4 * 599;
    const std::string path = makeFile("truncated.wav", header(2, 44100, 16, dataSize), 10000);
    for (auto _ : state) load(state, path);
    unlink(path.c_str());
}

// The same file whole (105 MB), cut to 10 kB by another thread while it loads.
void BM_TruncatedWhileLoading(benchmark::State& state) {
    const uint32_t dataSize = 44100u * 4 * 599;
    std::vector<unsigned char> start = header(2, 44100, 16, dataSize);
    start.resize(start.size() + dataSize, 0x11);
    for (auto _ : state) {
        state.PauseTiming();
        const std::string path = makeFile("cut.wav", start, static_cast<int64_t>(start.size()));
        std::atomic<bool> loading{true};
        std::thread cutter([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
            if (loading.load()) (void)truncate(path.c_str(), 10000);
        });
        state.ResumeTiming();
        load(state, path, &loading);
        state.PauseTiming();
        cutter.join();
        unlink(path.c_str());
        state.ResumeTiming();
    }
}

}  // namespace

BENCHMARK(BM_ReadOnce2GiB)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Zeros2GiB)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_WholeFile2GiB)->Unit(benchmark::kMillisecond)->Iterations(2);
BENCHMARK(BM_Truncated)->Unit(benchmark::kMillisecond)->Iterations(5);
BENCHMARK(BM_TruncatedWhileLoading)->Unit(benchmark::kMillisecond)->Iterations(3);
