// The renderer's window: the frame slots' hand-over, and a renderer whose
// window a stand-in helper shows (tests/python/fake_dialog_helper.py) while
// the graph starts and stops under it. The real window is the desktop
// tests' (tests/python/test_desktop_video.py).
#include "platform_test.h"
#include "ui/frame_slots.h"

#include <cstdlib>
#include <memory>
#include <vector>

namespace {

namespace slots = platform::frameslots;

struct SlotFile {
    std::vector<uint64_t> memory = std::vector<uint64_t>(slots::fileBytes(16) / 8);
    slots::Header &header = *new (memory.data()) slots::Header{};
    SlotFile() { header.exchange = slots::exchangeFirst; }
};

TEST(FrameSlotsTest, TheNewestFrameWinsAndNeitherSideTakesTheOthersSlot) {
    SlotFile file;
    uint32_t writing = slots::writerFirst, reading = slots::readerFirst;
    EXPECT_EQ(slots::take(file.header, reading), reading); // nothing yet
    writing = *slots::publish(file.header, writing);
    EXPECT_EQ(writing, slots::exchangeFirst);
    reading = *slots::take(file.header, reading);
    EXPECT_EQ(reading, slots::writerFirst);
    // Two frames before the reader looks: it gets the second, and the writer
    // never gets the slot the reader holds.
    writing = *slots::publish(file.header, writing);
    EXPECT_NE(writing, reading);
    uint32_t second = writing;
    writing = *slots::publish(file.header, writing);
    EXPECT_NE(writing, reading);
    reading = *slots::take(file.header, reading);
    EXPECT_EQ(reading, second);
    EXPECT_EQ(file.header.published, 3u);
    EXPECT_EQ(file.header.taken, 2u);
}

TEST(FrameSlotsTest, AnIndexThatIsNoSlotsIsRefusedOnBothSides) {
    SlotFile file;
    file.header.exchange = 7;
    EXPECT_FALSE(slots::publish(file.header, slots::writerFirst));
    file.header.exchange = 7 | slots::freshBit;
    EXPECT_FALSE(slots::take(file.header, slots::readerFirst));
}

class VideoWindowTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        setenv("DISPLAY", ":quorin-test", 1);
        setenv("QUORIN_DIALOG_HELPER", FAKE_DIALOG_HELPER, 1);
        setenv("QUORIN_FAKE_HELPER_LOG", "/dev/null", 1);
        setenv("QUORIN_FAKE_HELPER_PLAN", R"([{"send": {"shown": true}}])", 1);
    }
    void TearDown() override {
        for (const char *name :
             {"DISPLAY", "QUORIN_DIALOG_HELPER", "QUORIN_FAKE_HELPER_LOG", "QUORIN_FAKE_HELPER_PLAN"})
            unsetenv(name);
        PlatformTest::TearDown();
    }
    static QuorinVideoWindowStatistics statistics() {
        QuorinVideoWindowStatistics now{};
        quorin_platform_video_window_statistics(&now);
        return now;
    }
};

TEST_F(VideoWindowTest, EachRunShowsAWindowThatGoesWithTheStopWhileFramesAreTaken) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[64, 48]], "fps": 200})");
    std::vector<long> buffer(64 * 3 * 48 / sizeof(long));
    for (int run = 0; run < 5; ++run) {
        ASSERT_EQ(g.control->Run(), S_OK);
        for (int wait = 0; wait < 500 && statistics().windowsShown <= run; ++wait) {
            long size = static_cast<long>(buffer.size() * sizeof(long));
            g.grabber->GetCurrentBuffer(&size, buffer.data());
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        EXPECT_EQ(statistics().windowsShown, run + 1);
        EXPECT_EQ(statistics().helpersRunning, 1);
        ASSERT_EQ(g.control->Stop(), S_OK);
        EXPECT_EQ(statistics().helpersRunning, 0);
    }
    EXPECT_GT(statistics().framesOffered, 0);
}

TEST_F(VideoWindowTest, AStopBeforeTheWindowIsUpEndsTheHelperAtOnce) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[64, 48]]})");
    for (int run = 0; run < 5; ++run) {
        ASSERT_EQ(g.control->Run(), S_OK);
        ASSERT_EQ(g.control->Stop(), S_OK);
        EXPECT_EQ(statistics().helpersRunning, 0);
    }
}

TEST_F(VideoWindowTest, AHiddenRendererStartsNoHelper) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[64, 48]]})");
    ComRef<IVideoWindow> window;
    ASSERT_EQ(g.graph->QueryInterface(IID_IVideoWindow, window.voidOut()), S_OK);
    ASSERT_EQ(window->put_AutoShow(OAFALSE), S_OK);
    ASSERT_EQ(g.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_EQ(statistics().helpersRunning, 0);
    EXPECT_EQ(statistics().windowsShown, 0);
}

} // namespace
