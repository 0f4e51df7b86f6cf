#include "presenter/core/SkinPositions.h"

#include <algorithm>
#include <cstring>
#include <limits>

namespace beamora {
namespace {

constexpr const char* kKeyNames[kSkinPositionCount] = {
#define BEAMORA_SKIN_KEY_NAME(stem) #stem "_X", #stem "_Y",
    BEAMORA_SKIN_KEY_STEMS(BEAMORA_SKIN_KEY_NAME)
#undef BEAMORA_SKIN_KEY_NAME
};

}  // namespace

const char* SkinKeyName(int key) {
    if (key < 0 || key >= kSkinPositionCount) return nullptr;
    return kKeyNames[key];
}

int FindSkinKey(std::string_view name) {
    for (int key = 0; key < kSkinPositionCount; ++key) {
        if (name == kKeyNames[key]) return key;
    }
    return -1;
}

SkinPositions::SkinPositions() {
    Clear();
}

int32_t SkinPositions::operator[](int key) const {
    if (key < 0 || key >= kSkinPositionCount) return 0;
    return values_[key];
}

void SkinPositions::Clear() {
    values_.fill(0);
    seen_.fill(false);
    missing_ = kSkinPositionCount;
}

int SkinPositions::FirstOutOfRange() const {
    for (int key = 0; key < kSkinPositionCount; ++key) {
        if (seen_[key] && (values_[key] < 0 || values_[key] > kMaxSkinPosition)) return key;
    }
    return -1;
}

bool SkinPositions::StoreFirst(int key, int32_t value) {
    if (key < 0 || key >= kSkinPositionCount || seen_[key]) return false;
    values_[key] = value;
    seen_[key] = true;
    --missing_;
    return true;
}

bool SkinPositions::Seen(int key) const {
    return key >= 0 && key < kSkinPositionCount && seen_[key];
}

std::string SkinPositions::FirstMissingName() const {
    for (int key = 0; key < kSkinPositionCount; ++key) {
        if (!seen_[key]) return kKeyNames[key];
    }
    return {};
}

bool SkinPositions::ParseFile(std::span<const uint8_t> bytes) {
    PositionFileParser parser(*this);
    parser.Feed(bytes);
    parser.Finish();
    return missing_ == 0;
}

PositionFileParser::PositionFileParser(SkinPositions& positions) : positions_(positions) {
    positions_.Clear();
    key_.reserve(kPositionKeyMaxBytes);
}

size_t PositionFileParser::Feed(std::span<const uint8_t> bytes) {
    for (uint8_t byte : bytes) {
        if (Full()) break;
        switch (phase_) {
            case Phase::kDigits:
                if (byte >= '0' && byte <= '9') {
                    // Values past the 32-bit range stay at its top instead of overflowing.
                    int64_t value = int64_t{slots_[line_]} * 10 + (byte - '0');
                    slots_[line_] = static_cast<int32_t>(
                        std::min<int64_t>(value, std::numeric_limits<int32_t>::max()));
                    break;
                }
                phase_ = Phase::kSkipToKey;
                [[fallthrough]];
            case Phase::kSkipToKey:
                if (byte < 'A' || byte > 'Z') break;
                key_.clear();
                key_too_long_ = false;
                phase_ = Phase::kKey;
                [[fallthrough]];
            case Phase::kKey:
                if (byte == 0x0D) {
                    MatchKey();
                    phase_ = Phase::kAfterCr;
                } else if (key_.size() < static_cast<size_t>(kPositionKeyMaxBytes)) {
                    key_.push_back(static_cast<char>(byte));
                } else {
                    key_too_long_ = true;
                }
                break;
            case Phase::kAfterCr:
                if (byte == 0x0A) ++line_;
                phase_ = Phase::kDigits;
                break;
        }
    }
    return bytes.size();
}

void PositionFileParser::Finish() {
    // A last key followed by nothing still counts; digits or filler cut off by the end do not.
    if (phase_ == Phase::kKey && !Full()) MatchKey();
    phase_ = Phase::kDigits;
}

void PositionFileParser::MatchKey() {
    if (key_too_long_ || key_.empty()) return;
    for (int key = 0; key < kSkinPositionCount; ++key) {
        const char* name = kKeyNames[key];
        if (std::strlen(name) >= key_.size() && std::memcmp(name, key_.data(), key_.size()) == 0) {
            positions_.StoreFirst(key, slots_[line_]);
            return;
        }
    }
}

}  // namespace beamora
