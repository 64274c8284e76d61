// Delivery, grabbing and format changes at once, from several threads: no
// frame is ever torn, and (under ThreadSanitizer, in scripts/test) nothing
// races.
#include "fake_v4l2.h"
#include "platform_test.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <vector>

namespace {

constexpr int cycles = 200;

class StressTest : public PlatformTest {
protected:
    // Grabs from three threads while this one stops, reformats (64x48 and
    // 32x24 in turn) and restarts g: each stop joins a delivery thread, each
    // run starts one. whole tells whether a grabbed 64x48 or 32x24 picture
    // (bottom-up rows of stride bytes) is one sample, unmixed. Returns the
    // frames grabbed.
    static long stress(TestGraph &g, const std::function<bool(const uint8_t *, size_t stride, int height)> &whole) {
        ComRef<IAMStreamConfig> config = streamConfig(g.camera.get());
        EXPECT_TRUE(config);
        if (!config)
            return 0;
        EXPECT_EQ(g.control->Run(), S_OK);
        std::atomic<bool> stop{false};
        std::atomic<long> frames{0}, torn{0};
        auto grab = [&] {
            std::vector<long> buffer(64 * 3 * 48 / sizeof(long) + 1);
            while (!stop) {
                long size = static_cast<long>(buffer.size() * sizeof(long));
                if (g.grabber->GetCurrentBuffer(&size, buffer.data()) != S_OK)
                    continue;
                int height = size == 64 * 3 * 48 ? 48 : 24;
                if (!whole(reinterpret_cast<const uint8_t *>(buffer.data()), height == 48 ? 64 * 3 : 32 * 3, height))
                    ++torn;
                ++frames;
            }
        };
        std::vector<std::thread> grabbers;
        for (int i = 0; i < 3; ++i)
            grabbers.emplace_back(grab);
        AM_MEDIA_TYPE *format = nullptr;
        EXPECT_EQ(config->GetFormat(&format), S_OK);
        auto *header = reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat);
        for (int cycle = 0; cycle < cycles; ++cycle) {
            EXPECT_EQ(g.control->Stop(), S_OK);
            header->bmiHeader.biWidth = cycle % 2 ? 64 : 32;
            header->bmiHeader.biHeight = cycle % 2 ? 48 : 24;
            EXPECT_EQ(config->SetFormat(format), S_OK);
            EXPECT_EQ(g.control->Run(), S_OK);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        CoTaskMemFree(format->pbFormat);
        CoTaskMemFree(format);
        stop = true;
        for (std::thread &grabber : grabbers)
            grabber.join();
        EXPECT_EQ(g.control->Stop(), S_OK);
        EXPECT_GT(frames.load(), 0);
        EXPECT_EQ(torn.load(), 0);
        return frames;
    }
};

} // namespace

TEST_F(StressTest, DeliveryGrabbingAndFormatChangesFromSeveralThreads) {
    TestGraph g = makeBufferingGraph(R"({"name": "Fast", "sizes": [[64, 48], [32, 24]], "fps": 1000})");
    ASSERT_TRUE(g.control);
    // The counter strip fills the first rows in memory: within one sample
    // they are all the same, so rows that differ are two samples mixed.
    long frames = stress(g, [](const uint8_t *bytes, size_t stride, int height) {
        for (int row = 1; row < height / 8; ++row)
            if (std::memcmp(bytes, bytes + static_cast<size_t>(row) * stride, stride) != 0)
                return false;
        return true;
    });
    std::printf("stress: %ld frames grabbed by 3 threads over %d stop, format and run cycles\n", frames, cycles);
}

TEST_F(StressTest, AV4l2SourceWhosePicturesAreConvertedWhenTaken) {
    // YUYV frames converted on the grabbing threads, as many at once, while
    // the formats change under them. Each frame is one grey from top to
    // bottom, a new one each frame: a mixed picture is two greys.
    FakeV4l2 fake;
    platform::useV4l2Io(&fake);
    quorin_platform_use_system_devices(1);
    fake.devices = {{"/dev/video0", "Fake", true, {{V4L2_PIX_FMT_YUYV, {{64, 48}, {32, 24}}, {}}}, {}}};
    uint8_t served = 0; // the delivery thread's alone
    fake.payload = [&served](const v4l2_pix_format &pix) {
        std::vector<uint8_t> picture(pix.sizeimage, 128);
        ++served;
        for (size_t i = 0; i < picture.size(); i += 2)
            picture[i] = static_cast<uint8_t>(16 + served % 200);
        return picture;
    };
    long frames = 0;
    {
        TestGraph g = makeBufferingGraph(nullptr);
        ASSERT_TRUE(g.control);
        frames = stress(g, [](const uint8_t *bytes, size_t stride, int height) {
            for (int row = 0; row < height; ++row)
                for (size_t i = 0; i < stride; ++i)
                    if (bytes[static_cast<size_t>(row) * stride + i] != bytes[0])
                        return false;
            return true;
        });
    }
    platform::useV4l2Io(nullptr);
    EXPECT_EQ(fake.openFiles(), 0);
    std::printf("stress: %ld converted frames grabbed by 3 threads over %d cycles\n", frames, cycles);
}
