#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "mirror/MirrorDriver.h"
#include "mirror/Vitrex.h"
#include "mirror/testing/FakeMirrorDriver.h"
#include "mirror/tests/BoxTestSupport.h"
#include "platform/Debug.h"
#include "platform/Paths.h"

// Reaches the private members the tests check.
class VitrexTestPeer {
  public:
    static std::string DispCode(Vitrex& vitrex, int code) { return vitrex.GetDispCode(code); }
    static int StopAP(Vitrex& vitrex) { return vitrex.StopAPServer(); }
    static int StartAP(Vitrex& vitrex) { return vitrex.StartAPServer(); }
    static const char* DeviceString(const Vitrex& vitrex) { return vitrex.m_pszDeviceString; }
    static const char* Text(const Vitrex& vitrex, int slot) { return vitrex.m_szResult[slot]; }
};

namespace mirror {
namespace {

using testing::FakeMirrorDriver;
using testing::ScopedFakeMirrorDriver;

constexpr tagBOX kEnd{kVitrexBoxEnd, kVitrexBoxEnd, -1, -1};

// Collects every diagnostic text while alive.
class DebugCapture {
  public:
    DebugCapture() {
        platform::SetDebugSink([this](std::string_view text) { lines_.emplace_back(text); });
    }
    ~DebugCapture() { platform::SetDebugSink(nullptr); }
    const std::vector<std::string>& Lines() const { return lines_; }
    void Clear() { lines_.clear(); }

  private:
    std::vector<std::string> lines_;
};

// Every test starts with a fresh fake driver, no mirror context, no grid, coefficients 1.0 and
// "panvo.ini" in a directory of its own.
class VitrexTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char dir[] = "/tmp/vitrex-test-XXXXXX";
        ASSERT_NE(mkdtemp(dir), nullptr);
        dir_ = dir;
        UseConfig(dir_ + "/panvo.ini");
        Vitrex::m_unit_x = kVitrexNoGrid;
        Vitrex::m_unit_y = kVitrexNoGrid;
        Vitrex::m_cof_x = 1.0f;
        Vitrex::m_cof_y = 1.0f;
    }
    void TearDown() override { std::filesystem::remove_all(dir_); }

    static void UseConfig(const std::string& path) {
        std::snprintf(Vitrex::m_ConfigPath, sizeof Vitrex::m_ConfigPath, "%s", path.c_str());
    }
    void WriteConfig(const std::string& text) {
        std::ofstream(dir_ + "/panvo.ini", std::ios::binary) << text;
    }
    static void ExpectGrid(int unit_x, int unit_y, float cof_x, float cof_y) {
        EXPECT_EQ(Vitrex::m_unit_x.load(), unit_x);
        EXPECT_EQ(Vitrex::m_unit_y.load(), unit_y);
        EXPECT_FLOAT_EQ(Vitrex::m_cof_x.load(), cof_x);
        EXPECT_FLOAT_EQ(Vitrex::m_cof_y.load(), cof_y);
    }

    ScopedFakeMirrorDriver fake_;
    DebugCapture debug_;
    Vitrex vitrex_;
    std::string dir_;
};

TEST_F(VitrexTest, TextsAndDisplayChangeCodes) {
    const char* expected[7] = {"Change Successful", "Must Restart", "Bad Flags",
                               "Bad Parameters",    "Failed",       "Bad Mode",
                               "Not Updated"};
    for (int i = 0; i < 7; ++i) EXPECT_STREQ(VitrexTestPeer::Text(vitrex_, i), expected[i]);
    EXPECT_STREQ(VitrexTestPeer::DeviceString(vitrex_), "KOVRAL Mirror Driver");

    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, 0), "Change Successful");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, 1), "Must Restart");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, -1), "Failed");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, -2), "Bad Mode");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, -3), "Not Updated");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, -4), "Bad Flags");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, -5), "Bad Parameters");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, -6), "Unknown code: fffffffa\n");
    EXPECT_EQ(VitrexTestPeer::DispCode(vitrex_, 2), "Unknown code: 00000002\n");

    // A copy has texts of its own and the same device string.
    auto copy = std::make_unique<Vitrex>(vitrex_);
    EXPECT_STREQ(VitrexTestPeer::Text(*copy, 4), "Failed");
    EXPECT_NE(VitrexTestPeer::Text(*copy, 4), VitrexTestPeer::Text(vitrex_, 4));
    EXPECT_EQ(VitrexTestPeer::DeviceString(*copy), VitrexTestPeer::DeviceString(vitrex_));
    Vitrex assigned;
    assigned = *copy;
    copy.reset();
    EXPECT_STREQ(VitrexTestPeer::Text(assigned, 6), "Not Updated");

    EXPECT_EQ(VITREX_NOT_READY, 1025u);
    EXPECT_EQ(VITREX_OK, 1026u);
    EXPECT_EQ(VITREX_FAILED, 1027u);
}

TEST_F(VitrexTest, NoWirelessServiceToPause) {
    EXPECT_EQ(VitrexTestPeer::StopAP(vitrex_), 0);
    EXPECT_EQ(VitrexTestPeer::StartAP(vitrex_), 0);
}

TEST_F(VitrexTest, ConfigPathIsBesideTheExecutable) {
    Vitrex::m_ConfigPath[0] = '\0';
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    EXPECT_EQ(std::string(Vitrex::m_ConfigPath), platform::ModuleDirectory() + "/panvo.ini");
}

TEST_F(VitrexTest, ComputedGridWithoutConfigFile) {
    EXPECT_EQ(Vitrex::SetVideoGrid(1280, 1024, 1024, 768), 1);
    ExpectGrid(20, 16, 0.8f, 0.75f);

    Vitrex::SetVideoGrid(1366, 768, 1024, 768);
    ExpectGrid(22, 12, 1024.0f / 1366.0f, 1.0f);

    for (auto [w, h] : {std::pair{1024, 768}, {800, 600}, {640, 480}}) {
        Vitrex::SetVideoGrid(w, h, 800, 600);
        ExpectGrid(9999, 9999, 1.0f, 1.0f);
    }
    // Only the exact sizes count: a 1024-wide screen of another height gets a grid.
    Vitrex::SetVideoGrid(1024, 600, 1024, 768);
    ExpectGrid(16, 10, 1.0f, 1.28f);

    EXPECT_FLOAT_EQ(Vitrex::GetCof(1), 1.0f);
    EXPECT_FLOAT_EQ(Vitrex::GetCof(0), 1.28f);
    EXPECT_FLOAT_EQ(Vitrex::GetCof(2), 1.28f);
    EXPECT_FLOAT_EQ(Vitrex::GetCof(-1), 1.28f);
}

TEST_F(VitrexTest, ScreenOrReceiverWithoutSizeNeverDividesByZero) {
    // No desktop to ask: nothing to lay a grid on, nothing to scale.
    Vitrex::SetVideoGrid(0, 0, 1024, 768);
    ExpectGrid(9999, 9999, 1.0f, 1.0f);
    Vitrex::SetVideoGrid(1280, -1, 1024, 768);
    ExpectGrid(9999, 9999, 1.0f, 1.0f);
    // A receiver without size gives coefficient 0 (the session then has no capture size), and a
    // negative one is no worse.
    Vitrex::SetVideoGrid(1280, 1024, 0, -768);
    ExpectGrid(20, 16, 0.0f, 0.0f);
}

TEST_F(VitrexTest, ConfigFileSectionsAndValues) {
    WriteConfig(
        "[1280X1024]\n"
        "conf_x=0.5\n"
        "conf_y=0.625\n"
        "dx=32\n"
        "dy=24\n"
        "[0900X0700]\n"
        "conf_x=1284\n"  // 0x0504: 5 / 4
        "conf_y=0.7\n"
        "dx=10\n"
        "dy=0x10\n"
        "[1024X0768]\n"
        "conf_x=0.5\nconf_y=0.5\ndx=8\ndy=8\n"
        "[1600X1200]\n"
        "conf_x=0.5\n"  // dy left at 0: the section is ignored as a whole
        "conf_y=0.5\n"
        "dx=8\n");
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    ExpectGrid(32, 24, 0.5f, 0.625f);

    Vitrex::SetVideoGrid(900, 700, 1024, 768);  // zero-filled section name
    ExpectGrid(10, 16, 1284.0f, 0.7f);
    EXPECT_FLOAT_EQ(Vitrex::GetCof(1), 1284.0f);

    Vitrex::SetVideoGrid(1024, 768, 800, 600);  // fixed sizes never read the file
    ExpectGrid(9999, 9999, 1.0f, 1.0f);

    Vitrex::SetVideoGrid(1600, 1200, 1024, 768);
    ExpectGrid(25, 19, 0.64f, 0.64f);

    // The file is read on every call: removing it brings the computed values back.
    std::filesystem::remove(dir_ + "/panvo.ini");
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    ExpectGrid(20, 16, 0.8f, 0.75f);
    EXPECT_TRUE(debug_.Lines().empty());
}

TEST_F(VitrexTest, AbsurdConfigValuesGiveTheComputedGrid) {
    // Each would break the capture: a ratio with denominator or numerator 0, a negative or
    // non-number coefficient, a unit that divides wrongly or does not fit 16 bits.
    const char* absurd[] = {
        "conf_x=1280\nconf_y=0.75\ndx=20\ndy=16\n",   // 0x0500: denominator 0
        "conf_x=1.5\nconf_y=0.75\ndx=20\ndy=16\n",    // 0x0001: numerator 0
        "conf_x=70000\nconf_y=0.75\ndx=20\ndy=16\n",  // beyond 16 bits
        "conf_x=-0.5\nconf_y=0.75\ndx=20\ndy=16\n",   "conf_x=nan\nconf_y=0.75\ndx=20\ndy=16\n",
        "conf_x=inf\nconf_y=0.75\ndx=20\ndy=16\n",    "conf_x=0.5\nconf_y=0.75\ndx=-20\ndy=16\n",
        "conf_x=0.5\nconf_y=0.75\ndx=20\ndy=65552\n",  // would truncate to 16
    };
    for (const char* values : absurd) {
        SCOPED_TRACE(values);
        WriteConfig(std::string("[1280X1024]\n") + values);
        Vitrex::m_cof_x = 9.0f;
        debug_.Clear();
        Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
        ExpectGrid(20, 16, 0.8f, 0.75f);
        ASSERT_EQ(debug_.Lines().size(), 1u);
        EXPECT_EQ(debug_.Lines()[0],
                  "panvo.ini: section 1280X1024 ignored, a value is out of range\n");
    }

    // Text that is no number reads as 0: ignored without a word, like a missing key.
    WriteConfig("[1280X1024]\nconf_x=abc\nconf_y=0.75\ndx=20\ndy=16\n");
    debug_.Clear();
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    ExpectGrid(20, 16, 0.8f, 0.75f);
    EXPECT_TRUE(debug_.Lines().empty());

    // Leading numbers count, as atof and the profile integer reader take them.
    WriteConfig("[1280X1024]\nconf_x= 0.5x\nconf_y=+0.25\ndx=8px\ndy=4\n");
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    ExpectGrid(8, 4, 0.5f, 0.25f);
}

TEST_F(VitrexTest, AttachLogsTheDevicesAndMakesAContext) {
    EXPECT_EQ(Vitrex::m_hdcMirror.load(), nullptr);
    EXPECT_EQ(vitrex_.LoadVitrex(), 1);
    EXPECT_TRUE(fake_->Attached());
    EXPECT_NE(Vitrex::m_hdcMirror.load(), nullptr);
    std::vector<std::string> expected = {
        "<FAKE-1> Fake screen 1024x768 \n",
        "[PRIMARY]\n",
        "[DESKTOP]\n",
        "<FAKE-MIRROR> KOVRAL Mirror Driver \n",
        "[MIRROR]\n",
        "DevNum:1\nName:FAKE-MIRROR\nString:KOVRAL Mirror Driver\nID:FAKE\\MIRROR\nKey:fake:0\n\n",
        "Raw dynamic mode change on device mode: Change Successful\n",
        "Mirror Driver operation is ok\n",
    };
    EXPECT_EQ(debug_.Lines(), expected);

    // Detaching makes a new context too; the detached driver answers nothing.
    VitrexContext* attached = Vitrex::m_hdcMirror.load();
    debug_.Clear();
    EXPECT_EQ(vitrex_.UnloadVitrex(), 1);
    EXPECT_FALSE(fake_->Attached());
    EXPECT_NE(Vitrex::m_hdcMirror.load(), nullptr);
    EXPECT_NE(Vitrex::m_hdcMirror.load(), attached);
    ASSERT_GE(debug_.Lines().size(), 6u);
    EXPECT_EQ(debug_.Lines()[4], "[MIRROR]\n");
    EXPECT_EQ(debug_.Lines()[5], "[DESKTOP]\n");  // still attached while listed
    tagBOX boxes[kVitrexBoxCount];
    EXPECT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_NOT_READY);
    EXPECT_EQ(vitrex_.UnloadVitrex(), 1);  // twice is fine
    EXPECT_EQ(fake_->AttachCalls(), 3);
}

TEST_F(VitrexTest, AttachFailures) {
    fake_->SetDevices({FakeMirrorDriver::DefaultDevices()[0]});
    EXPECT_EQ(vitrex_.LoadVitrex(), 0);
    EXPECT_EQ(debug_.Lines().back(), "KOVRAL Mirror Driver not found\n");
    EXPECT_EQ(Vitrex::m_hdcMirror.load(), nullptr);

    // The device string must match exactly.
    auto devices = FakeMirrorDriver::DefaultDevices();
    devices[1].string = "KOVRAL Mirror Driver ";
    fake_->SetDevices(devices);
    EXPECT_EQ(vitrex_.LoadVitrex(), 0);

    fake_->SetDevices(FakeMirrorDriver::DefaultDevices());
    fake_->SetMode(std::nullopt);
    debug_.Clear();
    EXPECT_EQ(vitrex_.LoadVitrex(), 0);
    EXPECT_EQ(debug_.Lines(), std::vector<std::string>{"Can't read the current display mode.\n"});
    EXPECT_EQ(fake_->AttachCalls(), 0);

    // The mode change's answer is logged but does not decide.
    fake_->SetMode(DisplayMode{1280, 1024, 32});
    fake_->SetAttachResult(-2);
    debug_.Clear();
    EXPECT_EQ(vitrex_.LoadVitrex(), 1);
    EXPECT_FALSE(fake_->Attached());
    EXPECT_EQ(debug_.Lines()[debug_.Lines().size() - 2],
              "Raw dynamic mode change on device mode: Bad Mode\n");
    tagBOX boxes[kVitrexBoxCount];
    EXPECT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_NOT_READY);
}

TEST_F(VitrexTest, DriverCallsMapTheAnswers) {
    tagBOX boxes[kVitrexBoxCount];
    // No context yet: nothing reaches the driver.
    EXPECT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_NOT_READY);
    EXPECT_EQ(vitrex_.SetVitrexVideoGrid(), VITREX_NOT_READY);
    EXPECT_EQ(vitrex_.SetVitrexResolution(768), VITREX_NOT_READY);
    EXPECT_TRUE(fake_->GridValues().empty());
    EXPECT_TRUE(debug_.Lines().empty());  // no "mirror handle is ok" without a handle

    ASSERT_EQ(vitrex_.LoadVitrex(), 1);
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);
    EXPECT_EQ(vitrex_.SetVitrexVideoGrid(), VITREX_OK);
    EXPECT_EQ(vitrex_.SetVitrexResolution(768), VITREX_OK);
    EXPECT_EQ(vitrex_.SetVitrexResolution(-2), VITREX_OK);
    EXPECT_EQ(fake_->GridValues(), std::vector<uint32_t>{20u | 16u << 16});
    EXPECT_EQ(fake_->ResolutionValues(), (std::vector<int32_t>{768, -2}));

    debug_.Clear();
    EXPECT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_OK);
    EXPECT_EQ(debug_.Lines(), std::vector<std::string>{"mirror handle is ok\n"});
    EXPECT_EQ(boxes[0], kEnd);  // nothing changed

    fake_->ForceEscapeResult(kEscapeGetBoxes, 0);
    EXPECT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_NOT_READY);
    fake_->ForceEscapeResult(kEscapeGetBoxes, -1);
    EXPECT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_FAILED);
    EXPECT_EQ(vitrex_.FindDisplayRect(nullptr), VITREX_FAILED);
    fake_->ForceEscapeResult(kEscapeSetGrid, -7);
    EXPECT_EQ(vitrex_.SetVitrexVideoGrid(), VITREX_FAILED);
    fake_->ForceEscapeResult(kEscapeSetResolution, 0);
    EXPECT_EQ(vitrex_.SetVitrexResolution(600), VITREX_NOT_READY);
}

TEST_F(VitrexTest, BoxesSnapToTheGrid) {
    ASSERT_EQ(vitrex_.LoadVitrex(), 1);
    Vitrex::SetVideoGrid(1280, 1024, 1024, 768);  // 20 x 16
    FakeMirrorDriver::Answer answer;
    answer.fill(tagBOX{1, 2, 3, 4});  // what follows the end entry stays as written
    answer[0] = {25, 7, 30, 9};
    answer[1] = {0, 0, 19, 15};
    answer[2] = {1260, 1008, 1279, 1023};
    answer[3] = {5, 5, 32760, 32760};  // would wrap to negative in 16 bits
    answer[4] = {40, 40, 40, -1};      // end entry
    fake_->QueueAnswer(answer);
    tagBOX boxes[kVitrexBoxCount];
    ASSERT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_OK);
    EXPECT_EQ(boxes[0], (tagBOX{20, 0, 39, 15}));
    EXPECT_EQ(boxes[1], (tagBOX{0, 0, 19, 15}));
    EXPECT_EQ(boxes[2], (tagBOX{1260, 1008, 1279, 1023}));
    EXPECT_EQ(boxes[3], (tagBOX{0, 0, 32767, 32767}));
    EXPECT_EQ(boxes[4], (tagBOX{40, 40, 40, -1}));
    EXPECT_EQ(boxes[5], (tagBOX{1, 2, 3, 4}));

    // Each end marker stops snapping on its own.
    for (tagBOX end : {tagBOX{9999, 0, 5, 5}, tagBOX{0, 9999, 5, 5}, tagBOX{0, 0, -1, 5}}) {
        fake_->QueueBoxes({{25, 7, 30, 9}, end, {25, 7, 30, 9}});
        ASSERT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_OK);
        EXPECT_EQ(boxes[0], (tagBOX{20, 0, 39, 15}));
        EXPECT_EQ(boxes[1], end);
        EXPECT_EQ(boxes[2], (tagBOX{25, 7, 30, 9}));
    }

    // Without a grid (or with a unit no division can use) the boxes come back as written.
    for (int16_t unit : {int16_t{9999}, int16_t{12000}, int16_t{0}, int16_t{-20}}) {
        Vitrex::m_unit_x = 20;
        Vitrex::m_unit_y = unit;
        fake_->QueueBoxes({{25, 7, 30, 9}, {3, 3, 4, 4}});
        ASSERT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_OK);
        EXPECT_EQ(boxes[0], (tagBOX{25, 7, 30, 9}));
        EXPECT_EQ(boxes[1], (tagBOX{3, 3, 4, 4}));
        EXPECT_EQ(boxes[2], kEnd);
    }

    // Sixteen real boxes: all sixteen snapped.
    std::vector<tagBOX> full(kVitrexBoxCount, tagBOX{21, 17, 22, 18});
    fake_->QueueBoxes(full);
    Vitrex::m_unit_x = 20;
    Vitrex::m_unit_y = 16;
    ASSERT_EQ(vitrex_.FindDisplayRect(boxes), VITREX_OK);
    for (const tagBOX& box : boxes) EXPECT_EQ(box, (tagBOX{20, 16, 39, 31}));
}

TEST_F(VitrexTest, QueriesWhileAnotherThreadAttachesAndSetsTheGrid) {
    // The sending thread asks for boxes while the control thread re-attaches and lays the grid.
    std::atomic<bool> stop{false};
    std::atomic<int> bad{0};
    std::thread sender([&] {
        tagBOX boxes[kVitrexBoxCount];
        while (!stop) {
            unsigned long result = vitrex_.FindDisplayRect(boxes);
            if (result != VITREX_OK && result != VITREX_NOT_READY) ++bad;
        }
    });
    for (int i = 0; i < 200; ++i) {
        fake_->QueueBoxes({{25, 7, 30, 9}});
        vitrex_.LoadVitrex();
        Vitrex::SetVideoGrid(i % 2 ? 1280 : 1024, i % 2 ? 1024 : 768, 1024, 768);
        vitrex_.SetVitrexVideoGrid();
        vitrex_.UnloadVitrex();
    }
    stop = true;
    sender.join();
    EXPECT_EQ(bad, 0);
}

}  // namespace
}  // namespace mirror
