// The Windows mirror backend under Wine: the "Attach.ToDesktop" values land in the keys made from
// the device's registry key, and without a mirror driver the polling device takes the escapes
// while attached (what it reports as changed is tested end to end, on a display).
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "mirror/MirrorDriver.h"
#include "mirror/Vitrex.h"

namespace mirror {
namespace {

constexpr char kProfileVideo[] =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Control\\"
    "Video\\{5A5A}\\0000";
constexpr char kProfileService[] =
    "SYSTEM\\CurrentControlSet\\Hardware Profiles\\Current\\System\\CurrentControlSet\\Services\\"
    "mirror\\DEVICE0";

// The DWORD "Attach.ToDesktop" under HKLM\key; -1 when it is not there.
long AttachValue(const char* key) {
    DWORD value = 0;
    DWORD size = sizeof value;
    if (::RegGetValueA(HKEY_LOCAL_MACHINE, key, "Attach.ToDesktop", RRF_RT_REG_DWORD, nullptr,
                       &value, &size) != ERROR_SUCCESS) {
        return -1;
    }
    return static_cast<long>(value);
}

TEST(DisplayMirrorDriver, AttachValuesFollowTheDeviceKey) {
    auto driver = CreateDefaultMirrorDriver();
    DisplayDevice device;
    device.name = "\\\\.\\DISPLAYV9";  // no such display: only the registry part can succeed
    device.string = kMirrorDeviceString;
    device.key = "\\Registry\\Machine\\System\\CurrentControlSet\\Control\\Video\\{5a5a}\\0000";
    DisplayMode mode{1024, 768, 32};
    driver->ChangeAttachment(device, mode, true);
    EXPECT_EQ(AttachValue(kProfileVideo), 1);
    EXPECT_EQ(AttachValue(kProfileService), 1);
    driver->ChangeAttachment(device, mode, false);
    EXPECT_EQ(AttachValue(kProfileVideo), 0);
    EXPECT_EQ(AttachValue(kProfileService), 0);
    // Nothing can be sent to a device that did not attach.
    tagBOX boxes[kVitrexBoxCount];
    EXPECT_EQ(driver->Escape(kEscapeGetBoxes, nullptr, 0, boxes, kBoxesBytes), 0);
}

TEST(DisplayMirrorDriver, WithoutAMirrorDriverThePollingDeviceServesTheEscapesWhileAttached) {
    auto driver = CreateDefaultMirrorDriver();
    DisplayDevice polling;
    for (const DisplayDevice& device : driver->Devices()) {
        if (device.string == kMirrorDeviceString) polling = device;
    }
    ASSERT_EQ(polling.name, "POLL");  // Wine has no mirror driver
    DisplayMode mode;
    ASSERT_TRUE(driver->CurrentMode(&mode));
    ASSERT_EQ(driver->ChangeAttachment(polling, mode, true), kDispChangeSuccessful);

    const int32_t grid = 64 | 48 << 16;
    EXPECT_EQ(driver->Escape(kEscapeSetGrid, &grid, kGridBytes, nullptr, 0), 1);
    tagBOX boxes[kVitrexBoxCount];
    EXPECT_EQ(driver->Escape(kEscapeGetBoxes, nullptr, 0, boxes, 8), -1);  // too small
    // Nothing is known at first: the whole screen is reported.
    ASSERT_EQ(driver->Escape(kEscapeGetBoxes, nullptr, 0, boxes, kBoxesBytes), 1);
    EXPECT_EQ(boxes[0].left, 0);
    EXPECT_EQ(boxes[0].top, 0);
    EXPECT_EQ(boxes[0].right, ::GetSystemMetrics(SM_CXSCREEN) - 1);
    EXPECT_EQ(boxes[0].bottom, ::GetSystemMetrics(SM_CYSCREEN) - 1);
    EXPECT_EQ(boxes[1].left, kVitrexBoxEnd);

    EXPECT_EQ(driver->ChangeAttachment(polling, mode, false), kDispChangeSuccessful);
    EXPECT_EQ(driver->Escape(kEscapeGetBoxes, nullptr, 0, boxes, kBoxesBytes), 0);
}

}  // namespace
}  // namespace mirror
