#pragma once
// The stand-in host's window: where the frames are shown (unless hidden), and whose mouse events
// go to the plug-in's mouse callbacks in video frame pixels, the way the host's preview sends them.
#include <windows.h>

#include "plugin/host_interface.h"

namespace standin {

// What the window needs to forward mouse events; it must outlive the window.
struct WindowState {
    vdj::VideoMouseCallbacks* mouse = nullptr;  // none until the plug-in described itself
    int frameWidth = 1920;                      // the video frame the window shows
    int frameHeight = 1080;
    bool closed = false;  // the window's close button was pressed
};

// Makes the window, half the frame's size; null when that failed.
HWND makeWindow(bool hidden, WindowState* state);
// Handles the messages waiting for this thread; false once WM_QUIT arrived.
bool pumpMessages();

}  // namespace standin
