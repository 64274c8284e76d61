// Against a real V4L2 capture node: the vivid driver as /dev/video0, in the
// VM that tests/vm/vivid_vm.sh boots. Skipped elsewhere.
#include "platform_test.h"

#include <cstdlib>

namespace {

class V4l2Test : public PlatformTest {
protected:
    void SetUp() override {
        if (!std::getenv("QUORIN_V4L2_TESTS"))
            GTEST_SKIP() << "needs the vivid driver: tests/vm/vivid_vm.sh runs these";
        PlatformTest::SetUp();
        quorin_platform_use_system_devices(1);
    }
    void TearDown() override {
        if (std::getenv("QUORIN_V4L2_TESTS"))
            PlatformTest::TearDown();
    }

    static std::wstring read(IPropertyBag *bag, const wchar_t *property) {
        VARIANT value;
        VariantInit(&value);
        if (FAILED(bag->Read(property, &value, nullptr)))
            return L"(unreadable)";
        std::wstring text = value.bstrVal;
        VariantClear(&value);
        return text;
    }
};

} // namespace

TEST_F(V4l2Test, CaptureNodeComesFirstWithItsCardNameAndPath) {
    quorin_platform_add_camera(R"({"name": "Virtual"})");
    ComRef<IMoniker> first = moniker(0);
    ASSERT_TRUE(first);
    IPropertyBag *bag = nullptr;
    ASSERT_EQ(first->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)), S_OK);
    ComRef<IPropertyBag> held(bag);
    EXPECT_EQ(read(bag, L"FriendlyName").rfind(L"vivid", 0), 0u);
    EXPECT_EQ(read(bag, L"DevicePath"), L"/dev/video0");

    ComRef<IMoniker> second = moniker(1);
    ASSERT_TRUE(second);
    ASSERT_EQ(second->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)), S_OK);
    ComRef<IPropertyBag> virtualBag(bag);
    EXPECT_EQ(read(bag, L"FriendlyName"), L"Virtual");
    EXPECT_TRUE(FAILED(bag->Read(L"DevicePath", nullptr, nullptr)));
}

TEST_F(V4l2Test, StreamConfigurationOffersTheDriversSizesOnly) {
    ComRef<IBaseFilter> filter = bindFilter(0);
    ComRef<IAMStreamConfig> config = streamConfig(filter.get());
    ASSERT_TRUE(config);
    AM_MEDIA_TYPE *format = nullptr;
    ASSERT_EQ(config->GetFormat(&format), S_OK);
    auto *header = reinterpret_cast<VIDEOINFOHEADER *>(format->pbFormat);
    header->bmiHeader.biWidth = 123;
    header->bmiHeader.biHeight = 45;
    EXPECT_TRUE(FAILED(config->SetFormat(format)));
    header->bmiHeader.biWidth = 1280;
    header->bmiHeader.biHeight = 720;
    EXPECT_EQ(config->SetFormat(format), S_OK);
    CoTaskMemFree(format->pbFormat);
    CoTaskMemFree(format);
}
