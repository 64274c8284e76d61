// The filter graph: membership of filters and the references it holds.
#include "platform_test.h"

class FilterGraphTest : public PlatformTest {};

TEST_F(FilterGraphTest, ReleasingTheGraphLetsGoOfItsFiltersAndFreesTheDevice) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Bars", "sizes": [[64, 48], [32, 24]]})"), 0);
    TestGraph g = makeGraph();
    ASSERT_EQ(g.render(), S_OK);
    EXPECT_EQ(refCount(g.camera.get()), 2u); // ours and the graph's

    // A second filter object for the same device cannot join another graph.
    ComRef<IGraphBuilder> other = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    ComRef<IBaseFilter> again = bindFilter(0);
    EXPECT_TRUE(FAILED(other->AddFilter(again.get(), L"Quorinview")));

    g.builder.reset();
    g.grabber.reset();
    g.grabberFilter.reset();
    g.graph.reset();
    EXPECT_EQ(refCount(g.camera.get()), 1u);
    FILTER_INFO info;
    EXPECT_EQ(g.camera->QueryFilterInfo(&info), S_OK);
    EXPECT_EQ(info.pGraph, nullptr);
    EXPECT_EQ(other->AddFilter(again.get(), L"Quorinview"), S_OK);
}

TEST_F(FilterGraphTest, QueryFilterInfoGivesGraphNameAndCountedGraph) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Bars", "sizes": [[64, 48], [32, 24]]})"), 0);
    TestGraph g = makeGraph();
    FILTER_INFO info;
    ASSERT_EQ(g.camera->QueryFilterInfo(&info), S_OK);
    EXPECT_STREQ(info.achName, L"Quorinview");
    ASSERT_NE(info.pGraph, nullptr);
    EXPECT_EQ(refCount(g.graph.get()), 3u); // ours, the builder's and the info's
    info.pGraph->Release();
}

TEST_F(FilterGraphTest, AFilterRemovedTakesItsConnectionsAndChangesWaitForAStop) {
    TestGraph g = makeBufferingGraph(R"({"name": "Cam", "sizes": [[32, 24]], "fps": 200})");
    ComRef<IBaseFilter> renderer;
    ASSERT_EQ(g.graph->FindFilterByName(L"Video Renderer", renderer.out()), S_OK);
    ASSERT_EQ(g.control->Run(), S_OK);
    EXPECT_EQ(g.graph->RemoveFilter(renderer.get()), VFW_E_NOT_STOPPED);
    ASSERT_EQ(g.control->Stop(), S_OK);
    EXPECT_EQ(g.graph->RemoveFilter(renderer.get()), S_OK);
    renderer.reset(); // its last reference: the renderer is gone
    // Frames still reach the grabber, and nothing past it.
    ASSERT_EQ(g.control->Run(), S_OK);
    long size = 0;
    EXPECT_EQ(g.waitForSample(size, nullptr), S_OK);
    ASSERT_EQ(g.control->Stop(), S_OK);

    // The grabber goes too: the camera delivers to nothing.
    EXPECT_EQ(g.graph->RemoveFilter(g.grabberFilter.get()), S_OK);
    g.grabber.reset();
    g.grabberFilter.reset();
    const long delivered = quorin_platform_samples_delivered();
    ASSERT_EQ(g.control->Run(), S_OK);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(quorin_platform_samples_delivered(), delivered);
    EXPECT_EQ(g.control->Stop(), S_OK);
}
