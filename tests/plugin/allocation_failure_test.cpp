// Allocations made to fail on purpose (this executable's allocation functions take the
// place of the standard ones in the library): no exception reaches the host.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "realtime/allocation_counter.h"
#include "support/HostCallback.h"
#include "support/LoadedPlugin.h"

namespace {

TEST(AllocationFailure, CreationThatCannotAllocateAnswersNoPlugin) {
    void* library = dlopen((std::string(ZORVEK_PLUGIN_DIR) + "/Zorvek2.so").c_str(), RTLD_NOW | RTLD_NODELETE);
    ASSERT_NE(library, nullptr);
    testhost::host().recording = false;  // only the plug-in's allocations are counted
    auto* entry = reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, "main"));
    auto create = [&](long failFrom) {
        AllocationCounter::start();
        AllocationCounter::failFrom(failFrom);
        AEffect* effect = nullptr;
        EXPECT_NO_THROW(effect = entry(testhost::callback)) << "allocation " << failFrom;
        AllocationCounter::stop();
        if (effect) effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
        return effect != nullptr;
    };
    ASSERT_TRUE(create(-1));
    const long needed = AllocationCounter::allocationCount();
    // The first allocations and some spread over the rest: each failure refuses the
    // plug-in, except the last, which it can do without.
    for (long n = 0; n + 1 < needed; n += n < 8 ? 1 : needed / 16) EXPECT_FALSE(create(n)) << n << " of " << needed;
    dlclose(library);
}

TEST(AllocationFailure, RequestsThatCannotAllocateAnswerAndThePluginPlaysOn) {
    // Loading a bank (and its files) and a new rate (files resampled).
    const int32_t opcodes[] = {effSetChunk, effSetSampleRate};
    for (int32_t opcode : opcodes) {
        LoadedPlugin plugin("Zorvek2.so");
        ASSERT_NE(plugin.effect(), nullptr);
        plugin.start();
        void* data = nullptr;
        const intptr_t size = plugin.dispatch(effGetChunk, 0, 0, &data);
        ASSERT_GT(size, 0);
        std::vector<char> chunk(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        AllocationCounter::start();
        AllocationCounter::failFrom(0);
        EXPECT_NO_THROW(plugin.dispatch(opcode, 0, static_cast<intptr_t>(chunk.size()), chunk.data(), 96000.0f))
            << opcode;
        AllocationCounter::stop();
        std::vector<float> left, right;
        plugin.render(left, right, 1024);
        for (size_t k = 0; k < left.size(); ++k)
            ASSERT_TRUE(std::isfinite(left[k]) && std::isfinite(right[k])) << opcode;
    }
}

}  // namespace
