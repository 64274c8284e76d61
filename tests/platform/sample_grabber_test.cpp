// The sample grabber: its buffer codes and the samples it keeps.
#include "platform_test.h"

#include <vector>

class SampleGrabberTest : public PlatformTest {};

TEST_F(SampleGrabberTest, CurrentBufferCodesFollowDirectShow) {
    quorin_platform_add_camera(R"({"name": "Cam", "sizes": [[32, 16], [8, 8]], "fps": 200})");
    TestGraph g = makeGraph(nullptr);
    ASSERT_EQ(g.graph->QueryInterface(IID_IMediaControl, g.control.voidOut()), S_OK);
    long size = 0;
    std::vector<long> buffer(32 * 16);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(nullptr, buffer.data()), E_POINTER);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, buffer.data()), VFW_E_NOT_CONNECTED);
    ASSERT_EQ(g.render(), S_OK);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, buffer.data()), E_INVALIDARG); // not buffering yet
    g.grabber->SetBufferSamples(TRUE);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, buffer.data()), VFW_E_WRONG_STATE);

    g.control->Run();
    long needed = 0;
    ASSERT_EQ(g.waitForSample(needed, nullptr), S_OK); // a null buffer asks for the size
    EXPECT_EQ(needed, 96 * 16);
    size = needed - 1;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, buffer.data()), E_OUTOFMEMORY);
    size = static_cast<long>(buffer.size() * sizeof(long));
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, buffer.data()), S_OK);
    EXPECT_EQ(size, 96 * 16);
}

TEST_F(SampleGrabberTest, DeliveryEndsWithStop) {
    quorin_platform_add_camera(R"({"name": "Cam", "sizes": [[32, 16], [8, 8]], "fps": 200})");
    TestGraph g = makeGraph(nullptr);
    ASSERT_EQ(g.graph->QueryInterface(IID_IMediaControl, g.control.voidOut()), S_OK);
    g.grabber->SetBufferSamples(TRUE);
    ASSERT_EQ(g.render(), S_OK);
    g.control->Run();
    std::vector<long> before(32 * 16), after(32 * 16);
    long size = static_cast<long>(before.size() * sizeof(long));
    ASSERT_EQ(g.waitForSample(size, before.data()), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    g.control->Stop();
    ASSERT_EQ(g.grabber->GetCurrentBuffer(&size, before.data()), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(30)); // six sample periods at 200 fps
    // The latest sample stays readable while stopped, and no new one came.
    ASSERT_EQ(g.grabber->GetCurrentBuffer(&size, after.data()), S_OK);
    EXPECT_EQ(before, after);
}
