// The plug-in as the host sees it: the real DLL, loaded by path, its one export, and every slot
// called by number through the raw table of the object, with the host's members written at their
// byte offsets. Slot numbers and offsets are written out here on purpose instead of taken from
// host_interface.h, so a layout mistake there cannot hide. Then the object from inside, through its
// records: the moderator's owner and module, and the failure paths that need a seam (an allocation
// that fails, a host that has not filled its members).
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "base/version.h"
#include "moving_video.h"
#include "plugin/win/video_wall_plugin.h"
#include "settings/settings_file.h"
#include "test_support.h"

namespace {

using namespace lumvo::test;

constexpr std::int32_t kOk = 0;
constexpr std::int32_t kNotImplemented = static_cast<std::int32_t>(0x80004001u);
constexpr std::int32_t kClassNotAvailable = static_cast<std::int32_t>(0x80040111u);

constexpr GUID kClassId = {0xED8A8D87, 0xF4F9, 0x4DCD, {0xBD, 0x24, 0x29, 0x14, 0x12, 0xE9, 0x3B, 0x60}};
constexpr GUID kVideoFxId = {0xBF1876AA, 0x3CBD, 0x404A, {0xBE, 0xAB, 0x5F, 0x8B, 0x51, 0xE3, 0x90, 0xC0}};

using GetClassObject = HRESULT(WINAPI*)(const GUID&, const GUID&, void**);

// Calls slot `slot` of the object's table with the object as the hidden first argument, the way
// code built with Microsoft's compiler calls a virtual function on x64.
template <class Result, class... Args>
Result callSlot(void* object, int slot, Args... args) {
    void** table = *static_cast<void***>(object);
    return reinterpret_cast<Result (*)(void*, Args...)>(table[slot])(object, args...);
}

template <class T>
T& member(void* object, std::size_t offset) {
    return *reinterpret_cast<T*>(static_cast<char*>(object) + offset);
}

// The host's description record: four names, the bitmap at 32, the flags at 40, the mouse at 48.
struct InfoRecord {
    const char *name, *author, *description, *version;
    void* bitmap;
    std::uint32_t flags;
    void* mouse;
};
static_assert(offsetof(InfoRecord, bitmap) == 32 && offsetof(InfoRecord, flags) == 40 &&
              offsetof(InfoRecord, mouse) == 48);

// Whether the process settles at `count` threads.
bool threadsSettleAt(int count) {
    return eventually([count] { return processThreadCount() == count; });
}

class PluginAbi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryA(pluginDllPath().c_str());
        if (module_)
            factory_ =
                reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module_, "DllGetClassObject")));
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
    }

    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "cannot load " << pluginDllPath();
        ASSERT_NE(factory_, nullptr) << "no DllGetClassObject export";
        object_ = create();
        ASSERT_NE(object_, nullptr);
    }
    void TearDown() override {
        if (object_) callSlot<std::uint32_t>(object_, 2);
    }

    // A new object with the host members the plug-in reads filled in, as the host does before its first call.
    void* create(GetClassObject factory = factory_) {
        void* object = nullptr;
        EXPECT_EQ(factory(kClassId, kVideoFxId, &object), kOk);
        if (!object) return nullptr;
        member<void*>(object, 8) = module_;
        member<vdj::HostCallbacks*>(object, 16) = &host_;
        member<std::int32_t>(object, 40) = 1280;
        member<std::int32_t>(object, 44) = 720;
        member<vdj::VideoCallbacks*>(object, 48) = &host_;
        return object;
    }

    static inline HMODULE module_ = nullptr;
    static inline GetClassObject factory_ = nullptr;
    TempFolder data_;
    ScopedEnvironment localAppData_{"LOCALAPPDATA", data_.path().c_str()};
    FakeHost host_;
    void* object_ = nullptr;  // made by SetUp, released by TearDown
};

TEST_F(PluginAbi, TheFactoryAnswersOnlyForThePluginClassAndTheVideoEffectInterface) {
    GUID otherClass = kClassId;
    otherClass.Data4[7] ^= 1;
    GUID otherInterface = kVideoFxId;
    otherInterface.Data1 ^= 0x80000000u;
    const std::pair<GUID, GUID> wrong[] = {
        {otherClass, kVideoFxId}, {kClassId, otherInterface}, {kVideoFxId, kClassId}};
    for (const auto& [classId, interfaceId] : wrong) {
        void* const untouched = reinterpret_cast<void*>(0x5A5A5A5A);
        void* out = untouched;
        EXPECT_EQ(factory_(classId, interfaceId, &out), kClassNotAvailable);
        EXPECT_EQ(out, untouched);
    }
}

TEST_F(PluginAbi, LoadDeclaresTheOpenModeratorButtonWhichAloneOpensTheModerator) {
    EXPECT_EQ(callSlot<std::int32_t>(object_, 0), kOk);
    // Parameter 11, a button (kind 0).
    EXPECT_EQ(host_.declared, std::vector<std::string>{"11 0 Open moderator (Mod) 0.000000"});
    // The parameter the host writes lives in the plug-in object, after the host's members.
    const auto* parameter = static_cast<const char*>(host_.declaredParameter);
    EXPECT_GE(parameter, static_cast<const char*>(object_) + 56);
    EXPECT_LT(parameter, static_cast<const char*>(object_) + 64 * 1024);
    EXPECT_TRUE(folderExists(data_ / "LUMVO\\video-wall\\uploads"));

    // Slot 4 with another parameter does nothing; with 11 the moderator asks for the host's window.
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 12), kOk);
    EXPECT_TRUE(host_.queries.empty());
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 11), kOk);
    EXPECT_EQ(host_.queries, std::vector<std::string>{"get hwnd"});
}

TEST_F(PluginAbi, LoadReadsTheLayoutIniBesideTheDllWhenTheDataFolderHasNone) {
    // A copy of the DLL in a folder of its own, with video-wall\layout.ini beside it (the host
    // instance still names the first module). What load read shows from outside: it creates the
    // media folder the settings name.
    TempFolder plugins;
    const std::string copy = plugins / "LUMVO Video Wall.dll";
    ASSERT_TRUE(CopyFileA(pluginDllPath().c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryA(copy.c_str());
    ASSERT_NE(module, nullptr);
    ASSERT_NE(module, module_) << "the copy must be a module of its own";
    auto factory =
        reinterpret_cast<GetClassObject>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")));
    ASSERT_NE(factory, nullptr);
    auto loadAndRelease = [&] {
        void* object = create(factory);
        ASSERT_NE(object, nullptr);
        EXPECT_EQ(callSlot<std::int32_t>(object, 0), kOk);
        callSlot<std::uint32_t>(object, 2);
    };

    makeFolders(plugins / "video-wall");
    const std::string besideMedia = data_ / "media named beside the DLL";
    writeBytes(plugins / "video-wall\\layout.ini", "media_dir=" + besideMedia + "\n");
    loadAndRelease();
    EXPECT_TRUE(folderExists(besideMedia));

    // Once the data folder has its own layout.ini, the one beside the DLL is not read.
    removeTree(besideMedia);
    const std::string dataMedia = data_ / "media named in the data folder";
    writeBytes(data_ / "LUMVO\\video-wall\\layout.ini", "media_dir=" + dataMedia + "\n");
    loadAndRelease();
    EXPECT_TRUE(folderExists(dataMedia));
    EXPECT_FALSE(folderExists(besideMedia));
    FreeLibrary(module);
}

TEST_F(PluginAbi, DescribeFillsTheRecordWithTheBrandBitmapAndKeepsOnlyTheExtendedRecordFlag) {
    const std::string mark = data_ / "LUMVO\\video-wall\\web\\brand\\lumvo-mark.png";
    makeFolders(data_ / "LUMVO\\video-wall\\web\\brand");
    writeBytes(mark, "<html>not found</html>");
    void* const sentinel = reinterpret_cast<void*>(0x1234);
    InfoRecord plain{};
    plain.flags = 0xFFFFFFEFu;  // everything but 0x10
    plain.mouse = sentinel;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &plain), kOk);
    EXPECT_STREQ(plain.name, "LUMVO Video Wall");
    EXPECT_STREQ(plain.version, lumvo::kPluginVersion) << "the number in VERSION";
    EXPECT_EQ(plain.flags, 0x440000u);
    EXPECT_EQ(plain.mouse, sentinel) << "the short record has no mouse field to write";
    EXPECT_EQ(plain.bitmap, nullptr) << "the brand mark is no picture";

    // 200 x 120, transparent but for a 100 x 50 block: the block alone is fitted to the 64 x 64 list
    // bitmap's width and centred (rows 16 to 47) on the dark background. (The geometry is tested
    // natively; here GDI+ paints it.)
    ASSERT_TRUE(writeTestPng(mark, 200, 120, {70, 40, 100, 50}, 0xFF3366CC));
    InfoRecord extended{};
    extended.flags = 0x10 | 0x8;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &extended), kOk);
    EXPECT_EQ(extended.flags, 0x440010u);
    BITMAP size{};
    ASSERT_EQ(GetObject(static_cast<HBITMAP>(extended.bitmap), sizeof size, &size), static_cast<int>(sizeof size));
    ASSERT_TRUE(size.bmWidth == 64 && size.bmHeight == 64);
    std::uint32_t pixels[64 * 64] = {};
    BITMAPINFO format{};
    format.bmiHeader = {sizeof format.bmiHeader, 64, -64, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetDIBits(screen, static_cast<HBITMAP>(extended.bitmap), 0, 64, pixels, &format, DIB_RGB_COLORS), 64);
    ReleaseDC(nullptr, screen);
    auto closeTo = [](std::uint32_t p, int r, int g, int b, int tolerance) {
        return std::abs(static_cast<int>((p >> 16) & 0xFF) - r) <= tolerance &&
               std::abs(static_cast<int>((p >> 8) & 0xFF) - g) <= tolerance &&
               std::abs(static_cast<int>(p & 0xFF) - b) <= tolerance;
    };
    for (int x : {0, 32, 63}) EXPECT_TRUE(closeTo(pixels[32 * 64 + x], 0x33, 0x66, 0xCC, 6)) << "the mark at " << x;
    for (int y : {4, 14, 49, 60}) EXPECT_TRUE(closeTo(pixels[y * 64 + 32], 18, 18, 26, 2)) << "the background at " << y;
    InfoRecord again{};
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &again), kOk);
    EXPECT_EQ(again.bitmap, extended.bitmap) << "the bitmap is built once, not per call";
    ASSERT_NE(extended.mouse, nullptr);
    callSlot<void>(extended.mouse, 3, "a", 0, 0, 0, 0);  // the mouse table's key slot, which does nothing
}

TEST_F(PluginAbi, InEditModeADragThroughTheMouseTableMovesTheChatBoxIntoLayoutIni) {
    // The drag's geometry is tested natively; here the host's calls reach it (move, down and up
    // return one-byte bools), at the frame size the host wrote at offsets 40 and 44, and the box
    // lands in layout.ini.
    makeFolders(data_ / "LUMVO\\video-wall");
    writeBytes(data_ / "LUMVO\\video-wall\\layout.ini", "edit=1\n");
    ASSERT_EQ(callSlot<std::int32_t>(object_, 0), kOk);
    InfoRecord info{};
    info.flags = 0x10;
    ASSERT_EQ(callSlot<std::int32_t>(object_, 1, &info), kOk);
    ASSERT_NE(info.mouse, nullptr);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 9), kOk) << "a frame (without a device): the plug-in learns its size";
    // Pressed at (1000, 300) in the chat box (0.70, 0.08, 0.28, 0.84 of 1280 x 720), let go at (600, 330).
    EXPECT_FALSE(callSlot<bool>(info.mouse, 1, 640, 40, 1, 0)) << "outside every box";
    EXPECT_TRUE(callSlot<bool>(info.mouse, 1, 1000, 300, 1, 0));
    for (int step = 1; step <= 4; ++step) {
        EXPECT_TRUE(callSlot<bool>(info.mouse, 0, 1000 - 100 * step, 300 + 15 * step / 2, 1, 0));
    }
    EXPECT_TRUE(callSlot<bool>(info.mouse, 2, 600, 330, 0, 0));

    lumvo::WallSettings saved;
    std::FILE* file = std::fopen((data_ / "LUMVO\\video-wall\\layout.ini").c_str(), "r");
    ASSERT_NE(file, nullptr);
    lumvo::readSettings(file, saved);
    std::fclose(file);
    EXPECT_NEAR(saved.chat.x, 600.0f / 1280 - (1000.0f / 1280 - 0.70f), 1e-3) << "the grab offset is kept";
    EXPECT_NEAR(saved.chat.y, 330.0f / 720 - (300.0f / 720 - 0.08f), 1e-3);
    EXPECT_NEAR(saved.chat.w, 0.28f, 1e-4);
    EXPECT_EQ(saved.edit, 1);
}

TEST_F(PluginAbi, TheSlotsWithoutAJobAnswerAsTheHostExpects) {
    char text[16] = "unchanged";
    EXPECT_EQ(callSlot<std::int32_t>(object_, 5, 11, text, static_cast<int>(sizeof text)), kNotImplemented);
    EXPECT_STREQ(text, "unchanged");
    float samples[4] = {};
    EXPECT_EQ(callSlot<std::int32_t>(object_, 12, samples, 4), kNotImplemented);

    // The user-interface record: type 0 (the host's own interface) and no window; the rest untouched.
    alignas(8) unsigned char record[40];
    std::memset(record, 0xAB, sizeof record);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 6, record), kOk);
    EXPECT_EQ(member<std::int32_t>(record, 0), 0);
    EXPECT_EQ(member<void*>(record, 32), nullptr);
    EXPECT_EQ(record[8], 0xAB);
    EXPECT_EQ(record[31], 0xAB);
}

TEST_F(PluginAbi, StartRunsOneWorkerAndOpensTheModeratorStopReleaseOrTheDestructionSlotJoinsIt) {
    ASSERT_EQ(callSlot<std::int32_t>(object_, 0), kOk);  // a first load may start threads that stay
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk) << "stop before any start";
    const int idle = processThreadCount();
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_TRUE(threadsSettleAt(idle + 1)) << "one worker for two starts; threads: " << processThreadCount();
    // Opening the moderator window asks the host for its main window, once per start.
    EXPECT_EQ(host_.queries, (std::vector<std::string>{"get hwnd", "get hwnd"}));
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk);
    EXPECT_TRUE(threadsSettleAt(idle));

    // Release without stop, and a host that calls slot 3 (flag 1: free the memory) directly: no
    // running thread is left behind to take the process down.
    for (auto end : {+[](void* o) { callSlot<std::uint32_t>(o, 2); }, +[](void* o) { callSlot<void*>(o, 3, 1u); }}) {
        void* running = create();
        ASSERT_NE(running, nullptr);
        ASSERT_EQ(callSlot<std::int32_t>(running, 0), kOk);
        ASSERT_EQ(callSlot<std::int32_t>(running, 7), kOk);
        EXPECT_TRUE(threadsSettleAt(idle + 1)) << "threads: " << processThreadCount();
        end(running);
        EXPECT_TRUE(threadsSettleAt(idle));
    }
}

TEST_F(PluginAbi, DeviceInitTakesTheHostsDirect3D11DeviceAndWithoutOneEveryDrawAsksAgain) {
    standin::TestVideo video;  // a real device: the renderer builds its shaders and states on it
    std::string error;
    ASSERT_TRUE(video.create(64, 64, error)) << error;
    host_.device = video.device();
    EXPECT_EQ(callSlot<std::int32_t>(object_, 10), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 9), kOk) << "draw, with a device: nothing asked";
    EXPECT_EQ(callSlot<std::int32_t>(object_, 11), kOk);

    host_.device = nullptr;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 10), 1) << "no device";
    host_.device = video.device();
    host_.deviceResult = -1;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 10), 1) << "the host refused";
    EXPECT_EQ(callSlot<std::int32_t>(object_, 9), kOk) << "draw asks again, and is refused";
    host_.deviceResult = 0;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 9), kOk) << "draw asks again, and gets it";
    EXPECT_EQ(callSlot<std::int32_t>(object_, 9), kOk) << "draw, with a device";
    EXPECT_EQ(host_.deviceKinds, (std::vector<int>(5, 3)));
}

using lumvo::VideoWallPlugin;

VideoWallPlugin* asPlugin(void* object) {
    return static_cast<VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(object));
}

TEST(PluginObject, TheModeratorOwnerIsTheHostWindowAndItsModuleTheHostInstanceOrElseOurOwn) {
    lumvo::test::TempFolder data;
    lumvo::test::ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    lumvo::test::FakeHost host;
    void* object = nullptr;
    ASSERT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &object), 0);
    VideoWallPlugin* plugin = asPlugin(object);
    plugin->hostCallbacks = &host;
    // Beyond 2^63, so a signed conversion on the way would show.
    host.windowNumber = std::ldexp(1.0, 63) + 65536.0;
    EXPECT_EQ(plugin->parameterChanged(11), 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(plugin->moderator().owner()), (std::uintptr_t{1} << 63) + 65536u);
    EXPECT_EQ(plugin->moderator().module(), GetModuleHandleA(nullptr))
        << "no host instance: our own module, the program";

    host.windowQueryResult = -1;
    plugin->hostInstance = reinterpret_cast<void*>(0x7FF00000);
    EXPECT_EQ(plugin->parameterChanged(11), 0);
    EXPECT_EQ(plugin->moderator().owner(), nullptr) << "a failed query gives no owner";
    EXPECT_EQ(plugin->moderator().module(), reinterpret_cast<HMODULE>(0x7FF00000));
    plugin->release();
}

TEST(PluginFactory, FailuresAreReportedAndTheObjectStartsZeroFilledWhereItHasNoInitialValue) {
    void* out = reinterpret_cast<void*>(0x1);
    auto create = [&](auto allocate) {
        return lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &out, allocate);
    };
    EXPECT_EQ(create([](std::size_t) -> void* { return nullptr; }), lumvo::kHostOutOfMemory);
    EXPECT_EQ(out, nullptr) << "a failed allocation is not handed over as an object";
    EXPECT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, nullptr),
              lumvo::kHostBadPointer);

    // The host fills its members after creation; until then they read as zero, not as garbage.
    ASSERT_EQ(create([](std::size_t size) -> void* {
                  void* memory = ::operator new(size, std::nothrow);
                  if (memory) std::memset(memory, 0xCD, size);
                  return memory;
              }),
              0);
    VideoWallPlugin* plugin = asPlugin(out);
    EXPECT_EQ(plugin->hostInstance, nullptr);
    EXPECT_EQ(plugin->hostCallbacks, nullptr);
    EXPECT_EQ(plugin->frameWidth, 0);
    EXPECT_EQ(plugin->videoCallbacks, nullptr);
    EXPECT_EQ(plugin->overlay().lastFrameSize().width, 1920);
    // Slots that reach the host tolerate a host that has not filled its members yet.
    EXPECT_EQ(plugin->deviceInit(), lumvo::kHostNoDevice);
    EXPECT_EQ(plugin->parameterChanged(11), 0);
    EXPECT_FALSE(plugin->searchSongs("Hey Jude")) << "no host to run the search";
    plugin->release();
}

}  // namespace
