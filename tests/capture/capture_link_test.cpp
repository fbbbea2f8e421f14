// A writer and a reader on one channel, in two threads and in two processes: every
// frame arrives in order, none twice and none made up; a stalled reader loses frames.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "capture/CaptureMemory.h"
#include "capture/ScopedCaptureObject.h"

namespace {

using Role = CaptureMemory::Role;
using Clock = std::chrono::steady_clock;
constexpr int kChannel = 2;
constexpr int32_t kFrames = 256 * 1000;  // frame numbers stay exact in float halves and quarters

// Frame n is (n, n + 0.25) / 4096, within the readers' sample limit; every value and the
// mono average (n + 0.125) / 4096 are exact in float.
float leftOf(int32_t n) { return static_cast<float>(n) / 4096.0f; }
float rightOf(int32_t n) { return (static_cast<float>(n) + 0.25f) / 4096.0f; }
float monoOf(int32_t n) { return (static_cast<float>(n) + 0.125f) / 4096.0f; }

// Paced: the test's writer waits for room so the reader never falls a ring behind.
bool writeSequence(CaptureMemory& writer, int32_t first, int32_t count, bool paced) {
    auto deadline = Clock::now() + std::chrono::seconds(60);
    for (int32_t n = first; n < first + count; ++n) {
        while (paced && writer.available(kChannel) >= 4000) {
            if (Clock::now() > deadline) return false;
            std::this_thread::yield();
        }
        writer.writeFrame(kChannel, leftOf(n), rightOf(n));
    }
    return true;
}

// Consumes count frames, alternating 256 carrier reads and one modulator block.
testing::AssertionResult consumeSequence(CaptureMemory& reader, int32_t first, int32_t count) {
    auto deadline = Clock::now() + std::chrono::seconds(60);
    float block[256];
    for (int32_t n = first, chunk = 0; n < first + count; ++chunk) {
        if (Clock::now() > deadline) return testing::AssertionFailure() << "stuck at frame " << n;
        if (chunk % 2 == 1 && first + count - n >= 256) {
            if (!reader.readModulatorBlock(kChannel, block)) {
                --chunk;
                std::this_thread::yield();
                continue;
            }
            for (int i = 0; i < 256; ++i, ++n)
                if (block[i] != monoOf(n)) return testing::AssertionFailure() << "mono " << block[i] << " for " << n;
            continue;
        }
        for (int i = 0; i < 256 && n < first + count;) {
            float left, right;
            if (!reader.peekFrame(kChannel, left, right)) {
                if (Clock::now() > deadline) return testing::AssertionFailure() << "stuck at frame " << n;
                std::this_thread::yield();
                continue;
            }
            if (left != leftOf(n) || right != rightOf(n))
                return testing::AssertionFailure() << "frame (" << left << ", " << right << ") for " << n;
            reader.advance(kChannel);
            ++i, ++n;
        }
    }
    if (reader.available(kChannel) != 0) return testing::AssertionFailure() << "frames beyond the last written";
    return testing::AssertionSuccess();
}

TEST(CaptureLink, TwoThreadsStreamEveryFrameOnce) {
    ScopedCaptureObject object("threads");
    CaptureMemory reader(Role::Reader);
    bool written = false;
    std::thread writerThread([&] {
        CaptureMemory writer(Role::Writer);
        written = writeSequence(writer, 0, kFrames, true);
    });
    EXPECT_TRUE(consumeSequence(reader, 0, kFrames));
    writerThread.join();
    EXPECT_TRUE(written);
}

TEST(CaptureLink, TwoProcessesStreamAndAStalledReaderLosesOverwrittenFrames) {
    ScopedCaptureObject object("processes");
    CaptureMemory reader(Role::Reader);
    int go[2], done[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(done), 0);
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        CaptureMemory writer(Role::Writer);
        char byte = 0;
        bool ok = writer.attached() && writeSequence(writer, 0, kFrames, true) && read(go[0], &byte, 1) == 1 &&
                  writeSequence(writer, kFrames, 5000, false) && write(done[1], &byte, 1) == 1;
        _exit(ok ? 0 : 1);
    }
    close(go[0]);
    close(done[1]);

    auto streamed = consumeSequence(reader, 0, kFrames);
    EXPECT_TRUE(streamed);
    if (!streamed) kill(child, SIGKILL);
    char byte = 1;
    EXPECT_EQ(write(go[1], &byte, 1), 1);
    EXPECT_EQ(read(done[0], &byte, 1), 1);
    // 5000 frames against a stalled reader: the backlog wraps to 5000 - 4096, and what
    // it holds are the newest frames, written over the oldest.
    EXPECT_EQ(reader.available(kChannel), 904);
    EXPECT_TRUE(consumeSequence(reader, kFrames + 4096, 904));

    int status = 0;
    EXPECT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    close(go[1]);
    close(done[0]);
}

}  // namespace
