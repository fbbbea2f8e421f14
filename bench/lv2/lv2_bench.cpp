// The same instrument through both formats: the VST 2 library through its entry point
// and the LV2 bundle through lilv, each loaded as a host loads it, 44.1 kHz, 512-frame
// host blocks, the Default program, eight held notes. The two times per block should
// agree within a few percent: the LV2 adapter only adds its port and event handling.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "support/LoadedPlugin.h"
#include "support/Lv2Host.h"

namespace {

constexpr int32_t kBlock = 512;
constexpr int kNotes[8] = {48, 52, 55, 60, 64, 67, 72, 76};

void privateCapture() { setenv("ZORVEK_CAPTURE_SHM", ("/ZorvekCapBench-" + std::to_string(getpid())).c_str(), 1); }

void BM_Vst2Block(benchmark::State& state) {
    privateCapture();
    LoadedPlugin vst("Zorvek2.so");
    vst.start(44100.0f, kBlock);
    for (int note : kNotes) vst.sendMidi(0x90, note, 100);
    std::vector<float> left, right;
    for (auto _ : state) vst.render(left, right, kBlock, kBlock);
    state.SetItemsProcessed(state.iterations() * kBlock);
}

void BM_Lv2Block(benchmark::State& state) {
    privateCapture();
    Lv2Instance lv2("urn:drennak:zorvek2");
    for (int note : kNotes) lv2.sendMidi(0x90, note, 100);
    std::vector<float> left, right;
    for (auto _ : state) lv2.render(left, right, kBlock, kBlock);
    state.SetItemsProcessed(state.iterations() * kBlock);
}

BENCHMARK(BM_Vst2Block)->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);
BENCHMARK(BM_Lv2Block)->MinTime(2.0)->Repetitions(3)->ReportAggregatesOnly(true);

}  // namespace
