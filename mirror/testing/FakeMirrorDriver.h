// A scripted mirror driver for tests: the test queues the boxes the driver answers, sets the
// display mode, devices and answers, and reads back what Vitrex sent. Link `vitrex_fake`.
#pragma once

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "mirror/MirrorDriver.h"
#include "mirror/Vitrex.h"

namespace mirror::testing {

class FakeMirrorDriver final : public MirrorDriver {
  public:
    using Answer = std::array<tagBOX, kVitrexBoxCount>;

    // A 1024 x 768 x 32 display with one primary screen device and the mirror device.
    FakeMirrorDriver();

    // The primary screen "FAKE-1" on the desktop, then the mirror device "FAKE-MIRROR".
    static std::vector<DisplayDevice> DefaultDevices();

    // Scripting; any thread.
    void SetMode(std::optional<DisplayMode> mode);  // nullopt: no display to ask
    void SetDevices(std::vector<DisplayDevice> devices);
    void SetAttachResult(int disp_change_code);  // what ChangeAttachment answers (and does on 0)
    // Queues one answer to escape 9998: boxes in order, end entries after (at most 16 are used).
    void QueueBoxes(std::vector<tagBOX> boxes);
    // Queues one answer to escape 9998 written exactly as given.
    void QueueAnswer(const Answer& answer);
    // Forces the result of escape; nullopt goes back to the normal behaviour. A forced result of
    // 0 or below writes nothing; a positive one answers normally, even while detached.
    void ForceEscapeResult(int escape, std::optional<int> result);

    // What happened; any thread.
    bool Attached() const;
    int AttachCalls() const;
    int BoxQueries() const;
    std::vector<uint32_t> GridValues() const;       // each 9996 input, as a little-endian uint32
    std::vector<int32_t> ResolutionValues() const;  // each 9997 input
    size_t QueuedAnswers() const;

    // MirrorDriver. While detached every escape answers 0; attached, 9998 answers the next queued
    // answer (an empty list when none is queued), 9996 and 9997 record their input and answer 1.
    bool CurrentMode(DisplayMode* mode) override;
    std::vector<DisplayDevice> Devices() override;
    int ChangeAttachment(const DisplayDevice& device, const DisplayMode& mode,
                         bool attach) override;
    int Escape(int escape, const void* in, size_t in_bytes, void* out, size_t out_bytes) override;

  private:
    mutable std::mutex mutex_;
    std::optional<DisplayMode> mode_;
    std::vector<DisplayDevice> devices_;
    int attach_result_ = kDispChangeSuccessful;
    bool attached_ = false;
    int attach_calls_ = 0;
    int box_queries_ = 0;
    std::deque<Answer> answers_;
    std::map<int, int> forced_;
    std::vector<uint32_t> grid_values_;
    std::vector<int32_t> resolution_values_;
};

// Makes a fresh FakeMirrorDriver the driver of every Vitrex for its lifetime; the mirror context
// is dropped on the way in and out, so every scope starts as before the first attach.
class ScopedFakeMirrorDriver {
  public:
    ScopedFakeMirrorDriver();
    ~ScopedFakeMirrorDriver();
    ScopedFakeMirrorDriver(const ScopedFakeMirrorDriver&) = delete;
    ScopedFakeMirrorDriver& operator=(const ScopedFakeMirrorDriver&) = delete;

    FakeMirrorDriver& operator*() const { return *fake_; }
    FakeMirrorDriver* operator->() const { return fake_.get(); }

  private:
    std::shared_ptr<FakeMirrorDriver> fake_;
};

}  // namespace mirror::testing
