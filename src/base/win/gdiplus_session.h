#pragma once
// GDI+ for the plug-in's life: started on first need (load or describe), shut down once when the
// owner goes. Everything that paints with GDI+ is released before it.
#include <windows.h>
#include <objidl.h>  // GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out
#include <gdiplus.h>

namespace lumvo {

class GdiplusSession {
public:
    GdiplusSession() = default;
    ~GdiplusSession() {
        if (token_) Gdiplus::GdiplusShutdown(token_);
    }
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    // Version 1, no debug callback, GDI+'s own background thread. True when running.
    bool start() {
        if (token_) return true;
        Gdiplus::GdiplusStartupInput input;
        ULONG_PTR token = 0;
        if (Gdiplus::GdiplusStartup(&token, &input, nullptr) != Gdiplus::Ok) return false;
        token_ = token;
        return true;
    }

private:
    ULONG_PTR token_ = 0;
};

}  // namespace lumvo
