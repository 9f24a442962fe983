#pragma once
// Keeps the plug-in's code mapped while one of its frames waits in a nested message loop (a
// confirmation box): the host may release the plug-in and unload the DLL from inside that loop,
// and the frame must still have code to return through. The pin is a reference on the module
// that holds this code; released normally it is dropped at once. When the host has let go of
// the plug-in under the loop, the pin may be the module's last reference, and dropping it here
// would unmap the code this thread is about to return into: then it is handed to a small thread
// that drops it only once this thread is back in a message loop outside our code.
#include <windows.h>

#include <functional>

namespace lumvo {

class ModulePin {
public:
    ModulePin() noexcept;
    ~ModulePin();
    ModulePin(const ModulePin&) = delete;
    ModulePin& operator=(const ModulePin&) = delete;

    // The owner of the loop is gone: drop the reference only after this thread has left our code.
    void releaseAfterUnwinding() noexcept { afterUnwinding_ = true; }

private:
    HMODULE module_ = nullptr;
    bool afterUnwinding_ = false;
};

// Runs `work` on a thread of its own that holds a reference on the module until it has left our
// code, so nobody need wait for it: the plug-in may be released and the DLL unloaded meanwhile.
// `work` must own everything it touches. False when no thread could be made (nothing ran).
bool runDetachedPinned(std::function<void()> work) noexcept;

// Keeps the module mapped for the rest of the process (a window of ours that cannot be destroyed
// still has its window procedure here).
void pinModuleForGood() noexcept;

}  // namespace lumvo
