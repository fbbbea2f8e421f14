#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cmath>
#include <vector>

#include "capture/CaptureMemory.h"
#include "capture/ScopedCaptureObject.h"
#include "platform/SharedMemory.h"

namespace {

using Role = CaptureMemory::Role;
constexpr size_t kBase[4] = {0, 32784, 65568, 98352};
constexpr size_t kRightRing = 16392;  // from a channel base
constexpr size_t kSamples = 8;        // from a ring

TEST(CaptureMemoryLayout, FieldsSitAtTheirByteOffsets) {
    ScopedCaptureObject object("layout");
    CaptureMemory writer(Role::Writer);
    ASSERT_TRUE(writer.attached());
    ASSERT_TRUE(object.map());
    EXPECT_EQ(object.size, 131136u);
    EXPECT_EQ(object.mode, 0600u);

    for (int n = 0; n < 4; ++n) writer.writeFrame(n, 10.0f + n, 20.0f + n);
    for (int n = 0; n < 4; ++n) {
        SCOPED_TRACE(n);
        EXPECT_EQ(object.indexAt(kBase[n]), 1);
        EXPECT_EQ(object.indexAt(kBase[n] + 4), 0);
        EXPECT_EQ(object.sampleAt(kBase[n] + kSamples), 10.0f + n);
        EXPECT_EQ(object.indexAt(kBase[n] + kRightRing), 1);
        EXPECT_EQ(object.sampleAt(kBase[n] + kRightRing + kSamples), 20.0f + n);
    }

    // Last slot of channel 3: the right sample ends at byte 131,135, and the indices wrap.
    object.setIndexAt(98352, 4095);
    object.setIndexAt(114744, 4095);
    writer.writeFrame(3, 1.5f, -2.5f);
    EXPECT_EQ(object.sampleAt(114740), 1.5f);
    EXPECT_EQ(object.sampleAt(131132), -2.5f);
    EXPECT_EQ(object.indexAt(98352), 0);
    EXPECT_EQ(object.indexAt(114744), 0);
}

TEST(CaptureMemoryAttach, WriterRestartsWritePositionsReaderLeavesThemAlone) {
    ScopedCaptureObject object("attach");
    CaptureMemory first(Role::Writer);
    ASSERT_TRUE(object.map());
    for (int n = 0; n < 4; ++n)
        for (int i = 0; i < 7; ++i) first.writeFrame(n, 1.0f + i, 0.0f);
    object.setIndexAt(kBase[1] + 4, 3);

    CaptureMemory reader(Role::Reader);
    EXPECT_EQ(object.indexAt(4), 7) << "channel 0 starts reading at its write position";
    EXPECT_EQ(reader.available(0), 0);
    EXPECT_EQ(reader.available(1), 4);
    for (size_t base : kBase) {
        EXPECT_EQ(object.indexAt(base), 7);
        EXPECT_EQ(object.indexAt(base + kRightRing), 7);
    }

    CaptureMemory second(Role::Writer);
    for (size_t base : kBase) {
        EXPECT_EQ(object.indexAt(base), 0);
        EXPECT_EQ(object.indexAt(base + kRightRing), 0);
    }
    EXPECT_EQ(object.indexAt(4), 7);
    EXPECT_EQ(object.indexAt(kBase[1] + 4), 3);
    EXPECT_EQ(object.sampleAt(kSamples + 6 * 4), 7.0f) << "samples survive an attach";
}

TEST(CaptureMemoryRead, CarrierTakesFramesModulatorWaitsFor256) {
    ScopedCaptureObject object("read");
    CaptureMemory writer(Role::Writer);
    CaptureMemory reader(Role::Reader);
    float left = -1.0f, right = -1.0f;
    std::vector<float> block(256, -1.0f);
    for (int n = 0; n < 4; ++n) {
        EXPECT_EQ(reader.available(n), 0);
        EXPECT_FALSE(reader.peekFrame(n, left, right));
        EXPECT_EQ(left, 0.0f);
        EXPECT_EQ(right, 0.0f);
    }

    // Sample values stay exact and within the readers' limit when scaled by 1/8.
    const float scale = 0.125f;
    for (int i = 0; i < 100; ++i) writer.writeFrame(2, scale * i, scale * 0.5f * i);
    EXPECT_EQ(reader.available(2), 100);
    EXPECT_EQ(reader.available(1), 0);
    EXPECT_FALSE(reader.readModulatorBlock(2, block.data()));
    EXPECT_EQ(block, std::vector<float>(256, 0.0f));
    EXPECT_EQ(reader.available(2), 100) << "a waiting modulator consumes nothing";

    for (int i = 0; i < 10; ++i) {
        ASSERT_TRUE(reader.peekFrame(2, left, right));
        EXPECT_EQ(left, scale * i);
        EXPECT_EQ(right, scale * 0.5f * i);
        reader.advance(2);
    }
    EXPECT_EQ(reader.available(2), 90);

    for (int i = 100; i < 266; ++i) writer.writeFrame(2, scale * i, scale);
    ASSERT_EQ(reader.available(2), 256);
    ASSERT_TRUE(reader.readModulatorBlock(2, block.data()));
    for (int i = 0; i < 256; ++i) {
        float expected = scale * (i + 10 < 100 ? (i + 10) * 0.75f : (i + 10 + 1.0f) * 0.5f);
        ASSERT_EQ(block[i], expected) << i;
    }
    EXPECT_EQ(reader.available(2), 0);
    reader.advance(2);
    EXPECT_EQ(reader.available(2), 0) << "advancing an empty channel does nothing";

    writer.writeFrame(4, 1.0f, 1.0f);
    writer.writeFrame(-1, 1.0f, 1.0f);
    EXPECT_EQ(reader.available(4), 0);
    EXPECT_EQ(reader.available(-1), 0);
}

TEST(CaptureMemoryUntrusted, CorruptedIndicesAreMaskedOnBothSides) {
    ScopedCaptureObject object("corrupt");
    CaptureMemory writer(Role::Writer);
    CaptureMemory reader(Role::Reader);
    ASSERT_TRUE(object.map());
    const size_t base = kBase[1];
    object.setIndexAt(base, INT_MAX);               // left write: 4095
    object.setIndexAt(base + 4, -5);                // read: 4091
    object.setIndexAt(base + kRightRing, INT_MIN);  // right write: 0
    object.setSampleAt(base + kSamples + 4091 * 4, 7.0f);
    object.setSampleAt(base + kRightRing + kSamples + 4091 * 4, 9.0f);
    EXPECT_EQ(reader.available(1), 4);
    float left = 0.0f, right = 0.0f;
    EXPECT_TRUE(reader.peekFrame(1, left, right));
    EXPECT_EQ(left, 7.0f);
    EXPECT_EQ(right, 9.0f);
    reader.advance(1);
    EXPECT_EQ(object.indexAt(base + 4), 4092);

    writer.writeFrame(1, 3.0f, 4.0f);
    EXPECT_EQ(object.sampleAt(base + kSamples + 4095 * 4), 3.0f);
    EXPECT_EQ(object.sampleAt(base + kRightRing + kSamples), 4.0f);
    EXPECT_EQ(object.indexAt(base), 0);
    EXPECT_EQ(object.indexAt(base + kRightRing), 1);

    object.setIndexAt(base, -1);          // 4095
    object.setIndexAt(base + 4, 100000);  // 1696
    EXPECT_EQ(reader.available(1), 4095 - 1696);
    std::vector<float> block(256, -1.0f);
    EXPECT_TRUE(reader.readModulatorBlock(1, block.data()));
    EXPECT_EQ(object.indexAt(base + 4), 1696 + 256);
}

TEST(CaptureMemoryUntrusted, NonFiniteAndHugeSamplesReadAsBoundedValues) {
    ScopedCaptureObject object("samples");
    CaptureMemory writer(Role::Writer);
    CaptureMemory reader(Role::Reader);
    ASSERT_TRUE(object.map());
    const float garbage[] = {std::nanf(""), INFINITY, -INFINITY, 1e30f, -1e30f, 0.5f};
    for (int i = 0; i < 256; ++i) writer.writeFrame(2, garbage[i % 6], garbage[(i + 1) % 6]);
    float left = 0.0f, right = 0.0f;
    for (int i = 0; i < 6; ++i) {
        ASSERT_TRUE(reader.peekFrame(2, left, right));
        EXPECT_TRUE(std::isfinite(left) && std::fabs(left) <= CaptureMemory::kSampleLimit) << i;
        EXPECT_TRUE(std::isfinite(right) && std::fabs(right) <= CaptureMemory::kSampleLimit) << i;
        reader.advance(2);
    }
    ASSERT_TRUE(reader.peekFrame(2, left, right));
    EXPECT_EQ(left, 0.0f);  // NaN reads as silence
    EXPECT_EQ(right, CaptureMemory::kSampleLimit);
    for (int i = 0; i < 256; ++i) writer.writeFrame(2, garbage[i % 6], garbage[(i + 3) % 6]);
    std::vector<float> block(256);
    ASSERT_TRUE(reader.readModulatorBlock(2, block.data()));
    for (float x : block) EXPECT_TRUE(std::isfinite(x) && std::fabs(x) <= CaptureMemory::kSampleLimit);
    EXPECT_EQ(block[5], 0.25f);  // (0.5 + NaN read as 0) / 2
}

TEST(CaptureMemoryDetached, FailedAttachDropsWritesAndReadsEmpty) {
    ScopedCaptureObject object("detached");
    setenv("ZORVEK_CAPTURE_SHM", "/no/such/object", 1);  // a second slash is never a valid name
    CaptureMemory writer(Role::Writer);
    CaptureMemory reader(Role::Reader);
    EXPECT_FALSE(writer.attached());
    EXPECT_FALSE(reader.attached());
    writer.writeFrame(0, 1.0f, 1.0f);
    std::vector<float> block(256, -1.0f);
    for (int n = 0; n < 4; ++n) {
        float left = -1.0f, right = -1.0f;
        EXPECT_EQ(reader.available(n), 0);
        EXPECT_FALSE(reader.peekFrame(n, left, right));
        EXPECT_EQ(left, 0.0f);
        EXPECT_EQ(right, 0.0f);
        reader.advance(n);
        EXPECT_FALSE(reader.readModulatorBlock(n, block.data()));
        EXPECT_EQ(block, std::vector<float>(256, 0.0f));
    }
}

TEST(CaptureMemoryAttach, DefaultsToTheSharedObjectName) {
    ScopedCaptureObject object("default");
    unsetenv("ZORVEK_CAPTURE_SHM");
    // A reader only moves channel 0's read position, so a real writer is not disturbed.
    CaptureMemory reader(Role::Reader);
    ASSERT_TRUE(reader.attached());
    int fd = shm_open("/ZorvekCap3", O_RDONLY, 0);
    ASSERT_GE(fd, 0);
    struct stat info {};
    fstat(fd, &info);
    close(fd);
    EXPECT_GE(info.st_size, 131136);
}

TEST(SharedMemory, CreatesGrowsButNeverShrinks) {
    const std::string name = "/ZorvekShmTest-" + std::to_string(getpid());
    shm_unlink(name.c_str());
    auto* a = static_cast<unsigned char*>(platform::mapSharedMemory(name.c_str(), 5000));
    auto* b = static_cast<unsigned char*>(platform::mapSharedMemory(name.c_str(), 5000));
    ASSERT_NE(a, nullptr);
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(a[4999], 0) << "a new object is zero-filled";
    a[4999] = 42;
    EXPECT_EQ(b[4999], 42) << "both views share the bytes";
    platform::unmapSharedMemory(b, 5000);

    auto sizeOf = [&] {
        struct stat info {};
        int fd = shm_open(name.c_str(), O_RDONLY, 0);
        fstat(fd, &info);
        close(fd);
        return info.st_size;
    };
    auto* grown = static_cast<unsigned char*>(platform::mapSharedMemory(name.c_str(), 9000));
    ASSERT_NE(grown, nullptr);
    EXPECT_EQ(sizeOf(), 9000);
    EXPECT_EQ(grown[4999], 42);
    platform::unmapSharedMemory(grown, 9000);
    void* smaller = platform::mapSharedMemory(name.c_str(), 100);
    EXPECT_NE(smaller, nullptr);
    EXPECT_EQ(sizeOf(), 9000);
    platform::unmapSharedMemory(smaller, 100);
    platform::unmapSharedMemory(a, 5000);
    shm_unlink(name.c_str());

    EXPECT_EQ(platform::mapSharedMemory("/no/such/object", 100), nullptr);
    EXPECT_EQ(platform::mapSharedMemory(nullptr, 100), nullptr);
    platform::unmapSharedMemory(nullptr, 100);
}

}  // namespace
