// Delivery, grabbing and format changes at once, from several threads: no
// frame is ever torn, and (under ThreadSanitizer, in scripts/test) nothing
// races.
#include "platform_test.h"

#include <atomic>
#include <cstring>
#include <vector>

class StressTest : public PlatformTest {};

TEST_F(StressTest, DeliveryGrabbingAndFormatChangesFromSeveralThreads) {
    TestGraph g = makeBufferingGraph(R"({"name": "Fast", "sizes": [[64, 48], [32, 24]], "fps": 1000})");
    ASSERT_TRUE(g.control);
    ComRef<IAMStreamConfig> config = streamConfig(g.camera.get());
    ASSERT_TRUE(config);
    ASSERT_EQ(g.control->Run(), S_OK);

    // The counter strip fills the first rows in memory: within one sample
    // they are all the same, so rows that differ are two samples mixed.
    const size_t stride = 64 * 3, stripRows = 48 / 8;
    std::atomic<bool> stop{false};
    std::atomic<long> frames{0}, torn{0};
    auto grab = [&] {
        std::vector<long> buffer(stride * 48 / sizeof(long) + 1);
        while (!stop) {
            long size = static_cast<long>(buffer.size() * sizeof(long));
            if (g.grabber->GetCurrentBuffer(&size, buffer.data()) != S_OK)
                continue;
            const auto *bytes = reinterpret_cast<const uint8_t *>(buffer.data());
            for (size_t row = 1; row < stripRows; ++row)
                if (std::memcmp(bytes, bytes + row * stride, stride) != 0)
                    ++torn;
            ++frames;
        }
    };
    std::vector<std::thread> grabbers;
    for (int i = 0; i < 3; ++i)
        grabbers.emplace_back(grab);

    // Meanwhile this thread stops, reformats and restarts the graph: each
    // stop joins a delivery thread, each run starts one.
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(config->GetFormat(&format), S_OK);
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat);
    for (int cycle = 0; cycle < 200; ++cycle) {
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
    std::printf("stress: %ld frames grabbed by 3 threads over 200 stop, format and run cycles\n", frames.load());
}
