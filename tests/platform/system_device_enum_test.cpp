// The system device enumerator, its monikers and property bags.
#include "platform_test.h"

class SystemDeviceEnumTest : public PlatformTest {};

TEST_F(SystemDeviceEnumTest, EmptyCategoryAnswersSFalseWithoutEnumerator) {
    auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    IEnumMoniker *list = reinterpret_cast<IEnumMoniker *>(1);
    EXPECT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0), S_FALSE);
    EXPECT_EQ(list, nullptr);
}

TEST_F(SystemDeviceEnumTest, EnumeratorGivesEachDeviceThenSFalse) {
    quorin_platform_add_camera(R"({"name": "One"})");
    quorin_platform_add_camera(R"({"name": "Two"})");
    auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
    IEnumMoniker *list = nullptr;
    ASSERT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0), S_OK);
    ComRef<IEnumMoniker> enumerator(list);
    const wchar_t *expected[] = {L"One", L"Two"};
    for (const wchar_t *name : expected) {
        IMoniker *m = nullptr;
        ULONG fetched = 0;
        ASSERT_EQ(enumerator->Next(1, &m, &fetched), S_OK);
        EXPECT_EQ(fetched, 1u);
        ComRef<IMoniker> held(m);
        IPropertyBag *bag = nullptr;
        ASSERT_EQ(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)), S_OK);
        ComRef<IPropertyBag> bagHeld(bag);
        VARIANT value;
        VariantInit(&value);
        ASSERT_EQ(bag->Read(L"FriendlyName", &value, nullptr), S_OK);
        EXPECT_EQ(value.vt, VT_BSTR);
        EXPECT_STREQ(value.bstrVal, name);
        VariantClear(&value);
        EXPECT_TRUE(FAILED(bag->Read(L"DevicePath", &value, nullptr)));
    }
    IMoniker *past = reinterpret_cast<IMoniker *>(1);
    ULONG fetched = 7;
    EXPECT_EQ(enumerator->Next(1, &past, &fetched), S_FALSE);
    EXPECT_EQ(past, nullptr);
    EXPECT_EQ(fetched, 0u);
}

// A host whose threads change the environment lends the platform a copy:
// the cameras are those of the copy, until the host lends another.
TEST_F(SystemDeviceEnumTest, CamerasAreDeclaredInTheEnvironmentTheHostLent) {
    auto firstName = [&] {
        auto devices = create<ICreateDevEnum>(CLSID_SystemDeviceEnum, IID_ICreateDevEnum);
        IEnumMoniker *list = nullptr;
        EXPECT_EQ(devices->CreateClassEnumerator(CLSID_VideoInputDeviceCategory, &list, 0), S_OK);
        ComRef<IEnumMoniker> enumerator(list);
        IMoniker *m = nullptr;
        EXPECT_EQ(enumerator->Next(1, &m, nullptr), S_OK);
        ComRef<IMoniker> held(m);
        IPropertyBag *bag = nullptr;
        EXPECT_EQ(m->BindToStorage(nullptr, nullptr, IID_IPropertyBag, reinterpret_cast<void **>(&bag)), S_OK);
        ComRef<IPropertyBag> bagHeld(bag);
        VARIANT value;
        VariantInit(&value);
        EXPECT_EQ(bag->Read(L"FriendlyName", &value, nullptr), S_OK);
        std::wstring name = value.bstrVal;
        VariantClear(&value);
        return name;
    };
    setenv("QUORIN_VIRTUAL_CAMERAS", R"([{"name": "Lent"}])", 1);
    quorin_platform_take_environment();
    setenv("QUORIN_VIRTUAL_CAMERAS", R"([{"name": "Changed since"}])", 1);
    EXPECT_EQ(firstName(), L"Lent");
    quorin_platform_take_environment();
    EXPECT_EQ(firstName(), L"Changed since");
    unsetenv("QUORIN_VIRTUAL_CAMERAS");
}
