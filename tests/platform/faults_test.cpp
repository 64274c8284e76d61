// Running out of memory or threads inside the platform: every entry point
// answers with a code, a delivery thread stops and says so once, nothing
// ends the process, and everything works again afterwards.
#include "platform_test.h"

#include <vector>

class FaultsTest : public PlatformTest {};

TEST_F(FaultsTest, NoMemoryForAnObjectIsACodeNotACrash) {
    quorin_platform_fail_resource("object", 1);
    IGraphBuilder *graph = reinterpret_cast<IGraphBuilder *>(1);
    EXPECT_EQ(CoCreateInstance(CLSID_FilterGraph, nullptr, CLSCTX_INPROC_SERVER, IID_IGraphBuilder,
                               reinterpret_cast<void **>(&graph)),
              E_OUTOFMEMORY);
    EXPECT_EQ(graph, nullptr);
    EXPECT_EQ(quorin_platform_live_objects(), 0);

    // A moniker enumerator that runs out mid-way hands out none of a fetch.
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "One"})"), 0);
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Two"})"), 0);
    auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    ComRef<IEnumMoniker> list;
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, list.out(), 0), S_OK);
    quorin_platform_fail_resource("object", 2);
    IMoniker *fetched[2] = {};
    ULONG count = 7;
    EXPECT_EQ(list->Next(2, fetched, &count), E_OUTOFMEMORY);
    EXPECT_EQ(fetched[0], nullptr);
    EXPECT_EQ(fetched[1], nullptr);
    EXPECT_EQ(list->Next(2, fetched, &count), S_OK); // from the same place
    EXPECT_EQ(count, 2u);
    fetched[0]->Release();
    fetched[1]->Release();
}

TEST_F(FaultsTest, RunWithoutMemoryOrAThreadFailsAndALaterRunDelivers) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[32, 16]], "fps": 200})");
    ASSERT_TRUE(g.control);

    testing::internal::CaptureStderr();
    for (const char *kind : {"memory", "thread"}) {
        SCOPED_TRACE(kind);
        quorin_platform_fail_resource(kind, 1);
        EXPECT_EQ(g.control->Run(), E_OUTOFMEMORY);
        EXPECT_EQ(g.control->Stop(), S_OK);
    }
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(g.control->Run(), S_OK);
    long size = 0;
    EXPECT_EQ(g.waitForSample(size, nullptr), S_OK);
    EXPECT_EQ(g.control->Stop(), S_OK);

    // Without a Stop between: the source that could not start is not taken
    // for running, the grabber says at once that no sample will come, and
    // the next Run starts it.
    testing::internal::CaptureStderr();
    quorin_platform_fail_resource("thread", 1);
    EXPECT_EQ(g.control->Run(), E_OUTOFMEMORY);
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), VFW_E_NOT_RUNNING);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quorin platform: Cam: cannot start delivering (out of memory or threads); the next Run tries again\n");
    EXPECT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(g.waitForSample(size, nullptr), S_OK);
    EXPECT_EQ(g.control->Stop(), S_OK);
}

TEST_F(FaultsTest, DeliveryThreadWithoutMemoryStopsAndSaysSoOnce) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[32, 16]], "fps": 200})");
    ASSERT_TRUE(g.control);

    // The first request is the picture, made on this thread when the graph
    // runs; the second a frame's memory, on the delivery thread.
    quorin_platform_fail_resource("memory", 2);
    testing::internal::CaptureStderr();
    EXPECT_EQ(g.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    long size = 0;
    EXPECT_EQ(g.grabber->GetCurrentBuffer(&size, nullptr), VFW_E_WRONG_STATE);
    EXPECT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(testing::internal::GetCapturedStderr(),
              "quorin platform: Cam: stopped delivering (out of memory or threads)\n");
    EXPECT_EQ(quorin_platform_samples_delivered(), 0);

    EXPECT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(g.waitForSample(size, nullptr), S_OK);
    EXPECT_EQ(g.control->Stop(), S_OK);
}
