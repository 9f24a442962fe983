#pragma once
// The stand-in host's video output: a Direct3D 11 device, a render target of the output size and
// a moving test picture (scrolling colour bars, a sweeping gradient band and a bouncing square)
// drawn into it by a small shader, as the host draws the deck video before the effect's draw.
#include <d3d11.h>

#include <cstdint>
#include <string>
#include <vector>

namespace standin {

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

    // Draws the test picture for time `seconds` and leaves the target bound for the effect.
    void drawFrame(double seconds);
    // Shows the target in the window, if one is attached.
    void present();
    // Reads the target back: BGRA rows of width * 4 bytes.
    bool readPixels(std::vector<std::uint8_t>& bgra);

    ID3D11Device* device() const { return device_; }
    ID3D11DeviceContext* context() const { return context_; }
    D3D_FEATURE_LEVEL featureLevel() const { return level_; }
    int width() const { return width_; }
    int height() const { return height_; }

private:
    int width_ = 0, height_ = 0;
    D3D_FEATURE_LEVEL level_{};
    ID3D11Device* device_ = nullptr;
    ID3D11DeviceContext* context_ = nullptr;
    ID3D11Texture2D* target_ = nullptr;
    ID3D11RenderTargetView* targetView_ = nullptr;
    ID3D11Texture2D* staging_ = nullptr;
    ID3D11VertexShader* vertexShader_ = nullptr;
    ID3D11PixelShader* pixelShader_ = nullptr;
    ID3D11Buffer* constants_ = nullptr;
    IDXGISwapChain* swapChain_ = nullptr;
    ID3D11Texture2D* backBuffer_ = nullptr;
};

}  // namespace standin
