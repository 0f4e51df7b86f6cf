#include "receiver/DataStream.h"

#include <cstring>

#include "receiver/UnitParser.h"

namespace receiver {

DataStream::DataStream(Picture& picture, std::function<ProjectionStart()> start_info)
    : picture_(picture), start_info_(std::move(start_info)) {}

void DataStream::SettleGeometry(const uint8_t* data, size_t size) {
    std::optional<FirstStrip> first;
    if (size >= kUnitPrefixSize && data[8] == 0 && data[9] == 0 && data[10] == 0 &&
        data[11] == kUnitStrip) {
        first = FirstStrip{data[0] << 8 | data[1], data[2] << 8 | data[3], data[4] << 8 | data[5]};
    }
    geometry_ = ResolveCaptureGeometry(start_info_(), first);
    if (!(picture_.Geometry() == *geometry_)) picture_.Reset(*geometry_);
}

bool DataStream::Feed(const uint8_t* data, size_t size) {
    if (!error_.empty()) return false;
    // Work on the new bytes in place when nothing is pending; else append them.
    const uint8_t* cursor = data;
    size_t available = size;
    bool buffered = PendingBytes() > 0;
    if (buffered) {
        buffer_.insert(buffer_.end(), data, data + size);
        cursor = buffer_.data() + begin_;
        available = buffer_.size() - begin_;
    }
    for (;;) {
        if (!geometry_ && available >= kUnitPrefixSize) SettleGeometry(cursor, available);
        UnitHeader header;
        // Checked against the picture as it is now: that is what the unit is written into.
        ParseResult result = ParseUnit(cursor, available, picture_.Geometry(), &header);
        if (result.status == ParseResult::kError) {
            error_ = result.error;
            return false;
        }
        if (result.status == ParseResult::kNeedMore) break;
        if (auto error = decoder_.Decode(header, cursor, picture_)) {
            error_ = *error;
            return false;
        }
        ++counters_.units;
        counters_.bytes += result.size;
        if (header.kind == kUnitStrip) {
            ++counters_.strips;
            if (!last_was_strip_) ++counters_.updates;
            last_was_strip_ = true;
        } else {
            ++counters_.cursors;
            last_was_strip_ = false;
        }
        cursor += result.size;
        available -= result.size;
    }
    // Keep the incomplete rest. Its header, when complete, was checked, so it never grows past
    // one valid unit.
    if (buffered) {
        begin_ = buffer_.size() - available;
        if (begin_ == buffer_.size()) {
            buffer_.clear();
            begin_ = 0;
        } else if (begin_ > buffer_.size() / 2) {
            buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(begin_));
            begin_ = 0;
        }
    } else {
        buffer_.assign(cursor, cursor + available);
        begin_ = 0;
    }
    return true;
}

}  // namespace receiver
