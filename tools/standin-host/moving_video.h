#pragma once
// The stand-in host's video output: a Direct3D 11 device, a render target of the output size and
// a moving test picture (scrolling colour bars, a sweeping gradient band and a bouncing square)
// drawn into it by a small shader, as the host draws the deck video before the effect's draw.
#include <d3d11.h>
#include <wrl/client.h>

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

using Microsoft::WRL::ComPtr;

// Compiles one entry point of an HLSL source; null, with `error` saying why, when it does not.
ComPtr<ID3DBlob> compileShader(const char* source, size_t size, const char* entry, const char* target,
                               std::string& error);

class TestVideo {
public:
    TestVideo() = default;
    ~TestVideo();
    TestVideo(const TestVideo&) = delete;
    TestVideo& operator=(const TestVideo&) = delete;

    // Makes the device (hardware driver type), the target and the shaders; `error` says what failed.
    bool create(int width, int height, std::string& error);
    // When a window is given, frames are also shown in it through a swap chain.
    bool attachWindow(HWND window, std::string& error);

    // Draws the test picture for time `seconds` from a cleared pipeline state (whatever was bound
    // before does not matter) and leaves the target bound.
    void drawFrame(double seconds);
    // Waits until the GPU has done everything queued so far (an event query, polled).
    void finishGpuWork();
    // Shows the target in the window, if one is attached.
    void present();
    // Reads the target back: BGRA rows of width * 4 bytes.
    bool readPixels(std::vector<std::uint8_t>& bgra);

    ID3D11Device* device() const { return device_.Get(); }
    ID3D11DeviceContext* context() const { return context_.Get(); }
    ID3D11RenderTargetView* targetView() const { return targetView_.Get(); }
    D3D_FEATURE_LEVEL featureLevel() const { return level_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_ = 0, height_ = 0;
    D3D_FEATURE_LEVEL level_{};
    ComPtr<ID3D11Device> device_;
    ComPtr<ID3D11DeviceContext> context_;
    ComPtr<ID3D11Texture2D> target_;
    ComPtr<ID3D11RenderTargetView> targetView_;
    ComPtr<ID3D11Texture2D> staging_;
    ComPtr<ID3D11VertexShader> vertexShader_;
    ComPtr<ID3D11PixelShader> pixelShader_;
    ComPtr<ID3D11Buffer> constants_;
    ComPtr<ID3D11Query> finished_;
    ComPtr<IDXGISwapChain> swapChain_;
    ComPtr<ID3D11Texture2D> backBuffer_;
};

}  // namespace standin
