#include <gtest/gtest.h>

#include "sources/virtual/virtual_camera.h"

using platform::CameraDescription;

TEST(VirtualCameraDeclaration, DefaultsFillWhatIsNotDeclared) {
    std::vector<CameraDescription> cameras;
    std::string error;
    ASSERT_TRUE(platform::parseCameraList(R"([{"name": "Cam"}])", cameras, error)) << error;
    ASSERT_EQ(cameras.size(), 1u);
    const CameraDescription &c = cameras[0];
    EXPECT_EQ(c.sizes, (std::vector<platform::FrameSize>{{640, 480}}));
    EXPECT_FALSE(c.interleaved);
    EXPECT_EQ(c.fps, 30.0);
    EXPECT_EQ(c.firstFrameMs, 0);
    EXPECT_TRUE(c.delivers);
}

TEST(VirtualCameraDeclaration, EveryKeyIsReadAndWrongValuesAreNamed) {
    CameraDescription c;
    std::string error;
    ASSERT_TRUE(platform::parseCamera(
        R"({"name": "X", "sizes": [[320, 240], [641, 3]], "pin": "interleaved", "fps": 12.5,
            "first_frame_ms": 250, "delivers": false, "format_block": "videoinfo2",
            "filter_pages": 0, "pin_pages": 2, "controls": {"exposure": {"minimum": -13, "maximum": -1,
            "default": -6, "auto": true}, "gain": {"minimum": 0, "maximum": 100, "step": 5, "default": 50}}})",
        c, error))
        << error;
    EXPECT_EQ(c.sizes.size(), 2u);
    EXPECT_TRUE(c.interleaved);
    EXPECT_EQ(c.fps, 12.5);
    EXPECT_EQ(c.firstFrameMs, 250);
    EXPECT_FALSE(c.delivers);
    EXPECT_EQ(c.formatBlock, platform::FormatBlock::VideoInfo2);
    EXPECT_EQ(c.filterPages, 0);
    EXPECT_EQ(c.pinPages, 2);
    const std::vector<platform::DeclaredSetting> settings = {
        {quorin::SettingFamily::CameraControl, CameraControl_Exposure, -13, -1, 1, -6, true},
        {quorin::SettingFamily::VideoProcAmp, VideoProcAmp_Gain, 0, 100, 5, 50, false}};
    EXPECT_TRUE(c.settings == settings);

    const std::pair<const char *, const char *> wrong[] = {
        {R"({"name": ""})", "\"name\" must be a non-empty text without NUL characters"},
        {R"({"name": "\u0000"})", "\"name\" must be a non-empty text without NUL characters"},
        {R"({"name": "A\u0000B"})", "\"name\" must be a non-empty text without NUL characters"},
        {R"({"name": "X", "fps": 0})", "\"fps\" must be a number from 0.001 to 1000"},
        // At 1e-10 the interval in nanoseconds would overflow.
        {R"({"name": "X", "fps": 1e-10})", "\"fps\" must be a number from 0.001 to 1000"},
        {R"({"name": "X", "fps": 1000.5})", "\"fps\" must be a number from 0.001 to 1000"},
        {R"({"name": "X", "sizes": []})", "\"sizes\" must be a non-empty list of [width, height]"},
        {R"({"name": "X", "sizes": [[1.5, 2]]})", "each entry of \"sizes\" must be [width, height] in whole numbers"},
        {R"({"name": "X", "sizes": [[8193, 2]]})", "sizes must be between 1 and 8192 pixels a side"},
        // A quoted key stays on one line, escaped and cut.
        {R"({"name": "X", "a\nb\tc\u0001\"\\": 1})", "unknown key \"a\\nb\\tc\\x01\\\"\\\\\""},
        {R"({"name": "X", "kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk": 1})",
         "unknown key \"kkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkkk...\""},
        {R"({"name": "X", "delivers": 1})", "\"delivers\" must be true or false"},
        {R"({"name": "X", "first_frame_ms": -1})", "\"first_frame_ms\" must be a whole number from 0 to 3600000"},
        {R"({"name": "X", "controls": []})", "\"controls\" must be an object from a control's name to its range"},
        {R"({"name": "X", "controls": {"Brightness": {}}})", "unknown control \"Brightness\""},
        {R"({"name": "X", "controls": {"brightness": {"minimum": 0, "maximum": 9}}})",
         "the control \"brightness\" must have \"minimum\", \"maximum\" and \"default\""},
        {R"({"name": "X", "controls": {"gain": {"minimum": 5, "maximum": 1, "default": 3}}})",
         "the control \"gain\" must have minimum <= default <= maximum"},
        {R"({"name": "X", "controls": {"gain": {"minimum": 0, "maximum": 9, "default": 10}}})",
         "the control \"gain\" must have minimum <= default <= maximum"},
        {R"({"name": "X", "controls": {"gain": {"minimum": 0, "maximum": 9, "default": 1, "step": 0}}})",
         "the control \"gain\": \"step\" must be a whole number from 1 to 2147483647"},
        {R"({"name": "X", "controls": {"zoom": {"minimum": 0, "maximum": 4294967296, "default": 1}}})",
         "the control \"zoom\": \"maximum\" must be a whole number from -2147483648 to 2147483647"},
        {R"({"name": "X", "controls": {"focus": {"minimum": 0, "maximum": 9, "default": 1, "auto": 1}}})",
         "the control \"focus\": \"auto\" must be true or false"},
        {R"({"name": "X", "controls": {"focus": {"minimum": 0, "maximum": 9, "default": 1, "value": 1}}})",
         "the control \"focus\": unknown key \"value\""},
    };
    for (const auto &[text, message] : wrong) {
        EXPECT_FALSE(platform::parseCamera(text, c, error)) << text;
        EXPECT_EQ(error, message) << text;
    }
}
