#pragma once
// The host's binary interface for video-effect plug-ins (version 8), declared by us.
//
// The host is built with Microsoft's compiler, so these declarations must give Microsoft's x64
// layout although we compile them with GCC. Two rules keep them that way:
//  - no C++ virtual destructor anywhere: GCC would give it two vtable slots where Microsoft's
//    ABI has one ("scalar deleting destructor"), shifting every later slot. Slot 3 is declared
//    as an ordinary virtual function taking the flags word instead;
//  - no overloaded virtual names: Microsoft's compiler groups overloads in the vtable.
// The static_asserts at the end pin every size and offset the host relies on.
//
// The header needs no <windows.h>: handles are plain pointers and results 32-bit ints, so the
// layout checks also run in the native build.
#include <cstddef>
#include <cstdint>

namespace vdj {

using HostResult = std::int32_t;     // HRESULT
using HostRefCount = std::uint32_t;  // ULONG

inline constexpr HostResult kOk = 0;
inline constexpr HostResult kNotImplemented = static_cast<HostResult>(0x80004001u);     // E_NOTIMPL
inline constexpr HostResult kClassNotAvailable = static_cast<HostResult>(0x80040111u);  // CLASS_E_CLASSNOTAVAILABLE

// A 16-byte interface or class identifier, laid out like the Windows GUID.
struct HostGuid {
    std::uint32_t data1;
    std::uint16_t data2;
    std::uint16_t data3;
    std::uint8_t data4[8];
};

// {ED8A8D87-F4F9-4DCD-BD24-291412E93B60}: the plug-in class.
inline constexpr HostGuid kPluginClassId{0xED8A8D87, 0xF4F9, 0x4DCD, {0xBD, 0x24, 0x29, 0x14, 0x12, 0xE9, 0x3B, 0x60}};
// {BF1876AA-3CBD-404A-BEAB-5F8B51E390C0}: the video-effect interface.
inline constexpr HostGuid kVideoFxInterfaceId{
    0xBF1876AA, 0x3CBD, 0x404A, {0xBE, 0xAB, 0x5F, 0x8B, 0x51, 0xE3, 0x90, 0xC0}};

// Flags of the description record.
inline constexpr std::uint32_t kInfoFlagExtendedRecord = 0x10;        // set by the host: the record has the mouse field
inline constexpr std::uint32_t kInfoFlagOverlay = 0x40000;            // host draws the video before our draw
inline constexpr std::uint32_t kInfoFlagOutputResolution = 0x400000;  // give us the output resolution

// Parameter kinds for declareParameter.
inline constexpr int kParameterButton = 0;
// Device kinds for getDevice.
inline constexpr int kDeviceDirect3D11 = 3;

class VideoMouseCallbacks;

// The description record the host passes to describe().
struct PluginInfo {
    const char* name;
    const char* author;
    const char* description;
    const char* version;
    void* bitmap;  // HBITMAP
    std::uint32_t flags;
};

// The extended description record (flag 0x10 set on entry).
struct PluginInfoEx : PluginInfo {
    VideoMouseCallbacks* mouseCallbacks;
};

// The user-interface record passed to userInterface().
struct UserInterfaceInfo {
    std::int32_t type;  // 0: the host's default interface
    void* reserved1;
    void* reserved2;
    void* reserved3;
    void* window;  // HWND, the last field
};

// Callbacks the host offers every plug-in.
class HostCallbacks {
public:
    virtual HostResult runScript(const char* script) = 0;
    virtual HostResult queryNumber(const char* query, double* result) = 0;
    virtual HostResult queryText(const char* query, char* result, int size) = 0;
    virtual HostResult declareParameter(void* parameter, int kind, int id, const char* name, const char* shortName,
                                        float defaultValue) = 0;
    virtual HostResult getSongBuffer(int position, int count, short** buffer) = 0;
};

// Callbacks the host offers video plug-ins.
class VideoCallbacks {
public:
    virtual HostResult drawDeck() = 0;
    virtual HostResult getDevice(int kind, void** device) = 0;
    virtual HostResult getTexture(int kind, void** texture, void** view) = 0;
};

// Mouse events on the video output, implemented by the plug-in.
class VideoMouseCallbacks {
public:
    virtual bool mouseMove(int x, int y, int buttons, int keyModifiers) = 0;
    virtual bool mouseDown(int x, int y, int buttons, int keyModifiers) = 0;
    virtual bool mouseUp(int x, int y, int buttons, int keyModifiers) = 0;
    virtual void keyEvent(const char* key, int a, int b, int c, int d) = 0;
};

// The plug-in base: slots 0 to 6 and the members the host fills before the first call.
class Plugin {
public:
    virtual HostResult load() = 0;                                      // slot 0
    virtual HostResult describe(PluginInfo* info) = 0;                  // slot 1
    virtual HostRefCount release() = 0;                                 // slot 2
    virtual void* scalarDeletingDestructor(unsigned int flags) = 0;     // slot 3; bit 0 frees the memory
    virtual HostResult parameterChanged(int id) = 0;                    // slot 4
    virtual HostResult parameterText(int id, char* out, int size) = 0;  // slot 5
    virtual HostResult userInterface(UserInterfaceInfo* info) = 0;      // slot 6

    void* hostInstance;  // HINSTANCE of our module, may be null
    HostCallbacks* hostCallbacks;
    std::int32_t sampleRate;
    std::int32_t samplesPerBeat;
    double beatPosition;  // grows by 1 per beat

protected:
    Plugin() = default;
    ~Plugin() = default;
};

// The video-effect interface: slots 7 to 12 and the frame members.
class VideoFxPlugin : public Plugin {
public:
    virtual HostResult start() = 0;                                 // slot 7
    virtual HostResult stop() = 0;                                  // slot 8
    virtual HostResult draw() = 0;                                  // slot 9
    virtual HostResult deviceInit() = 0;                            // slot 10
    virtual HostResult deviceClose() = 0;                           // slot 11
    virtual HostResult audioSamples(float* buffer, int count) = 0;  // slot 12

    std::int32_t frameWidth;
    std::int32_t frameHeight;
    VideoCallbacks* videoCallbacks;

protected:
    VideoFxPlugin() = default;
    ~VideoFxPlugin() = default;
};

inline constexpr int kSlotLoad = 0, kSlotDescribe = 1, kSlotRelease = 2, kSlotDestructor = 3, kSlotParameterChanged = 4,
                     kSlotParameterText = 5, kSlotUserInterface = 6, kSlotStart = 7, kSlotStop = 8, kSlotDraw = 9,
                     kSlotDeviceInit = 10, kSlotDeviceClose = 11, kSlotAudioSamples = 12;

// offsetof on these polymorphic classes is conditionally supported; GCC gives the plain layout.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Winvalid-offsetof"
static_assert(sizeof(void*) == 8, "64-bit only");
static_assert(sizeof(HostGuid) == 16);
static_assert(offsetof(Plugin, hostInstance) == 8);
static_assert(offsetof(Plugin, hostCallbacks) == 16);
static_assert(offsetof(Plugin, sampleRate) == 24);
static_assert(offsetof(Plugin, samplesPerBeat) == 28);
static_assert(offsetof(Plugin, beatPosition) == 32);
static_assert(sizeof(Plugin) == 40);
static_assert(offsetof(VideoFxPlugin, frameWidth) == 40);
static_assert(offsetof(VideoFxPlugin, frameHeight) == 44);
static_assert(offsetof(VideoFxPlugin, videoCallbacks) == 48);
static_assert(sizeof(VideoFxPlugin) == 56);
static_assert(offsetof(PluginInfo, name) == 0);
static_assert(offsetof(PluginInfo, author) == 8);
static_assert(offsetof(PluginInfo, description) == 16);
static_assert(offsetof(PluginInfo, version) == 24);
static_assert(offsetof(PluginInfo, bitmap) == 32);
static_assert(offsetof(PluginInfo, flags) == 40);
static_assert(offsetof(PluginInfoEx, mouseCallbacks) == 48);
static_assert(sizeof(PluginInfoEx) == 56);
static_assert(offsetof(UserInterfaceInfo, type) == 0);
static_assert(offsetof(UserInterfaceInfo, window) == 32);
static_assert(sizeof(UserInterfaceInfo) == 40);
static_assert(sizeof(bool) == 1, "mouse callbacks return a one-byte bool");
#pragma GCC diagnostic pop

}  // namespace vdj
