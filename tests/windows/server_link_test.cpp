// The wall server under the plug-in, with the real Windows node.exe (staged by the windows layer as
// the plug-in's private runtime): the real DLL starts the repo's wall server inside its job and
// ends it through the stop slot, and a hung one through the release slot; the stale-server rule on
// real processes, with the system's table of listeners; and a soak of trouble for the plug-in's
// link: the server killed under it and started again through the server control (as the moderator
// window's "ensure" will), then suspended for 3 s, while a render thread calls the draw slot at
// 60 fps; its time per call in the trouble is compared with the quiet phase's, and after each blow
// the plug-in must mirror a new post from the server again.
#include <gtest/gtest.h>

#include <winsock2.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <thread>
#include <vector>

#include "plugin/host_interface.h"
#include "plugin/win/video_wall_plugin.h"
#include "serverlink/win/server_process.h"
#include "wall_support.h"

namespace {

using namespace lumvo::test;
using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// A plug-in object from the real DLL, with a fake host.
vdj::VideoFxPlugin* createFromDll(FakeHost& host) {
    static HMODULE module = LoadLibraryA(pluginDllPath().c_str());
    using Factory = HRESULT(WINAPI*)(const vdj::HostGuid&, const vdj::HostGuid&, void**);
    auto factory = module
                       ? reinterpret_cast<Factory>(reinterpret_cast<void*>(GetProcAddress(module, "DllGetClassObject")))
                       : nullptr;
    void* object = nullptr;
    if (!factory || factory(vdj::kPluginClassId, vdj::kVideoFxInterfaceId, &object) != 0 || !object) return nullptr;
    auto* plugin = static_cast<vdj::VideoFxPlugin*>(object);
    plugin->hostCallbacks = &host;
    plugin->videoCallbacks = &host;
    return plugin;
}

TEST(PluginServer, ReleaseWithoutStopEndsAHungServerInItsJobInBoundedTime) {
    // (The stop slot ending the repo's wall server is the soak's last step.)
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    stageFixtureWall(data, "hung-server.js");
    FakeHost host;
    vdj::VideoFxPlugin* plugin = createFromDll(host);
    ASSERT_NE(plugin, nullptr);
    ASSERT_EQ(plugin->start(), 0);
    const bool up = waitForWallServer() >= 0;
    const DWORD pid = serverPidFile(data);
    HANDLE server = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
    BOOL inJob = FALSE;
    EXPECT_TRUE(server && IsProcessInJob(server, nullptr, &inJob) && inJob) << "no server in the job: " << pid;
    const auto before = Clock::now();
    plugin->release();  // the host may release without stopping
    const double releaseMs = msSince(before);
    ASSERT_TRUE(up) << "the server the plug-in started never answered";
    EXPECT_EQ(server ? WaitForSingleObject(server, 0) : WAIT_FAILED, WAIT_OBJECT_0) << "the server outlived release";
    if (server) CloseHandle(server);
    EXPECT_FALSE(fileExists(wallFolderUnder(data) + "\\server.pid"));
    EXPECT_TRUE(fileExists(wallFolderUnder(data) + "\\shutdown-received")) << "the plug-in never asked it to shut down";
    if (!processEnds(pid, 0)) terminateProcessById(pid);  // so the next test has the port
    std::printf("measured: a hung server (fixture) under Wine: release slot (without stop) %.0f ms\n", releaseMs);
    // The shutdown request's 400 ms, the 400 ms wait and at most 200 ms after the termination,
    // not the default 8 s time-out.
    EXPECT_LT(releaseMs, 2500);
}

TEST(StaleServer, APidFileEndsOnlyANodeProcessAndTheListenerTableIsRead) {
    TempFolder data;
    ScopedEnvironment localAppData("LOCALAPPDATA", data.path().c_str());
    const std::string wall = wallFolderUnder(data);
    makeFolders(wall);
    const std::string node = lumvo::findNode();
    ASSERT_NE(node.find("\\LUMVO\\runtime\\node\\node.exe"), std::string::npos)
        << "the plug-in's private runtime comes first (the windows layer stages it): '" << node << "'";

    HANDLE other = startProgram("C:\\windows\\system32\\notepad.exe");
    HANDLE sleeper = startProgram("\"" + node + "\" -e \"setTimeout(() => {}, 60000)\"");
    ASSERT_NE(other, nullptr);
    ASSERT_NE(sleeper, nullptr);
    Sleep(300);  // both under way

    writeBytes(wall + "\\server.pid", std::to_string(GetProcessId(other)) + "\n");
    lumvo::killStaleServer();
    EXPECT_EQ(WaitForSingleObject(other, 500), WAIT_TIMEOUT) << "a program other than node.exe was ended";
    EXPECT_FALSE(fileExists(wall + "\\server.pid"));

    writeBytes(wall + "\\server.pid", std::to_string(GetProcessId(sleeper)) + "\n");
    lumvo::killStaleServer();
    EXPECT_EQ(WaitForSingleObject(sleeper, 0), WAIT_OBJECT_0) << "the node.exe the pid file names still runs";

    writeBytes(wall + "\\server.pid", std::to_string(GetCurrentProcessId()) + "\n");
    lumvo::killStaleServer();  // names ourselves: we are still here to check

    TerminateProcess(other, 0);
    TerminateProcess(sleeper, 0);
    CloseHandle(other);
    CloseHandle(sleeper);

    // The listener table, as the port rule reads it: a socket of ours listening is in it. (Wine
    // reports every owner as process 0, so the owners are tested natively on rows.)
    WSADATA wsa;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &wsa), 0);
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    ASSERT_EQ(getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    lumvo::WinProcessTable table;
    const auto rows = table.tcpListeners();
    EXPECT_EQ(lumvo::portOwners(rows, ntohs(address.sin_port)).size(), 1u) << rows.size() << " listeners";
    closesocket(listener);
    WSACleanup();
}

double p95(std::vector<double> values) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    return values[(values.size() - 1) * 95 / 100];
}

// Suspends or resumes every thread of a process (ntdll's NtSuspendProcess / NtResumeProcess).
bool suspendProcess(DWORD pid, bool suspend) {
    using Call = LONG(NTAPI*)(HANDLE);
    auto call = reinterpret_cast<Call>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleA("ntdll.dll"), suspend ? "NtSuspendProcess" : "NtResumeProcess")));
    HANDLE process = OpenProcess(PROCESS_SUSPEND_RESUME, FALSE, pid);
    const bool ok = call && process && call(process) >= 0;
    if (process) CloseHandle(process);
    return ok;
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override {
        void* object = nullptr;
        ASSERT_EQ(lumvo::createVideoWallPlugin(&vdj::kPluginClassId, &vdj::kVideoFxInterfaceId, &object), 0);
        plugin_ = static_cast<lumvo::VideoWallPlugin*>(static_cast<vdj::VideoFxPlugin*>(object));
        plugin_->hostCallbacks = &host_;
        plugin_->videoCallbacks = &host_;
    }
    void TearDown() override {
        phase_ = Phase::done;
        if (drawer_.joinable()) drawer_.join();
        if (plugin_) plugin_->release();
    }

    // The render thread: the draw slot every 1/60 s, each call timed into the current phase.
    void startDrawing() {
        drawer_ = std::thread([this] {
            auto next = Clock::now();
            while (phase_ != Phase::done) {
                const auto start = Clock::now();
                plugin_->draw();
                const double ms = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
                if (phase_ == Phase::quiet) quietMs_.push_back(ms);
                if (phase_ == Phase::trouble) troubleMs_.push_back(ms);
                next += std::chrono::microseconds(16667);
                std::this_thread::sleep_until(next);
            }
        });
    }

    // Posts from the booth (live at once) and waits until the plug-in mirrors the post; the
    // milliseconds that took, or -1 after 15 s.
    double postAndSeeMirrored(const std::string& text) {
        const std::string id =
            lumvo::jsonGetString(wallPost("/api/booth-post", R"({"name":"Soak","text":")" + text + "\"}"), "id");
        if (id.empty()) return -1;
        const auto start = Clock::now();
        while (Clock::now() - start < std::chrono::seconds(15)) {
            const lumvo::DisplayDocument shown = plugin_->display().copy();
            for (const lumvo::FeedItem& item : shown.feed) {
                if (item.id == id) return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
            }
            Sleep(20);
        }
        return -1;
    }

    enum class Phase { warmUp, quiet, trouble, done };
    TempFolder data_;
    ScopedEnvironment localAppData_{"LOCALAPPDATA", data_.path().c_str()};
    FakeHost host_;
    lumvo::VideoWallPlugin* plugin_ = nullptr;
    std::atomic<Phase> phase_{Phase::warmUp};
    std::vector<double> quietMs_, troubleMs_;
    std::thread drawer_;
};

TEST_F(Soak, TheDrawSlotKeepsItsTimingWhileTheServerIsKilledAndStallsAndThePlugInPicksItUpAgain) {
    ASSERT_TRUE(wallGet("/api/display").empty()) << "something else answers on 127.0.0.1:8787";
    stageRealWall(data_);
    startDrawing();
    ASSERT_EQ(plugin_->start(), 0);
    const double upMs = waitForWallServer();
    ASSERT_GE(upMs, 0) << "the plug-in's worker did not start the wall server";

    phase_ = Phase::quiet;
    const auto quietStart = Clock::now();
    ASSERT_GE(postAndSeeMirrored("quiet"), 0);
    const DWORD first = plugin_->server().serverPid();
    plugin_->server().ensureServer();
    EXPECT_EQ(plugin_->server().serverPid(), first) << "a running server is kept";
    std::this_thread::sleep_until(quietStart + std::chrono::seconds(3));

    phase_ = Phase::trouble;
    std::vector<double> pickUpMs;
    const DWORD killed = plugin_->server().serverPid();
    terminateProcessById(killed);
    Sleep(1000);  // the poll meets a dead server
    plugin_->server().ensureServer();
    const DWORD started = plugin_->server().serverPid();
    EXPECT_NE(started, 0u);
    EXPECT_NE(started, killed);
    ASSERT_GE(waitForWallServer(), 0) << "not restarted";
    pickUpMs.push_back(postAndSeeMirrored("after the restart"));
    EXPECT_GE(pickUpMs.back(), 0) << "not picked up after the restart";
    const DWORD stalled = plugin_->server().serverPid();
    ASSERT_TRUE(suspendProcess(stalled, true)) << "cannot suspend the server";
    Sleep(3000);
    EXPECT_TRUE(wallGet("/api/display").empty()) << "a suspended server answered";
    suspendProcess(stalled, false);
    pickUpMs.push_back(postAndSeeMirrored("after the stall"));
    EXPECT_GE(pickUpMs.back(), 0) << "not picked up after the stall";
    EXPECT_EQ(plugin_->server().serverPid(), stalled) << "a stalled server is not restarted behind our back";

    phase_ = Phase::done;
    drawer_.join();
    const double quiet = p95(quietMs_), trouble = p95(troubleMs_);
    const double worst = troubleMs_.empty() ? 0 : *std::max_element(troubleMs_.begin(), troubleMs_.end());
    std::printf(
        "measured: soak under Wine (a restart, a 3 s stall): draw slot p95 %.4f ms in %zu calls vs %.4f ms in "
        "%zu quiet calls; max %.3f ms in the trouble\n",
        trouble, troubleMs_.size(), quiet, quietMs_.size(), worst);
    std::printf("measured: soak: a new post mirrored %.0f ms after the restart, %.0f ms after the stall\n", pickUpMs[0],
                pickUpMs[1]);
    // The draw slot never waits for the network: the display mutex is held only for copies.
    EXPECT_LT(trouble, quiet + 2.0);

    // The stop slot asks the server to shut down, and it is gone with its pid file at once.
    HANDLE server = OpenProcess(SYNCHRONIZE, FALSE, stalled);
    const auto before = Clock::now();
    EXPECT_EQ(plugin_->stop(), 0);
    const double stopMs = msSince(before);
    EXPECT_EQ(server ? WaitForSingleObject(server, 0) : WAIT_FAILED, WAIT_OBJECT_0) << "the server outlived stop";
    if (server) CloseHandle(server);
    EXPECT_FALSE(fileExists(wallFolderUnder(data_) + "\\server.pid"));
    EXPECT_LT(stopMs, 1500);
    std::printf("measured: the repo's wall server under Wine: start slot until it answers %.0f ms, stop slot %.0f ms\n",
                upMs, stopMs);
}

}  // namespace
