#include "cli/CliCommon.h"

namespace cli {

struct NotifyRecorder::Window : NotifyTarget {
    explicit Window(NotifyRecorder* owner) : owner(owner) {}
    void SendNotify(unsigned int, uintptr_t, intptr_t code) override {
        owner->Record(static_cast<int>(code));
    }
    NotifyRecorder* owner;
};

NotifyRecorder::NotifyRecorder() : window_(std::make_unique<Window>(this)) {}
NotifyRecorder::~NotifyRecorder() = default;

WindowHandle NotifyRecorder::Handle() const {
    return window_.get();
}

}  // namespace cli
