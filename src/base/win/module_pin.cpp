#include "base/win/module_pin.h"

#include <new>

namespace lumvo {
namespace {

HMODULE referenceOurModule(DWORD extraFlags) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | extraFlags,
                            reinterpret_cast<LPCWSTR>(&referenceOurModule), &module)) {
        return nullptr;
    }
    return module;
}

struct Handover {
    HMODULE module;
    HWND marker;  // a window of the unwinding thread whose procedure is the system's
};

// How long the handover waits for the unwinding thread to reach a message loop again. A thread
// stuck longer than this keeps the reference (the module stays mapped: safe, only not unloaded).
constexpr UINT kHandoverWaitMs = 30000;

DWORD WINAPI dropWhenUnwound(void* data) {
    const Handover handover = *static_cast<Handover*>(data);
    delete static_cast<Handover*>(data);
    // The marker's owner handles this sent message only from inside a message loop, which it
    // enters again only after it has returned out of our code; its procedure closes it.
    DWORD_PTR ignored = 0;
    const bool answered =
        SendMessageTimeoutW(handover.marker, WM_CLOSE, 0, 0, SMTO_NORMAL, kHandoverWaitMs, &ignored) != 0;
    // A thread that ended has left our code too, and its windows are gone with it.
    if (answered || !IsWindow(handover.marker)) FreeLibraryAndExitThread(handover.module, 0);
    return 0;
}

struct DetachedWork {
    HMODULE module;
    std::function<void()> work;
};

DWORD WINAPI runThenDrop(void* data) {
    auto* detached = static_cast<DetachedWork*>(data);
    const HMODULE module = detached->module;
    try {
        detached->work();
    } catch (...) {}
    delete detached;  // frees what the work owned, while our code is still mapped
    FreeLibraryAndExitThread(module, 0);
}

}  // namespace

bool runDetachedPinned(std::function<void()> work) noexcept {
    const HMODULE module = referenceOurModule(0);
    if (!module) return false;
    auto* detached = new (std::nothrow) DetachedWork{module, {}};
    if (detached) {
        try {
            detached->work = std::move(work);
        } catch (...) {
            delete detached;
            detached = nullptr;
        }
    }
    HANDLE thread = detached ? CreateThread(nullptr, 0, runThenDrop, detached, 0, nullptr) : nullptr;
    if (!thread) {
        delete detached;
        FreeLibrary(module);
        return false;
    }
    CloseHandle(thread);
    return true;
}

ModulePin::ModulePin() noexcept : module_(referenceOurModule(0)) {}

ModulePin::~ModulePin() {
    if (!module_) return;
    if (!afterUnwinding_) {
        FreeLibrary(module_);
        return;
    }
    const HWND marker = CreateWindowExW(0, L"STATIC", nullptr, 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, nullptr, nullptr);
    auto* handover = marker ? new (std::nothrow) Handover{module_, marker} : nullptr;
    HANDLE thread = handover ? CreateThread(nullptr, 0, dropWhenUnwound, handover, 0, nullptr) : nullptr;
    if (thread) {
        CloseHandle(thread);
        return;
    }
    // No way to hand it over: keep the reference rather than unmap the code under this frame.
    delete handover;
    if (marker) DestroyWindow(marker);
}

void pinModuleForGood() noexcept { referenceOurModule(GET_MODULE_HANDLE_EX_FLAG_PIN); }

}  // namespace lumvo
