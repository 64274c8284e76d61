// A V4L2 device's controls as its filter's pages show them, read from a fake
// driver: which are shown and how, setting one, and a refusal.
#include "dshow/device_controls.h"
#include "fake_v4l2.h"
#include "platform_test.h"
#include "sources/v4l2/v4l2_devices.h"
#include "sources/v4l2/v4l2_source.h"

namespace {

FakeControl control(uint32_t id, uint32_t type, const char *name, int64_t minimum, int64_t maximum, int64_t value,
                    uint32_t flags = 0, std::vector<std::string> menu = {}) {
    FakeControl c{};
    c.query.id = id;
    c.query.type = type;
    std::snprintf(c.query.name, sizeof c.query.name, "%s", name);
    c.query.minimum = minimum;
    c.query.maximum = maximum;
    c.query.step = type == V4L2_CTRL_TYPE_INTEGER ? 2 : 1;
    c.query.default_value = value;
    c.query.flags = flags;
    c.menu = std::move(menu);
    return c;
}

class V4l2ControlsTest : public PlatformTest {
protected:
    void SetUp() override {
        PlatformTest::SetUp();
        platform::useV4l2Io(&fake);
        // A control a line:
        // clang-format off
        fake.devices = {{"/dev/video0", "Fake cam", true, {{V4L2_PIX_FMT_BGR24, {{64, 48}}, {}}}, {
            control(V4L2_CTRL_CLASS_USER | 1, V4L2_CTRL_TYPE_CTRL_CLASS, "User Controls", 0, 0, 0),
            control(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", 0, 255, 128),
            control(V4L2_CID_CONTRAST, V4L2_CTRL_TYPE_INTEGER, "Contrast", 0, 100, 50, V4L2_CTRL_FLAG_INACTIVE),
            control(V4L2_CID_SATURATION, V4L2_CTRL_TYPE_INTEGER, "Saturation", 0, 9, 1, V4L2_CTRL_FLAG_DISABLED),
            control(V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0, 1, 1),
            control(V4L2_CID_DO_WHITE_BALANCE, V4L2_CTRL_TYPE_BUTTON, "Do White Balance", 0, 0, 0,
                    V4L2_CTRL_FLAG_WRITE_ONLY),
            control(V4L2_CID_POWER_LINE_FREQUENCY, V4L2_CTRL_TYPE_MENU, "Power Line Frequency", 0, 2, 2, 0,
                    {"Disabled", "", "60 Hz"}),
            control(V4L2_CID_USER_BASE | 0x1001, V4L2_CTRL_TYPE_INTEGER64, "Integer 64 Bits", 0, 1 << 20, 0),
            control(V4L2_CID_USER_BASE | 0x1002, V4L2_CTRL_TYPE_INTEGER_MENU, "Integer Menu", 0, 1, 0, 0,
                    {"16", "32"}),
            control(V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure Time, Absolute", 1, 5000, 156,
                    V4L2_CTRL_FLAG_READ_ONLY | V4L2_CTRL_FLAG_GRABBED),
            control(V4L2_CID_MPEG_VIDEO_BITRATE, V4L2_CTRL_TYPE_INTEGER, "Video Bitrate", 0, 1000, 10),
        }}};
        // clang-format on
        quorin_platform_use_system_devices(1);
        std::vector<platform::DevicePtr> devices;
        platform::listV4l2Devices(devices);
        ASSERT_EQ(devices.size(), 1u);
        device = devices.front();
    }
    void TearDown() override {
        device.reset();
        PlatformTest::TearDown();
        EXPECT_EQ(fake.openFiles(), 0);
        platform::useV4l2Io(nullptr);
    }

    FakeV4l2 fake;
    platform::DevicePtr device;
};

} // namespace

TEST_F(V4l2ControlsTest, UserAndCameraControlsAreListedByTheirPagesWithTheirStates) {
    std::string error;
    std::unique_ptr<platform::DeviceControls> controls = device->openControls(error);
    ASSERT_TRUE(controls);
    std::vector<platform::Control> listed = controls->list();
    std::vector<std::string> names;
    for (const platform::Control &c : listed)
        names.push_back(c.group + ": " + c.name);
    // Disabled, 64-bit and codec controls are not shown; a class without a
    // class control of its own gets its usual name.
    EXPECT_EQ(names,
              (std::vector<std::string>{"User Controls: Brightness", "User Controls: Contrast",
                                        "User Controls: White Balance, Automatic", "User Controls: Do White Balance",
                                        "User Controls: Power Line Frequency", "User Controls: Integer Menu",
                                        "Camera Controls: Exposure Time, Absolute"}));
    ASSERT_EQ(listed.size(), 7u);
    const platform::Control &brightness = listed[0];
    EXPECT_EQ(brightness.type, platform::ControlType::Integer);
    EXPECT_EQ(std::make_tuple(brightness.minimum, brightness.maximum, brightness.step, brightness.value),
              std::make_tuple(int64_t{0}, int64_t{255}, int64_t{2}, int64_t{128}));
    EXPECT_TRUE(listed[1].inactive);
    EXPECT_EQ(listed[2].type, platform::ControlType::Boolean);
    EXPECT_EQ(listed[3].type, platform::ControlType::Button);
    ASSERT_EQ(listed[4].choices.size(), 2u); // the gap at 1 is left out
    EXPECT_EQ(listed[4].choices[1].value, 2);
    EXPECT_EQ(listed[4].choices[1].label, "60 Hz");
    EXPECT_EQ(listed[5].choices[1].label, "32");
    EXPECT_TRUE(listed[6].readOnly && listed[6].grabbed && !listed[6].inactive);
}

TEST_F(V4l2ControlsTest, AControlTheDriverCannotDescribeIsLeftOutAndTheRestListed) {
    // uvcvideo answers EINVAL, as at the end of the list, for a control
    // whose request the camera stalls and then calls invalid; EIO or EPIPE
    // where the camera says nothing more.
    for (int error : {EINVAL, EIO}) {
        fake.devices[0].controls[1].queryError = error; // brightness
        fake.devices[0].controls[8].queryError = error; // the last of its class
        std::string problem;
        std::unique_ptr<platform::DeviceControls> controls = device->openControls(problem);
        ASSERT_TRUE(controls);
        std::vector<std::string> names;
        for (const platform::Control &c : controls->list())
            names.push_back(c.name);
        EXPECT_EQ(names, (std::vector<std::string>{"Contrast", "White Balance, Automatic", "Do White Balance",
                                                   "Power Line Frequency", "Exposure Time, Absolute"}))
            << error;
    }
    // The list ends inside the first class: the search past it ends too.
    fake.devices[0].controls.resize(9);
    std::string problem;
    std::unique_ptr<platform::DeviceControls> controls = device->openControls(problem);
    ASSERT_TRUE(controls);
    EXPECT_EQ(controls->list().size(), 4u);
}

TEST_F(V4l2ControlsTest, ASetValueIsTheDevicesAndARefusalSaysWhy) {
    fake.devices[0].controls[2].setError = EBUSY; // contrast
    std::string error;
    std::unique_ptr<platform::DeviceControls> controls = device->openControls(error);
    ASSERT_TRUE(controls);
    EXPECT_EQ(fake.openFiles(), 1);
    EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 200), "");
    EXPECT_EQ(fake.controlValues[V4L2_CID_BRIGHTNESS], 200);
    EXPECT_EQ(controls->set(V4L2_CID_CONTRAST, 10), "the device refused the value (Device or resource busy)");
    EXPECT_EQ(controls->list()[1].value, 50);
    EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, int64_t{1} << 40), "the value is out of range");
    controls.reset();
    EXPECT_EQ(fake.openFiles(), 0);
}

TEST_F(V4l2ControlsTest, ControlsAreSetThroughTheFileOfTheSourceThatHoldsTheDevice) {
    std::unique_ptr<platform::FrameSource> source = platform::createV4l2Source("/dev/video0");
    ASSERT_EQ(source->claim(), S_OK);
    std::string error;
    std::unique_ptr<platform::DeviceControls> controls = device->openControls(error);
    ASSERT_TRUE(controls);
    EXPECT_EQ(controls->set(V4L2_CID_BRIGHTNESS, 200), "");
    EXPECT_EQ(fake.controlValues[V4L2_CID_BRIGHTNESS], 200);
    controls.reset();
    source->unclaim();
    EXPECT_EQ(fake.openFiles(), 0);
}

TEST_F(V4l2ControlsTest, AnUnpluggedDeviceHasNoControlsToShow) {
    fake.devices[0].path = "/dev/video9";
    std::string error;
    EXPECT_FALSE(device->openControls(error));
    EXPECT_EQ(error, "/dev/video0: No such file or directory");
}

// A UVC camera's controls as uvcvideo gives them (UVC units: exposure in
// 100 µs, pan in arc seconds), through the filter's IAMVideoProcAmp and
// IAMCameraControl in Windows' units.
TEST_F(V4l2ControlsTest, TheFiltersSettingsAreTheControlsInWindowsUnitsWithTheirAutomaticModes) {
    // clang-format off
    fake.devices[0].controls = {
        control(V4L2_CID_BRIGHTNESS, V4L2_CTRL_TYPE_INTEGER, "Brightness", -64, 64, 0),
        control(V4L2_CID_AUTO_WHITE_BALANCE, V4L2_CTRL_TYPE_BOOLEAN, "White Balance, Automatic", 0, 1, 1),
        control(V4L2_CID_WHITE_BALANCE_TEMPERATURE, V4L2_CTRL_TYPE_INTEGER, "White Balance Temperature", 2800,
                6500, 4600, V4L2_CTRL_FLAG_INACTIVE),
        control(V4L2_CID_EXPOSURE_AUTO, V4L2_CTRL_TYPE_MENU, "Auto Exposure", 0, 3, 3, 0,
                {"", "Manual Mode", "", "Aperture Priority Mode"}),
        control(V4L2_CID_EXPOSURE_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Exposure Time, Absolute", 3, 2047, 156),
        control(V4L2_CID_PAN_ABSOLUTE, V4L2_CTRL_TYPE_INTEGER, "Pan, Absolute", -36000, 36000, 0),
    };
    // clang-format on
    fake.devices[0].controls[4].query.step = 1;
    fake.devices[0].controls[5].query.step = 3600;
    ComRef<IBaseFilter> filter = bindFilter(0);
    ASSERT_TRUE(filter);
    ComRef<IAMVideoProcAmp> procAmp;
    ComRef<IAMCameraControl> camera;
    ASSERT_EQ(filter->QueryInterface(IID_IAMVideoProcAmp, procAmp.voidOut()), S_OK);
    ASSERT_EQ(filter->QueryInterface(IID_IAMCameraControl, camera.voidOut()), S_OK);
    long minimum, maximum, step, preset, caps, value, flags;
    auto range = [&](auto &settings, long property) {
        HRESULT hr = settings->GetRange(property, &minimum, &maximum, &step, &preset, &caps);
        return std::make_tuple(hr, minimum, maximum, step, preset, caps);
    };
    auto now = [&](auto &settings, long property) {
        HRESULT hr = settings->Get(property, &value, &flags);
        return std::make_tuple(hr, value, flags);
    };
    EXPECT_EQ(range(procAmp, VideoProcAmp_Brightness), std::make_tuple(S_OK, -64L, 64L, 2L, 0L, 2L));
    EXPECT_EQ(range(procAmp, VideoProcAmp_WhiteBalance), std::make_tuple(S_OK, 2800L, 6500L, 2L, 4600L, 3L));
    EXPECT_EQ(now(procAmp, VideoProcAmp_WhiteBalance), std::make_tuple(S_OK, 4600L, 1L));
    EXPECT_EQ(std::get<0>(range(procAmp, VideoProcAmp_Gamma)), E_PROP_ID_UNSUPPORTED);
    // 0.3 ms to 204.7 ms: 2^-11 s to 2^-3 s, the ends kept inside; 15.6 ms
    // is 2^-6 s. Automatic in aperture priority, the webcam's own mode.
    EXPECT_EQ(range(camera, CameraControl_Exposure), std::make_tuple(S_OK, -11L, -3L, 1L, -6L, 3L));
    EXPECT_EQ(now(camera, CameraControl_Exposure), std::make_tuple(S_OK, -6L, 1L));
    EXPECT_EQ(range(camera, CameraControl_Pan), std::make_tuple(S_OK, -10L, 10L, 1L, 0L, 2L));

    // By hand: the mode goes to manual, then the time is set (2^-8 s).
    EXPECT_EQ(camera->Set(CameraControl_Exposure, -8, CameraControl_Flags_Manual), S_OK);
    EXPECT_EQ(fake.controlValues[V4L2_CID_EXPOSURE_AUTO], V4L2_EXPOSURE_MANUAL);
    EXPECT_EQ(fake.controlValues[V4L2_CID_EXPOSURE_ABSOLUTE], 39);
    EXPECT_EQ(now(camera, CameraControl_Exposure), std::make_tuple(S_OK, -8L, 2L));
    EXPECT_EQ(camera->Set(CameraControl_Exposure, 0, CameraControl_Flags_Auto), S_OK);
    EXPECT_EQ(fake.controlValues[V4L2_CID_EXPOSURE_AUTO], V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(camera->Set(CameraControl_Pan, 5, CameraControl_Flags_Manual), S_OK);
    EXPECT_EQ(fake.controlValues[V4L2_CID_PAN_ABSOLUTE], 18000);

    // Refused: outside the range, or by the device, which leaves the
    // automatic mode on.
    EXPECT_EQ(camera->Set(CameraControl_Exposure, -2, CameraControl_Flags_Manual), E_INVALIDARG);
    fake.devices[0].controls[4].setError = EIO;
    EXPECT_TRUE(FAILED(camera->Set(CameraControl_Exposure, -7, CameraControl_Flags_Manual)));
    EXPECT_EQ(fake.controlValues[V4L2_CID_EXPOSURE_AUTO], V4L2_EXPOSURE_APERTURE_PRIORITY);
    EXPECT_EQ(now(camera, CameraControl_Exposure), std::make_tuple(S_OK, -8L, 1L));
    EXPECT_EQ(procAmp->Set(VideoProcAmp_Brightness, 1, 0), E_INVALIDARG); // neither automatic nor by hand
    procAmp.reset();
    camera.reset();
    filter.reset();
    EXPECT_EQ(fake.openFiles(), 0);
}
