// The plug-in object from inside, through its records: what its slots do where the host cannot
// see it (frame size, the display-state copy, the moderator's owner and module, the song search
// for the moderator window), and the failure paths that need a seam (a worker that cannot be
// made, an allocation that fails).
#include <gtest/gtest.h>

#include <windows.h>

#include <cmath>
#include <cstring>
#include <new>
#include <system_error>
#include <thread>

#include "plugin/win/video_wall_plugin.h"
#include "test_support.h"

namespace {

using lumvo::VideoWallPlugin;

VideoWallPlugin* asPlugin(void* object) {
    return static_cast<VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(object));
}

// The host's members by their byte offsets in the object.
template <class T>
T& hostMember(VideoWallPlugin* plugin, std::size_t offset) {
    return *reinterpret_cast<T*>(reinterpret_cast<char*>(static_cast<vdj::VideoFxPlugin*>(plugin)) + offset);
}

class PluginObject : public ::testing::Test {
protected:
    void SetUp() override {
        // Made the way the factory makes it, so release() can free it.
        void* object = nullptr;
        ASSERT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &object), 0);
        plugin_ = asPlugin(object);
        plugin_->hostCallbacks = &host_;
        plugin_->videoCallbacks = &host_;
    }
    void TearDown() override {
        if (plugin_) plugin_->release();
    }
    lumvo::test::TempFolder data_;
    lumvo::test::ScopedEnvironment localAppData_{"LOCALAPPDATA", data_.path().c_str()};
    lumvo::test::FakeHost host_;
    VideoWallPlugin* plugin_ = nullptr;
};

TEST_F(PluginObject, DrawHandsTheHostFrameSizeAndTheSharedStateToTheOverlay) {
    // What the overlay does with them, and not while switched off, is tested natively.
    hostMember<std::int32_t>(plugin_, 40) = 3840;
    hostMember<std::int32_t>(plugin_, 44) = 2160;
    lumvo::DisplayDocument shown;
    shown.featuredId = "post-7";
    lumvo::FeedItem post;
    post.id = "post-7";
    post.text = "Happy birthday!";
    shown.feed.push_back(post);
    plugin_->display().publish(shown);
    EXPECT_EQ(plugin_->draw(), 0);
    const lumvo::Overlay& overlay = plugin_->overlay();
    EXPECT_EQ(overlay.lastFrameSize().width, 3840);
    EXPECT_EQ(overlay.lastFrameSize().height, 2160);
    EXPECT_EQ(overlay.frameState().featuredId, "post-7");
    ASSERT_EQ(overlay.frameState().feed.size(), 1u);
    EXPECT_EQ(overlay.frameState().feed[0].text, "Happy birthday!");
}

TEST_F(PluginObject, TheModeratorOwnerIsTheHostWindowAndTheModuleFallsBackToOurOwn) {
    // Beyond 2^63, so a signed conversion on the way would show.
    host_.windowNumber = std::ldexp(1.0, 63) + 65536.0;
    hostMember<void*>(plugin_, 8) = nullptr;  // no host instance: our own module is looked up
    EXPECT_EQ(plugin_->parameterChanged(11), 0);
    EXPECT_EQ(reinterpret_cast<std::uintptr_t>(plugin_->moderator().owner()), (std::uintptr_t{1} << 63) + 65536u);
    EXPECT_EQ(plugin_->moderator().module(), GetModuleHandleA(nullptr)) << "linked in, our own module is the program";

    host_.windowQueryResult = -1;
    hostMember<void*>(plugin_, 8) = reinterpret_cast<void*>(0x7FF00000);
    EXPECT_EQ(plugin_->parameterChanged(11), 0);
    EXPECT_EQ(plugin_->moderator().owner(), nullptr) << "a failed query gives no owner";
    EXPECT_EQ(plugin_->moderator().module(), reinterpret_cast<HMODULE>(0x7FF00000));
}

TEST_F(PluginObject, ASongSearchRunsOneHostScriptOnlyWhenTheCleanedTextLeavesSomethingToSearch) {
    EXPECT_TRUE(plugin_->searchSongs("Mr Brightside \xE2\x80\x93 'The Killers'"));
    EXPECT_FALSE(plugin_->searchSongs(" \"'` \xE2\x80\x94 "));
    EXPECT_EQ(host_.scripts, std::vector<std::string>{"browser_window 'songs' & search 'Mr Brightside The Killers'"});
    plugin_->hostCallbacks = nullptr;
    EXPECT_FALSE(plugin_->searchSongs("Hey Jude")) << "before the host filled its members";
}

std::thread refuseThreads(std::function<void()>) {
    throw std::system_error(std::make_error_code(std::errc::resource_unavailable_try_again));
}

TEST_F(PluginObject, AWorkerThatCannotBeMadeFailsStartQuietlyAndTheNextStartRetries) {
    plugin_->wallLink().setThreadLauncher(refuseThreads);
    EXPECT_EQ(plugin_->start(), lumvo::kHostFailed);
    EXPECT_FALSE(plugin_->wallLink().running());
    EXPECT_TRUE(host_.queries.empty()) << "a failed start opens nothing";

    plugin_->wallLink().setThreadLauncher(lumvo::WorkerThread::launchThread);
    EXPECT_EQ(plugin_->start(), 0);
    EXPECT_TRUE(plugin_->wallLink().attached());
    EXPECT_EQ(plugin_->stop(), 0);
    EXPECT_FALSE(plugin_->wallLink().attached());
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
    plugin->release();
}

}  // namespace
