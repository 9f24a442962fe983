// The plug-in as the host sees it: the real DLL, loaded by path, its one export, and every slot
// called by number through the raw table of the object, with the host's members written at their
// byte offsets. Slot numbers and offsets are written out here on purpose instead of taken from
// host_interface.h, so a layout mistake there cannot hide.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "moving_video.h"
#include "base/version.h"
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

TEST_F(PluginAbi, LoadDeclaresTheOpenModeratorButtonAndMakesTheDataFolders) {
    EXPECT_EQ(callSlot<std::int32_t>(object_, 0), kOk);

    ASSERT_EQ(host_.declared.size(), 1u);
    const FakeHost::Declared& button = host_.declared[0];
    EXPECT_EQ(button.kind, 0) << "a button";
    EXPECT_EQ(button.id, 11);
    EXPECT_EQ(button.name, "Open moderator");
    EXPECT_EQ(button.shortName, "Mod");
    EXPECT_EQ(button.defaultValue, 0.0f);
    // The parameter the host writes lives in the plug-in object, after the host's members.
    const auto* parameter = static_cast<const char*>(button.parameter);
    EXPECT_GE(parameter, static_cast<const char*>(object_) + 56);
    EXPECT_LT(parameter, static_cast<const char*>(object_) + 64 * 1024);
    EXPECT_TRUE(folderExists(data_ / "LUMVO\\video-wall\\uploads"));
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
    const std::string brand = data_ / "LUMVO\\video-wall\\web\\brand";
    makeFolders(brand);
    ASSERT_TRUE(writeTestPng(brand + "\\lumvo-mark.png", 120, 90, {10, 20, 60, 30}, 0xFF3366CC));
    void* const sentinel = reinterpret_cast<void*>(0x1234);

    InfoRecord plain{};
    plain.flags = 0xFFFFFFEFu;  // everything but 0x10
    plain.mouse = sentinel;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &plain), kOk);
    EXPECT_STREQ(plain.name, "LUMVO Video Wall");
    EXPECT_STREQ(plain.author, "LUMVO");
    EXPECT_STREQ(plain.description, "LUMVO Video Wall: audience chat, photos and QR overlay for the TV");
    EXPECT_STREQ(plain.version, lumvo::kPluginVersion) << "the number in VERSION";
    EXPECT_EQ(plain.flags, 0x440000u);
    EXPECT_EQ(plain.mouse, sentinel) << "the short record has no mouse field to write";
    // The brand mark as a 64 x 64 list bitmap.
    ASSERT_NE(plain.bitmap, nullptr);
    BITMAP info{};
    ASSERT_EQ(GetObject(static_cast<HBITMAP>(plain.bitmap), sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 64);
    EXPECT_EQ(info.bmHeight, 64);

    InfoRecord extended{};
    extended.flags = 0x10 | 0x8;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &extended), kOk);
    EXPECT_EQ(extended.flags, 0x440010u);
    EXPECT_EQ(extended.bitmap, plain.bitmap) << "the bitmap is built once, not per call";
    ASSERT_NE(extended.mouse, nullptr);
    // The mouse interface has its own table: move, down, up (one-byte bools) and key.
    EXPECT_FALSE(callSlot<bool>(extended.mouse, 0, 10, 10, 0, 0));
    EXPECT_FALSE(callSlot<bool>(extended.mouse, 1, 10, 10, 1, 0));
    EXPECT_FALSE(callSlot<bool>(extended.mouse, 2, 10, 10, 1, 0));
    callSlot<void>(extended.mouse, 3, "a", 0, 0, 0, 0);
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

TEST_F(PluginAbi, StartRunsOneWorkerAndOpensTheModeratorEachTimeStopJoinsIt) {
    ASSERT_EQ(callSlot<std::int32_t>(object_, 0), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk) << "stop before any start";

    const int idle = processThreadCount();
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_TRUE(threadsSettleAt(idle + 1)) << "one worker for two starts; threads: " << processThreadCount();
    // Opening the moderator window asks the host for its main window, once per start.
    EXPECT_EQ(host_.queries, (std::vector<std::string>{"get hwnd", "get hwnd"}));
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk);
    EXPECT_TRUE(threadsSettleAt(idle));
    // Start and stop alternate freely.
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_TRUE(threadsSettleAt(idle + 1));
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk);
    EXPECT_TRUE(threadsSettleAt(idle));
}

TEST_F(PluginAbi, ReleaseOrTheDestructionSlotWhileRunningJoinsTheWorkerFirst) {
    ASSERT_EQ(callSlot<std::int32_t>(object_, 0), kOk);  // a first load may start threads that stay
    const int idle = processThreadCount();
    // Release without stop, and a host that calls slot 3 (flag 1: free the memory) directly: no
    // running thread is left behind to take the process down.
    for (auto end : {+[](void* o) { callSlot<std::uint32_t>(o, 2); }, +[](void* o) { callSlot<void*>(o, 3, 1u); }}) {
        void* running = create();
        ASSERT_NE(running, nullptr);
        ASSERT_EQ(callSlot<std::int32_t>(running, 0), kOk);
        ASSERT_EQ(callSlot<std::int32_t>(running, 7), kOk);
        EXPECT_TRUE(threadsSettleAt(idle + 1)) << "threads: " << processThreadCount();  // and end it all the same
        end(running);
        EXPECT_TRUE(threadsSettleAt(idle));
    }
}

TEST_F(PluginAbi, OnlyParameterElevenOpensTheModerator) {
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 3), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 12), kOk);
    EXPECT_TRUE(host_.queries.empty());
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 11), kOk);
    EXPECT_EQ(host_.queries, std::vector<std::string>{"get hwnd"});
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

}  // namespace
