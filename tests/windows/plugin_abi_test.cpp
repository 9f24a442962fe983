// The plug-in as the host sees it: the real DLL, loaded by path, its one export, and every slot
// called by number through the raw table of the object, with the host's members written at their
// byte offsets. Slot numbers and offsets are written out here on purpose instead of taken from
// host_interface.h, so a layout mistake there cannot hide.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstdint>
#include <cstring>
#include <string>

#include "test_support.h"

namespace {

using lumvo::test::FakeHost;
using lumvo::test::TempFolder;

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

// The host's description record, by offsets: four names, bitmap at 32, flags at 40, mouse at 48.
struct alignas(8) InfoRecord {
    unsigned char bytes[56];
    const char* text(std::size_t offset) const { return *reinterpret_cast<const char* const*>(bytes + offset); }
    void* pointer(std::size_t offset) const { return *reinterpret_cast<void* const*>(bytes + offset); }
    std::uint32_t& flags() { return *reinterpret_cast<std::uint32_t*>(bytes + 40); }
    void setPointer(std::size_t offset, void* value) { std::memcpy(bytes + offset, &value, sizeof value); }
};

class PluginAbi : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        module_ = LoadLibraryA(lumvo::test::pluginDllPath().c_str());
        if (module_) factory_ = reinterpret_cast<GetClassObject>(GetProcAddress(module_, "DllGetClassObject"));
    }
    static void TearDownTestSuite() {
        if (module_) FreeLibrary(module_);
        module_ = nullptr;
        factory_ = nullptr;
    }

    void SetUp() override {
        ASSERT_NE(module_, nullptr) << "cannot load " << lumvo::test::pluginDllPath();
        ASSERT_NE(factory_, nullptr) << "no DllGetClassObject export";
        SetEnvironmentVariableA("LOCALAPPDATA", data_.path().c_str());
    }
    void TearDown() override {
        SetEnvironmentVariableA("LOCALAPPDATA", nullptr);
        if (object_) callSlot<std::uint32_t>(object_, 2);
    }

    // A new object with the host's members filled in, as the host does before its first call.
    void* create(GetClassObject factory = factory_) {
        void* object = nullptr;
        EXPECT_EQ(factory(kClassId, kVideoFxId, &object), kOk);
        if (!object) return nullptr;
        member<void*>(object, 8) = module_;
        member<vdj::HostCallbacks*>(object, 16) = &host_;
        member<std::int32_t>(object, 24) = 44100;
        member<std::int32_t>(object, 28) = 22050;
        member<double>(object, 32) = 0.0;
        member<std::int32_t>(object, 40) = 1280;
        member<std::int32_t>(object, 44) = 720;
        member<vdj::VideoCallbacks*>(object, 48) = &host_;
        return object;
    }

    static HMODULE module_;
    static GetClassObject factory_;
    TempFolder data_;
    FakeHost host_;
    void* object_ = nullptr;  // released by TearDown
};

HMODULE PluginAbi::module_ = nullptr;
GetClassObject PluginAbi::factory_ = nullptr;

TEST_F(PluginAbi, TheFactoryAnswersOnlyForThePluginClassAndTheVideoEffectInterface) {
    GUID otherClass = kClassId;
    otherClass.Data4[7] ^= 1;
    GUID otherInterface = kVideoFxId;
    otherInterface.Data1 ^= 0x80000000u;
    void* const untouched = reinterpret_cast<void*>(0x5A5A5A5A);
    void* out = untouched;
    EXPECT_EQ(factory_(otherClass, kVideoFxId, &out), kClassNotAvailable);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(factory_(kClassId, otherInterface, &out), kClassNotAvailable);
    EXPECT_EQ(out, untouched);
    EXPECT_EQ(factory_(kVideoFxId, kClassId, &out), kClassNotAvailable) << "identifiers swapped";
    EXPECT_EQ(out, untouched);

    object_ = create();
    ASSERT_NE(object_, nullptr);
}

TEST_F(PluginAbi, LoadDeclaresTheOpenModeratorButtonAndMakesTheDataFolders) {
    object_ = create();
    ASSERT_NE(object_, nullptr);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 0), kOk);

    const auto declared = host_.declared;
    ASSERT_EQ(declared.size(), 1u);
    EXPECT_EQ(declared[0].kind, 0) << "a button";
    EXPECT_EQ(declared[0].id, 11);
    EXPECT_EQ(declared[0].name, "Open moderator");
    EXPECT_EQ(declared[0].shortName, "Mod");
    EXPECT_EQ(declared[0].defaultValue, 0.0f);
    // The parameter the host writes lives in the plug-in object, after the host's members.
    const auto* parameter = static_cast<const char*>(declared[0].parameter);
    EXPECT_GE(parameter, static_cast<const char*>(object_) + 56);
    EXPECT_LT(parameter, static_cast<const char*>(object_) + 64 * 1024);

    const std::string wall = data_ / "LUMVO\\video-wall";
    for (const char* folder : {"", "\\server", "\\web", "\\uploads"}) {
        EXPECT_TRUE(lumvo::test::folderExists(wall + folder)) << wall + folder;
    }
}

TEST_F(PluginAbi, LoadReadsTheLayoutIniBesideTheDllWhenTheDataFolderHasNone) {
    // A copy of the DLL in a folder of its own, with video-wall\layout.ini beside it. What load
    // read shows from outside: it creates the media folder the settings name.
    TempFolder plugins;
    const std::string copy = plugins / "LUMVO Video Wall.dll";
    ASSERT_TRUE(CopyFileA(lumvo::test::pluginDllPath().c_str(), copy.c_str(), FALSE));
    HMODULE module = LoadLibraryA(copy.c_str());
    ASSERT_NE(module, nullptr);
    ASSERT_NE(module, module_) << "the copy must be a module of its own";
    auto factory = reinterpret_cast<GetClassObject>(GetProcAddress(module, "DllGetClassObject"));
    ASSERT_NE(factory, nullptr);

    lumvo::test::makeFolders(plugins / "video-wall");
    const std::string besideMedia = data_ / "media named beside the DLL";
    lumvo::test::writeBytes(plugins / "video-wall\\layout.ini", "media_dir=" + besideMedia + "\n");
    void* first = create(factory);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(callSlot<std::int32_t>(first, 0), kOk);
    EXPECT_TRUE(lumvo::test::folderExists(besideMedia));
    callSlot<std::uint32_t>(first, 2);

    // Once the data folder has its own layout.ini, the one beside the DLL is not read.
    lumvo::test::removeTree(besideMedia);
    const std::string dataMedia = data_ / "media named in the data folder";
    lumvo::test::writeBytes(data_ / "LUMVO\\video-wall\\layout.ini", "media_dir=" + dataMedia + "\n");
    void* second = create(factory);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(callSlot<std::int32_t>(second, 0), kOk);
    EXPECT_TRUE(lumvo::test::folderExists(dataMedia));
    EXPECT_FALSE(lumvo::test::folderExists(besideMedia));
    callSlot<std::uint32_t>(second, 2);
    FreeLibrary(module);
}

TEST_F(PluginAbi, DescribeFillsTheRecordAndKeepsOnlyTheExtendedRecordFlag) {
    object_ = create();
    ASSERT_NE(object_, nullptr);
    void* const sentinel = reinterpret_cast<void*>(0x1234);

    InfoRecord plain{};
    plain.flags() = 0xFFFFFFEFu;  // everything but 0x10
    plain.setPointer(48, sentinel);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &plain), kOk);
    EXPECT_STREQ(plain.text(0), "LUMVO Video Wall");
    EXPECT_STREQ(plain.text(8), "LUMVO");
    EXPECT_STREQ(plain.text(16), "LUMVO Video Wall: audience chat, photos and QR overlay for the TV");
    EXPECT_STREQ(plain.text(24), "0.65");
    EXPECT_EQ(plain.flags(), 0x440000u);
    EXPECT_EQ(plain.pointer(48), sentinel) << "the short record has no mouse field to write";

    InfoRecord extended{};
    extended.flags() = 0x10 | 0x8;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 1, &extended), kOk);
    EXPECT_EQ(extended.flags(), 0x440010u);
    void* mouse = extended.pointer(48);
    ASSERT_NE(mouse, nullptr);
    // The mouse interface has its own table: move, down, up (one-byte bools) and key.
    EXPECT_FALSE(callSlot<bool>(mouse, 0, 10, 10, 0, 0));
    EXPECT_FALSE(callSlot<bool>(mouse, 1, 10, 10, 1, 0));
    EXPECT_FALSE(callSlot<bool>(mouse, 2, 10, 10, 1, 0));
    callSlot<void>(mouse, 3, "a", 0, 0, 0, 0);
}

TEST_F(PluginAbi, TheBrandMarkBecomesAListBitmapBuiltOnce) {
    const std::string brand = data_ / "LUMVO\\video-wall\\web\\brand";
    lumvo::test::makeFolders(brand);
    std::wstring png(brand.begin(), brand.end());
    ASSERT_TRUE(lumvo::test::writeTestPng(png + L"\\lumvo-mark.png", 120, 90, 10, 20, 60, 30, 0xFF3366CC));

    object_ = create();
    ASSERT_NE(object_, nullptr);
    InfoRecord first{}, second{};
    ASSERT_EQ(callSlot<std::int32_t>(object_, 1, &first), kOk);
    ASSERT_EQ(callSlot<std::int32_t>(object_, 1, &second), kOk);
    auto bitmap = static_cast<HBITMAP>(first.pointer(32));
    ASSERT_NE(bitmap, nullptr);
    EXPECT_EQ(second.pointer(32), bitmap);
    BITMAP info{};
    ASSERT_EQ(GetObject(bitmap, sizeof info, &info), static_cast<int>(sizeof info));
    EXPECT_EQ(info.bmWidth, 64);
    EXPECT_EQ(info.bmHeight, 64);

    // A fresh object in a data folder without the mark shows no bitmap.
    TempFolder empty;
    SetEnvironmentVariableA("LOCALAPPDATA", empty.path().c_str());
    void* other = create();
    ASSERT_NE(other, nullptr);
    InfoRecord none{};
    EXPECT_EQ(callSlot<std::int32_t>(other, 1, &none), kOk);
    EXPECT_EQ(none.pointer(32), nullptr);
    callSlot<std::uint32_t>(other, 2);
}

TEST_F(PluginAbi, TheSlotsWithoutAJobAnswerAsTheHostExpects) {
    object_ = create();
    ASSERT_NE(object_, nullptr);
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
    object_ = create();
    ASSERT_NE(object_, nullptr);
    ASSERT_EQ(callSlot<std::int32_t>(object_, 0), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk) << "stop before any start";

    const int idle = lumvo::test::processThreadCount();
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle + 1; }))
        << "one worker for two starts; threads: " << lumvo::test::processThreadCount() << ", idle " << idle;
    // Opening the moderator window asks the host for its main window, once per start.
    EXPECT_EQ(host_.queries, (std::vector<std::string>{"get hwnd", "get hwnd"}));

    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk);
    EXPECT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle; }));
    // Start and stop alternate freely.
    EXPECT_EQ(callSlot<std::int32_t>(object_, 7), kOk);
    EXPECT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle + 1; }));
    EXPECT_EQ(callSlot<std::int32_t>(object_, 8), kOk);
    EXPECT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle; }));
}

TEST_F(PluginAbi, ReleaseOrTheDestructionSlotWhileRunningJoinsTheWorkerFirst) {
    void* running = create();
    ASSERT_NE(running, nullptr);
    ASSERT_EQ(callSlot<std::int32_t>(running, 0), kOk);
    const int idle = lumvo::test::processThreadCount();
    ASSERT_EQ(callSlot<std::int32_t>(running, 7), kOk);
    ASSERT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle + 1; }));
    EXPECT_EQ(callSlot<std::uint32_t>(running, 2), 0u);  // release without stop
    EXPECT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle; }));

    // A host that calls slot 3 (flag 1: free the memory) directly: one slot, and no running
    // thread is left behind to take the process down.
    void* destroyed = create();
    ASSERT_NE(destroyed, nullptr);
    ASSERT_EQ(callSlot<std::int32_t>(destroyed, 0), kOk);
    ASSERT_EQ(callSlot<std::int32_t>(destroyed, 7), kOk);
    ASSERT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle + 1; }));
    callSlot<void*>(destroyed, 3, 1u);
    EXPECT_TRUE(lumvo::test::eventually([&] { return lumvo::test::processThreadCount() == idle; }));
}

TEST_F(PluginAbi, OnlyParameterElevenOpensTheModerator) {
    object_ = create();
    ASSERT_NE(object_, nullptr);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 3), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 12), kOk);
    EXPECT_TRUE(host_.queries.empty());
    EXPECT_EQ(callSlot<std::int32_t>(object_, 4, 11), kOk);
    EXPECT_EQ(host_.queries, std::vector<std::string>{"get hwnd"});
}

TEST_F(PluginAbi, DeviceInitAsksTheVideoCallbacksForTheDirect3D11Device) {
    object_ = create();
    ASSERT_NE(object_, nullptr);
    int fakeDevice = 0;
    host_.device = &fakeDevice;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 10), kOk);
    EXPECT_EQ(callSlot<std::int32_t>(object_, 11), kOk);

    host_.device = nullptr;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 10), 1) << "no device";
    host_.device = &fakeDevice;
    host_.deviceResult = -1;
    EXPECT_EQ(callSlot<std::int32_t>(object_, 10), 1) << "the host refused";
    EXPECT_EQ(host_.deviceKinds, (std::vector<int>{3, 3, 3}));

    EXPECT_EQ(callSlot<std::int32_t>(object_, 9), kOk) << "draw";
}

}  // namespace
