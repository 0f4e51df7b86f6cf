// One data connection's byte stream: buffers what arrives, cuts it into units, checks each header
// against the picture and decodes it. Free of I/O, so tests and the fuzzer feed it bytes directly.
// The first unit of a connection settles the capture geometry (see ResolveCaptureGeometry).
// Used on one thread (the server's) together with its picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "receiver/CaptureGeometry.h"
#include "receiver/Picture.h"
#include "receiver/UnitDecoder.h"

namespace receiver {

struct StreamCounters {
    uint64_t units = 0;
    uint64_t strips = 0;
    uint64_t cursors = 0;
    uint64_t bytes = 0;    // bytes of whole units decoded
    uint64_t updates = 0;  // screen updates: runs of strips, ended by a cursor unit
};

class DataStream {
  public:
    // picture outlives the stream; start_info is asked once, when the first unit's header is in.
    DataStream(Picture& picture, std::function<ProjectionStart()> start_info);

    // Takes the next received bytes and decodes every complete unit. Returns false when a unit is
    // refused (Error() says why, in one line); the picture then holds only the units before it and
    // every later call returns false without looking at its bytes.
    bool Feed(const uint8_t* data, size_t size);

    const std::string& Error() const { return error_; }
    // Bytes of an incomplete unit waiting for the rest.
    size_t PendingBytes() const { return buffer_.size() - begin_; }
    const StreamCounters& Counters() const { return counters_; }
    // The geometry settled by the first unit, if any arrived.
    const std::optional<CaptureGeometry>& Geometry() const { return geometry_; }

  private:
    void SettleGeometry(const uint8_t* data, size_t size);

    Picture& picture_;
    std::function<ProjectionStart()> start_info_;
    std::optional<CaptureGeometry> geometry_;
    UnitDecoder decoder_;
    std::vector<uint8_t> buffer_;
    size_t begin_ = 0;  // start of the first unconsumed byte in buffer_
    bool last_was_strip_ = false;
    StreamCounters counters_;
    std::string error_;
};

}  // namespace receiver
