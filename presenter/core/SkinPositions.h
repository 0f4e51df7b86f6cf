// The coordinates of every skin element, read from the position file "Position/Position.txt".
//
// The file is 8-bit text, one position a line: a decimal value, then any bytes that are neither
// digits nor upper-case letters, then the key, then CR LF ("132 QLX_PRESENTATION_PLAY_X"). A key
// names the first known key that begins with it, in the order of the key table; the first line for
// a key wins. Every one of the 88 keys must appear. At most 300 lines are read and keys longer than
// 49 bytes are not recognised, so nothing a file holds reaches outside the tables.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace beamora {

inline constexpr int kSkinPositionCount = 88;
inline constexpr int kPositionFileLines = 300;
inline constexpr int kPositionKeyMaxBytes = 49;
inline constexpr char kPositionFilePath[] = "Position/Position.txt";
// The largest position a window can use; a file with a larger one is refused.
inline constexpr int32_t kMaxSkinPosition = 4096;

// The key table, in its matching order: each stem gives an X key and then a Y key.
// clang-format off
#define BEAMORA_SKIN_KEY_STEMS(STEM) \
    STEM(QLX_DECK_PRESENTATION) \
    STEM(QLX_STATUS_CONNECTIONED) \
    STEM(QLX_STATUS_SEARCHING) \
    STEM(QLX_STATUS_READY) \
    STEM(QLX_STATUS_PLAYING) \
    STEM(QLX_PRODUCTNAME) \
    STEM(QLX_PRESENTATION_STATUS_AREA) \
    STEM(QLX_PRESENTATION_LINE) \
    STEM(QLX_RECONNECT_BUTTON) \
    STEM(QLX_PRESENTATION_PLAY) \
    STEM(QLX_PRESENTATION_STOP) \
    STEM(QLX_PRESENTATION_REFRESH) \
    STEM(QLX_PRESENTATION_LOGINCODE) \
    STEM(QLX_PRESENTATION_MIN) \
    STEM(QLX_PRESENTATION_EXIT) \
    STEM(QLX_PRESENTATION_MENU) \
    STEM(QLX_LOGIN_DECK_LOGINCODE) \
    STEM(QLX_LOGIN_BUTTON_EXIT2) \
    STEM(QLX_LOGIN_BUTTON_OK) \
    STEM(QLX_LOGIN_BUTTON_CANCEL) \
    STEM(QLX_LOGIN_ICON_INFORMATION) \
    STEM(QLX_MESSAGEBOX_DECK_LOGINCODE) \
    STEM(QLX_MESSAGEBOX_BUTTON_EXIT2) \
    STEM(QLX_MESSAGEBOX_BUTTON_OK) \
    STEM(QLX_MESSAGEBOX_ICON_INFORMATION) \
    STEM(QLX_SELPROJECTOR_DECK_SERVERLIST) \
    STEM(QLX_SELPROJECTOR_BUTTON_EXIT2) \
    STEM(QLX_SELPROJECTOR_BUTTON_OK) \
    STEM(QLX_SELPROJECTOR_BUTTON_CANCEL) \
    STEM(QXL_DECK_TEXT_STATUS) \
    STEM(QLX_LOGIN_TEXT_TITLE) \
    STEM(QLX_LOGIN_TEXT_SUBTITLE) \
    STEM(QLX_LOGIN_TEXT_TEXT) \
    STEM(QLX_LOGIN_TEXT_BUTTON_OK) \
    STEM(QLX_LOGIN_TEXT_BUTTON_CANCEL) \
    STEM(QLX_LOGIN_EDITBOX) \
    STEM(QLX_MESSAGEBOX_TEXT_TITLE) \
    STEM(QLX_MESSAGEBOX_TEXT_SUBTITLE) \
    STEM(QLX_MESSAGEBOX_TEXT_BUTTON_OK) \
    STEM(QLX_SELPROJECTOR_TEXT_TITLE) \
    STEM(QLX_SELPROJECTOR_TEXT_SUBTITLE) \
    STEM(QLX_SELPROJECTOR_TEXT_BUTTON_OK) \
    STEM(QLX_SELPROJECTOR_TEXT_BUTTON_CANCEL) \
    STEM(QLX_SELPROJECTOR_LISTBOX)
// clang-format on

// Indices into the key table; each X key is followed by its Y key.
enum SkinKey : int {
#define BEAMORA_SKIN_KEY_ENUM(stem) stem##_X, stem##_Y,
    BEAMORA_SKIN_KEY_STEMS(BEAMORA_SKIN_KEY_ENUM)
#undef BEAMORA_SKIN_KEY_ENUM
};
static_assert(QLX_SELPROJECTOR_LISTBOX_Y + 1 == kSkinPositionCount);

// The key's name as written in the position file; nullptr outside 0..87.
const char* SkinKeyName(int key);

// The key with exactly this name; -1 when there is none.
int FindSkinKey(std::string_view name);

// The positions, in pixels relative to the client area of the window that draws the element.
class SkinPositions {
  public:
    SkinPositions();

    // Position of `key`; 0 for an index outside the table.
    int32_t operator[](int key) const;
    int32_t Get(int key) const { return (*this)[key]; }

    // Sets every position to 0 and marks every key as not seen.
    void Clear();

    // Stores `value` for `key` unless the key was already seen; returns whether it was stored.
    bool StoreFirst(int key, int32_t value);

    bool Seen(int key) const;
    // Number of keys not yet seen (88 after Clear).
    int MissingCount() const { return missing_; }
    // Name of the first key not yet seen, for diagnostics; empty when none is missing.
    std::string FirstMissingName() const;
    // The first key whose value is above kMaxSkinPosition; -1 when every value is in range.
    int FirstOutOfRange() const;

    // Parses a whole position file held in memory (Clear first); returns true when no key is
    // missing.
    bool ParseFile(std::span<const uint8_t> bytes);

  private:
    std::array<int32_t, kSkinPositionCount> values_{};
    std::array<bool, kSkinPositionCount> seen_{};
    int missing_ = kSkinPositionCount;
};

// Incremental reader of the position file's bytes into a SkinPositions. Feed it the file in pieces
// of any size, then call Finish once at the end of the file.
class PositionFileParser {
  public:
    // Clears `positions` (owned by the caller, kept alive while parsing).
    explicit PositionFileParser(SkinPositions& positions);

    // Consumes all of `bytes` (returns bytes.size()).
    size_t Feed(std::span<const uint8_t> bytes);

    // The end of the file: a key being read is matched, anything else ends where it is.
    void Finish();

    // True once 300 lines are behind the reader; further bytes are ignored, so a caller may stop.
    bool Full() const { return line_ >= kPositionFileLines; }

  private:
    enum class Phase { kDigits, kSkipToKey, kKey, kAfterCr };
    void MatchKey();

    SkinPositions& positions_;
    std::array<int32_t, kPositionFileLines> slots_{};
    Phase phase_ = Phase::kDigits;
    int line_ = 0;
    std::string key_;
    bool key_too_long_ = false;
};

}  // namespace beamora
