#include "mirror/testing/FakeMirrorDriver.h"

#include <algorithm>
#include <cstring>

namespace mirror::testing {

FakeMirrorDriver::FakeMirrorDriver()
    : mode_(DisplayMode{1024, 768, 32}), devices_(DefaultDevices()) {}

std::vector<DisplayDevice> FakeMirrorDriver::DefaultDevices() {
    DisplayDevice screen{"FAKE-1", "Fake screen 1024x768", "FAKE\\SCREEN", "fake:0",
                         kDevicePrimary | kDeviceAttachedToDesktop};
    DisplayDevice mirror{"FAKE-MIRROR", kMirrorDeviceString, "FAKE\\MIRROR", "fake:0",
                         kDeviceMirroring};
    return {screen, mirror};
}

void FakeMirrorDriver::SetMode(std::optional<DisplayMode> mode) {
    std::lock_guard lock(mutex_);
    mode_ = mode;
}

void FakeMirrorDriver::SetDevices(std::vector<DisplayDevice> devices) {
    std::lock_guard lock(mutex_);
    devices_ = std::move(devices);
}

void FakeMirrorDriver::SetAttachResult(int disp_change_code) {
    std::lock_guard lock(mutex_);
    attach_result_ = disp_change_code;
}

void FakeMirrorDriver::QueueBoxes(std::vector<tagBOX> boxes) {
    Answer answer;
    answer.fill(tagBOX{kVitrexBoxEnd, kVitrexBoxEnd, -1, -1});
    std::copy_n(boxes.begin(), std::min<size_t>(boxes.size(), answer.size()), answer.begin());
    QueueAnswer(answer);
}

void FakeMirrorDriver::QueueAnswer(const Answer& answer) {
    std::lock_guard lock(mutex_);
    answers_.push_back(answer);
}

void FakeMirrorDriver::ForceEscapeResult(int escape, std::optional<int> result) {
    std::lock_guard lock(mutex_);
    if (result) {
        forced_[escape] = *result;
    } else {
        forced_.erase(escape);
    }
}

bool FakeMirrorDriver::Attached() const {
    std::lock_guard lock(mutex_);
    return attached_;
}

int FakeMirrorDriver::AttachCalls() const {
    std::lock_guard lock(mutex_);
    return attach_calls_;
}

int FakeMirrorDriver::BoxQueries() const {
    std::lock_guard lock(mutex_);
    return box_queries_;
}

std::vector<uint32_t> FakeMirrorDriver::GridValues() const {
    std::lock_guard lock(mutex_);
    return grid_values_;
}

std::vector<int32_t> FakeMirrorDriver::ResolutionValues() const {
    std::lock_guard lock(mutex_);
    return resolution_values_;
}

size_t FakeMirrorDriver::QueuedAnswers() const {
    std::lock_guard lock(mutex_);
    return answers_.size();
}

bool FakeMirrorDriver::CurrentMode(DisplayMode* mode) {
    std::lock_guard lock(mutex_);
    if (!mode_) return false;
    *mode = *mode_;
    return true;
}

std::vector<DisplayDevice> FakeMirrorDriver::Devices() {
    std::lock_guard lock(mutex_);
    std::vector<DisplayDevice> devices = devices_;
    for (DisplayDevice& device : devices) {
        if (device.string == kMirrorDeviceString && attached_) {
            device.state_flags |= kDeviceAttachedToDesktop;
        }
    }
    return devices;
}

int FakeMirrorDriver::ChangeAttachment(const DisplayDevice&, const DisplayMode&, bool attach) {
    std::lock_guard lock(mutex_);
    ++attach_calls_;
    if (attach_result_ == kDispChangeSuccessful) attached_ = attach;
    return attach_result_;
}

int FakeMirrorDriver::Escape(int escape, const void* in, size_t in_bytes, void* out,
                             size_t out_bytes) {
    std::lock_guard lock(mutex_);
    if (escape == kEscapeGetBoxes) ++box_queries_;
    if (auto forced = forced_.find(escape); forced != forced_.end()) {
        if (forced->second <= 0) return forced->second;
    } else if (!attached_) {
        return 0;
    }
    const auto* bytes = static_cast<const unsigned char*>(in);
    switch (escape) {
        case kEscapeSetGrid:
            if (in == nullptr || in_bytes < kGridBytes) return -1;
            grid_values_.push_back(bytes[0] | bytes[1] << 8 | bytes[2] << 16 |
                                   static_cast<uint32_t>(bytes[3]) << 24);
            return 1;
        case kEscapeSetResolution: {
            if (in == nullptr || in_bytes < kResolutionBytes) return -1;
            uint32_t value =
                bytes[0] | bytes[1] << 8 | bytes[2] << 16 | static_cast<uint32_t>(bytes[3]) << 24;
            resolution_values_.push_back(static_cast<int32_t>(value));
            return 1;
        }
        case kEscapeGetBoxes: {
            if (out == nullptr || out_bytes < kBoxesBytes) return -1;
            Answer answer;
            answer.fill(tagBOX{kVitrexBoxEnd, kVitrexBoxEnd, -1, -1});
            if (!answers_.empty()) {
                answer = answers_.front();
                answers_.pop_front();
            }
            std::memcpy(out, answer.data(), kBoxesBytes);
            return 1;
        }
        default:
            return 0;
    }
}

ScopedFakeMirrorDriver::ScopedFakeMirrorDriver() : fake_(std::make_shared<FakeMirrorDriver>()) {
    DropMirrorContext();
    SetMirrorDriver(fake_);
}

ScopedFakeMirrorDriver::~ScopedFakeMirrorDriver() {
    DropMirrorContext();
    SetMirrorDriver(nullptr);
}

}  // namespace mirror::testing
