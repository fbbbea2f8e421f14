// Allocations made to fail on purpose: no exception reaches the host. Creation answers
// no plug-in, a request answers 0, and the plug-in keeps working afterwards.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "host/Vst2.h"
#include "realtime/allocation_counter.h"

namespace {

// The built library's entry point; its allocations go through this executable's
// allocation functions.
AEffect* pluginMain(audioMasterCallback host) {
    static void* library =
        dlopen((std::string(ZORVEK_PLUGIN_DIR) + "/Zorvek2.so").c_str(), RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    static auto* entry = library ? reinterpret_cast<AEffect* (*)(audioMasterCallback)>(dlsym(library, "main")) : nullptr;
    return entry ? entry(host) : nullptr;
}

intptr_t quietHost(AEffect*, int32_t opcode, int32_t, intptr_t, void*, float) {
    return opcode == audioMasterVersion ? 2400 : 0;
}

intptr_t dispatch(AEffect* effect, int32_t opcode, int32_t index = 0, intptr_t value = 0, void* ptr = nullptr,
                  float opt = 0.0f) {
    return effect->dispatcher(effect, opcode, index, value, ptr, opt);
}

bool rendersFiniteAudio(AEffect* effect) {
    std::vector<float> left(256, 1.0f), right(256, 1.0f);
    float* outputs[2] = {left.data(), right.data()};
    effect->processReplacing(effect, nullptr, outputs, 256);
    for (size_t k = 0; k < left.size(); ++k)
        if (!std::isfinite(left[k]) || !std::isfinite(right[k])) return false;
    return true;
}

TEST(AllocationFailure, CreationThatCannotAllocateAnswersNoPlugin) {
    AllocationCounter::start();
    AEffect* whole = pluginMain(quietHost);
    AllocationCounter::stop();
    const long needed = AllocationCounter::allocationCount();
    ASSERT_NE(whole, nullptr);
    dispatch(whole, effClose);
    ASSERT_GT(needed, 10);
    // The first allocations, some spread over the rest, and the last ones.
    std::vector<long> failing;
    for (long n = 0; n < needed; n += n < 8 ? 1 : needed / 16) failing.push_back(n);
    failing.push_back(needed - 1);
    size_t refused = 0;
    for (long n : failing) {
        AEffect* effect = nullptr;
        AllocationCounter::start();
        AllocationCounter::failFrom(n);
        EXPECT_NO_THROW(effect = pluginMain(quietHost)) << "allocation " << n << " of " << needed;
        AllocationCounter::stop();
        // An allocation the plug-in can do without leaves a working plug-in.
        if (effect) {
            EXPECT_TRUE(rendersFiniteAudio(effect)) << "allocation " << n << " of " << needed;
            dispatch(effect, effClose);
        } else {
            ++refused;
        }
    }
    EXPECT_GE(refused, failing.size() - 1);
}

// Requests that load files (and so allocate), with every allocation failing.
struct Request {
    const char* name;
    intptr_t (*send)(AEffect*, std::vector<char>& chunk);
};

const Request kRequests[] = {
    {"LoadBankChunk",
     [](AEffect* e, std::vector<char>& chunk) {
         return dispatch(e, effSetChunk, 0, static_cast<intptr_t>(chunk.size()), chunk.data());
     }},
    {"SaveBankChunk",
     [](AEffect* e, std::vector<char>&) {
         void* data = nullptr;
         return dispatch(e, effGetChunk, 0, 0, &data);
     }},
    // Answers 0 by rule; answers 1 here when the plug-in is still there to answer.
    {"SampleRate",
     [](AEffect* e, std::vector<char>&) -> intptr_t {
         dispatch(e, effSetSampleRate, 0, 0, nullptr, 96000.0f);
         return dispatch(e, effGetVendorVersion) != 0;
     }},
};

TEST(AllocationFailure, RequestsThatCannotAllocateAnswerInsteadOfThrowing) {
    for (const Request& request : kRequests) {
        AEffect* effect = pluginMain(quietHost);
        ASSERT_NE(effect, nullptr);
        void* data = nullptr;
        const intptr_t size = dispatch(effect, effGetChunk, 0, 0, &data);
        ASSERT_GT(size, 0);
        std::vector<char> chunk(static_cast<const char*>(data), static_cast<const char*>(data) + size);
        AllocationCounter::start();
        AllocationCounter::failFrom(0);
        EXPECT_NO_THROW(request.send(effect, chunk)) << request.name;
        AllocationCounter::stop();
        EXPECT_TRUE(rendersFiniteAudio(effect)) << request.name;
        // With memory again the same request succeeds.
        EXPECT_NE(request.send(effect, chunk), 0) << request.name;
        dispatch(effect, effClose);
    }
}

}  // namespace
