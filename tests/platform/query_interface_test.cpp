// Every class's QueryInterface: each interface it must give, with one
// identity, none that it must not, and reference counts that come back to
// where they were.
#include "platform_test.h"

#include <string>
#include <vector>

namespace {

struct Interface {
    const IID *iid;
    const char *name;
};

#define INTERFACE(name)                                                                                                \
    Interface { &IID_##name, #name }

class QueryInterfaceTest : public PlatformTest {
protected:
    static void checkTable(const char *what, IUnknown *object, const std::vector<Interface> &gives,
                           const std::vector<Interface> &refuses) {
        SCOPED_TRACE(what);
        const ULONG before = refCount(object);
        ComRef<IUnknown> identity;
        ASSERT_EQ(object->QueryInterface(IID_IUnknown, identity.voidOut()), S_OK);
        for (const Interface &wanted : gives) {
            ComRef<IUnknown> got;
            EXPECT_EQ(object->QueryInterface(*wanted.iid, got.voidOut()), S_OK) << wanted.name;
            if (!got)
                continue;
            ComRef<IUnknown> back;
            EXPECT_EQ(got->QueryInterface(IID_IUnknown, back.voidOut()), S_OK) << wanted.name;
            EXPECT_EQ(back.get(), identity.get()) << wanted.name << " keeps the object's identity";
        }
        for (const Interface &unwanted : refuses) {
            void *got = reinterpret_cast<void *>(1);
            EXPECT_EQ(object->QueryInterface(*unwanted.iid, &got), E_NOINTERFACE) << unwanted.name;
            EXPECT_EQ(got, nullptr) << unwanted.name;
        }
        EXPECT_EQ(object->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
        identity.reset();
        EXPECT_EQ(refCount(object), before);
    }
};

} // namespace

TEST_F(QueryInterfaceTest, EveryClassGivesItsInterfacesAndNoOthers) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Cam"})"), 0);
    TestGraph g = makeGraph();
    ASSERT_EQ(g.render(), S_OK);

    checkTable("filter graph", g.graph.get(),
               {INTERFACE(IUnknown), INTERFACE(IGraphBuilder), INTERFACE(IFilterGraph), INTERFACE(IMediaControl),
                INTERFACE(IVideoWindow)},
               {INTERFACE(IBaseFilter), INTERFACE(ICaptureGraphBuilder2), INTERFACE(ISampleGrabber)});
    checkTable("capture graph builder", g.builder.get(), {INTERFACE(ICaptureGraphBuilder2)},
               {INTERFACE(IGraphBuilder), INTERFACE(IBaseFilter)});
    checkTable("sample grabber", g.grabberFilter.get(),
               {INTERFACE(IBaseFilter), INTERFACE(IMediaFilter), INTERFACE(IPersist), INTERFACE(ISampleGrabber)},
               {INTERFACE(ISpecifyPropertyPages), INTERFACE(IAMStreamConfig)});
    checkTable("capture filter", g.camera.get(),
               {INTERFACE(IBaseFilter), INTERFACE(IMediaFilter), INTERFACE(IPersist), INTERFACE(ISpecifyPropertyPages)},
               {INTERFACE(ISampleGrabber), INTERFACE(IAMStreamConfig), INTERFACE(IGraphBuilder)});
    ComRef<IAMStreamConfig> pin = streamConfig(g.camera.get());
    ASSERT_TRUE(pin);
    checkTable("capture pin", pin.get(), {INTERFACE(IAMStreamConfig), INTERFACE(ISpecifyPropertyPages)},
               {INTERFACE(IBaseFilter), INTERFACE(IMediaFilter)});
    ComRef<IBaseFilter> renderer;
    ASSERT_EQ(g.graph->FindFilterByName(L"Video Renderer", renderer.out()), S_OK);
    checkTable("video renderer", renderer.get(), {INTERFACE(IBaseFilter), INTERFACE(IMediaFilter), INTERFACE(IPersist)},
               {INTERFACE(ISampleGrabber), INTERFACE(ISpecifyPropertyPages)});
}

TEST_F(QueryInterfaceTest, DeviceEnumerationClassesGiveTheirInterfacesAndNoOthers) {
    ASSERT_EQ(quorin_platform_add_camera(R"({"name": "Cam"})"), 0);
    auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    checkTable("system device enumerator", devices.get(), {INTERFACE(ICreateDevEnum)},
               {INTERFACE(IEnumMoniker), INTERFACE(IMoniker)});
    ComRef<IEnumMoniker> list;
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, list.out(), 0), S_OK);
    checkTable("moniker enumerator", list.get(), {INTERFACE(IEnumMoniker)},
               {INTERFACE(IMoniker), INTERFACE(ICreateDevEnum)});
    ComRef<IMoniker> device = moniker(0);
    ASSERT_TRUE(device);
    checkTable("device moniker", device.get(), {INTERFACE(IMoniker)},
               {INTERFACE(IPropertyBag), INTERFACE(IBaseFilter)});
    ComRef<IPropertyBag> bag;
    ASSERT_EQ(device->BindToStorage(nullptr, nullptr, IID_IPropertyBag, bag.voidOut()), S_OK);
    checkTable("property bag", bag.get(), {INTERFACE(IPropertyBag)}, {INTERFACE(IMoniker), INTERFACE(IDispatch)});
}

TEST_F(QueryInterfaceTest, AQueryIsCountedUnderTheInterfacesNameOrItsIdentifier) {
    auto graph = create<IGraphBuilder>(CLSID_FilterGraph, IID_IGraphBuilder);
    const IID unnamed = {0x0123ABCD, 0x4567, 0x89EF, {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF}};
    void *out = &out;
    EXPECT_EQ(graph->QueryInterface(unnamed, &out), E_NOINTERFACE);
    EXPECT_EQ(out, nullptr);
    EXPECT_EQ(quorin_platform_call_count("QueryInterface:{0123ABCD-4567-89EF-0123-456789ABCDEF}"), 1);
    ComRef<IMediaControl> control;
    EXPECT_EQ(graph->QueryInterface(IID_IMediaControl, control.voidOut()), S_OK);
    EXPECT_EQ(quorin_platform_call_count("QueryInterface:IMediaControl"), 1);
}
