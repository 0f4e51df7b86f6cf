// Vitrex: the change-tracking library of the Beamora presenter. It attaches the mirror driver (on
// X11: the DAMAGE extension on the root window), asks it which boxes of the screen changed, tells
// it its grid and resolution, and works out the grid and scaling coefficients for a receiver from
// the screen size and the optional "panvo.ini" beside the executable.
//
// Results are integers; nothing is thrown. The static members are shared by every instance.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#if defined(VITREX_BUILDING)
#define VITREX_API __declspec(dllexport)
#else
#define VITREX_API __declspec(dllimport)
#endif
#else
#define VITREX_API __attribute__((visibility("default")))
#endif

// One changed area of the screen: inclusive screen pixels, top-down. In a driver answer the list
// ends at the first entry whose left or top is 9999 or whose right or bottom is -1; an entry whose
// right is -1 is empty.
struct tagBOX {
    int16_t left;
    int16_t top;
    int16_t right;
    int16_t bottom;
};
static_assert(sizeof(tagBOX) == 8, "the box layout is shared with the driver and the client");

// Entries of a driver answer (FindDisplayRect fills this many, 128 bytes).
constexpr int kVitrexBoxCount = 16;
// Value of left and top in an end entry.
constexpr int16_t kVitrexBoxEnd = 9999;
// m_unit_x / m_unit_y value meaning "no grid".
constexpr int16_t kVitrexNoGrid = 9999;

// Results of the driver calls.
constexpr unsigned long VITREX_NOT_READY = 1025;  // no mirror context, or the driver answered 0
constexpr unsigned long VITREX_OK = 1026;         // the driver answered a positive value
constexpr unsigned long VITREX_FAILED = 1027;     // the driver answered a negative value

// A context on the mirror device (what escapes are sent on). Opaque; owned by the library.
struct VitrexContext;

class VITREX_API Vitrex {
  public:
    // Fills the result texts and points the device string at the mirror device's name.
    Vitrex();
    Vitrex(const Vitrex& other);
    Vitrex& operator=(const Vitrex& other);
    // Does not detach the driver.
    virtual ~Vitrex();

    // Attaches the mirror driver (after pausing the wireless service, which Linux does not have).
    // 1 on success, 0 on failure (with one diagnostic line). Thread that starts projection.
    int LoadVitrex();
    // Detaches the mirror driver (after restarting the wireless service). 1 / 0 as LoadVitrex.
    int UnloadVitrex();

    // Fills boxes (room for kVitrexBoxCount entries) with the changed boxes the driver collected
    // since the last call, snapped to the grid (m_unit_x x m_unit_y). VITREX_OK, VITREX_NOT_READY
    // or VITREX_FAILED; entries are only meaningful with VITREX_OK. Sending thread.
    unsigned long FindDisplayRect(tagBOX* boxes);
    // The screen pixels of (x, y, width, height) as the driver saw them for the last
    // FindDisplayRect, when it keeps a copy of the screen: *pixels is the area's top row of 32-bit
    // pixels (bytes blue, green, red, unused), rows *stride bytes apart, valid until the next
    // FindDisplayRect or detach. False when the driver cannot lend the whole area; the caller
    // then reads the screen itself. Sending thread.
    bool LendScreenPixels(int x, int y, int width, int height, const uint8_t** pixels,
                          ptrdiff_t* stride);

    // Works out m_unit_x, m_unit_y, m_cof_x and m_cof_y for a screen of screenWidth x
    // screenHeight pixels shown on a receiver of receiverWidth x receiverHeight pixels, from the
    // screen's section of "panvo.ini" when it holds sound values, else computed (64 x 64 cells,
    // receiver / screen). Always 1. Any thread.
    static int SetVideoGrid(int screenWidth, int screenHeight, int receiverWidth,
                            int receiverHeight);
    // Sends the grid to the driver. A result code.
    unsigned long SetVitrexVideoGrid();
    // Sends the resolution value (the capture height) to the driver. A result code.
    unsigned long SetVitrexResolution(int value);

    // m_cof_x when which is 1, else m_cof_y. A value above 1.0 encodes a ratio: numerator in bits
    // 15..8 and denominator in bits 7..0 of its integer value.
    static float GetCof(int which);

    // The context on the mirror device, made by every attach or detach that gets that far; null
    // before the first. Read-only for callers.
    static std::atomic<VitrexContext*> m_hdcMirror;
    static std::atomic<int16_t> m_unit_x;  // grid cell width, pixels; 9999: no grid
    static std::atomic<int16_t> m_unit_y;  // grid cell height, pixels; 9999: no grid
    static std::atomic<float> m_cof_x;     // horizontal coefficient
    static std::atomic<float> m_cof_y;     // vertical coefficient
    // Full path of "panvo.ini", worked out by the first SetVideoGrid; empty before, or when the
    // path does not fit.
    static char m_ConfigPath[4096];

  private:
    friend class VitrexTestPeer;

    // Attaches (1) or detaches (0) the mirror driver; 1 on success, 0 on failure.
    int EnableVitrex(int attach);
    // The text of a display-change code; unknown codes are formatted into a per-thread buffer.
    char* GetDispCode(int code);
    // Pause and restart the wireless configuration service (0 where there is none).
    int StopAPServer();
    int StartAPServer();

    char m_szResult[7][256];
    const char* m_pszDeviceString;
};
