#include "moving_video.h"

#include <d3dcompiler.h>

#include <cstring>

namespace standin {
namespace {

// A full-screen triangle from the vertex id; the picture is computed per pixel.
constexpr char kShader[] = R"(
// Written with the plainest HLSL: no helper functions, arrays, ternaries or trigonometry, which
// the HLSL compiler of some runtimes (Wine's among them) does not know yet.
cbuffer Frame : register(b0) { float time; float width; float height; float pad; };

float4 vsMain(uint id : SV_VertexID) : SV_Position {
    // One triangle that covers the whole target.
    float4 p = float4(-1.0, 1.0, 0.0, 1.0);
    if (id == 1) p.x = 3.0;
    if (id == 2) p.y = -3.0;
    return p;
}

float4 psMain(float4 pos : SV_Position) : SV_Target {
    float u = pos.x / width;
    float v = pos.y / height;
    // Eight colour bars (white, yellow, cyan, green, magenta, red, blue, black) scrolling to the
    // left by one bar every two seconds.
    float shifted = u + time * 0.0625;
    shifted = shifted - floor(shifted);
    float bar = floor(shifted * 8.0);
    float barMod4 = bar - 4.0 * floor(bar / 4.0);
    float barMod2 = bar - 2.0 * floor(bar / 2.0);
    float4 colour = float4(0.0, 0.0, 0.0, 1.0);
    if (barMod4 < 1.5) colour.r = 0.75;
    if (bar < 3.5) colour.g = 0.75;
    if (barMod2 < 0.5) colour.b = 0.75;
    // A grey ramp band sweeping down the picture every five seconds.
    float band = time * 0.2 - floor(time * 0.2);
    if (abs(v - band) < 0.06) colour = float4(u, u, u, 1.0);
    // A white square bouncing between the edges (triangle waves in x and y).
    float sx = time * 0.23 - floor(time * 0.23 + 0.5);
    float sy = time * 0.17 - floor(time * 0.17 + 0.5);
    float cx = 0.1 + 0.8 * abs(2.0 * sx);
    float cy = 0.1 + 0.8 * abs(2.0 * sy);
    float dx = abs(u - cx) * width / height;
    float dy = abs(v - cy);
    if (dx < 0.05 && dy < 0.05) colour = float4(1.0, 1.0, 1.0, 1.0);
    return colour;
}
)";

struct FrameConstants {
    float time, width, height, pad;
};

}  // namespace

ComPtr<ID3DBlob> compileShader(const char* source, size_t size, const char* entry, const char* target,
                               std::string& error) {
    ComPtr<ID3DBlob> blob, messages;
    if (FAILED(D3DCompile(source, size, entry, nullptr, nullptr, entry, target, 0, 0, &blob, &messages))) {
        error = std::string("shader ") + entry + " did not compile";
        if (messages)
            error +=
                ": " + std::string(static_cast<const char*>(messages->GetBufferPointer()), messages->GetBufferSize());
        return nullptr;
    }
    return blob;
}

// The members release themselves, the device last; the context lets go of what is bound first.
TestVideo::~TestVideo() {
    if (context_) context_->ClearState();
}

bool TestVideo::create(int width, int height, std::string& error) {
    width_ = width;
    height_ = height;
    const D3D_FEATURE_LEVEL wanted[] = {D3D_FEATURE_LEVEL_11_1, D3D_FEATURE_LEVEL_11_0};
    HRESULT hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, wanted,
                                   2, D3D11_SDK_VERSION, &device_, &level_, &context_);
    if (hr == E_INVALIDARG) {  // runtimes without 11_1
        hr = D3D11CreateDevice(nullptr, D3D_DRIVER_TYPE_HARDWARE, nullptr, D3D11_CREATE_DEVICE_BGRA_SUPPORT, wanted + 1,
                               1, D3D11_SDK_VERSION, device_.ReleaseAndGetAddressOf(), &level_,
                               context_.ReleaseAndGetAddressOf());
    }
    if (FAILED(hr)) {
        error = "D3D11CreateDevice failed";
        return false;
    }
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_RENDER_TARGET | D3D11_BIND_SHADER_RESOURCE;
    if (FAILED(device_->CreateTexture2D(&desc, nullptr, &target_)) ||
        FAILED(device_->CreateRenderTargetView(target_.Get(), nullptr, &targetView_))) {
        error = "cannot make the render target";
        return false;
    }
    desc.Usage = D3D11_USAGE_STAGING;
    desc.BindFlags = 0;
    desc.CPUAccessFlags = D3D11_CPU_ACCESS_READ;
    if (FAILED(device_->CreateTexture2D(&desc, nullptr, &staging_))) {
        error = "cannot make the staging texture";
        return false;
    }
    const ComPtr<ID3DBlob> vs = compileShader(kShader, sizeof kShader - 1, "vsMain", "vs_5_0", error);
    const ComPtr<ID3DBlob> ps = vs ? compileShader(kShader, sizeof kShader - 1, "psMain", "ps_5_0", error) : nullptr;
    const bool made =
        ps &&
        SUCCEEDED(device_->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr, &vertexShader_)) &&
        SUCCEEDED(device_->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr, &pixelShader_));
    if (!made) {
        if (error.empty()) error = "cannot make the shaders";
        return false;
    }
    D3D11_BUFFER_DESC cb{};
    cb.ByteWidth = sizeof(FrameConstants);
    cb.Usage = D3D11_USAGE_DEFAULT;
    cb.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    if (FAILED(device_->CreateBuffer(&cb, nullptr, &constants_))) {
        error = "cannot make the constant buffer";
        return false;
    }
    const D3D11_QUERY_DESC query{D3D11_QUERY_EVENT, 0};
    if (FAILED(device_->CreateQuery(&query, &finished_))) {
        error = "cannot make the event query";
        return false;
    }
    return true;
}

bool TestVideo::attachWindow(HWND window, std::string& error) {
    ComPtr<IDXGIDevice> dxgiDevice;
    ComPtr<IDXGIAdapter> adapter;
    ComPtr<IDXGIFactory> factory;
    bool ok = SUCCEEDED(device_.As(&dxgiDevice)) && SUCCEEDED(dxgiDevice->GetAdapter(&adapter)) &&
              SUCCEEDED(adapter->GetParent(IID_PPV_ARGS(&factory)));
    if (ok) {
        DXGI_SWAP_CHAIN_DESC desc{};
        desc.BufferDesc.Width = static_cast<UINT>(width_);
        desc.BufferDesc.Height = static_cast<UINT>(height_);
        desc.BufferDesc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
        desc.SampleDesc.Count = 1;
        desc.BufferUsage = DXGI_USAGE_RENDER_TARGET_OUTPUT;
        desc.BufferCount = 1;
        desc.OutputWindow = window;
        desc.Windowed = TRUE;
        desc.SwapEffect = DXGI_SWAP_EFFECT_DISCARD;
        ok = SUCCEEDED(factory->CreateSwapChain(device_.Get(), &desc, &swapChain_)) &&
             SUCCEEDED(swapChain_->GetBuffer(0, IID_PPV_ARGS(&backBuffer_)));
    }
    if (!ok) {
        swapChain_.Reset();
        backBuffer_.Reset();
        error = "cannot make the window's swap chain";
    }
    return ok;
}

void TestVideo::drawFrame(double seconds) {
    const FrameConstants constants{static_cast<float>(seconds), static_cast<float>(width_), static_cast<float>(height_),
                                   0};
    context_->ClearState();
    context_->UpdateSubresource(constants_.Get(), 0, nullptr, &constants, 0, 0);
    D3D11_VIEWPORT viewport{0, 0, static_cast<float>(width_), static_cast<float>(height_), 0, 1};
    context_->RSSetViewports(1, &viewport);
    context_->OMSetRenderTargets(1, targetView_.GetAddressOf(), nullptr);
    context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
    context_->VSSetShader(vertexShader_.Get(), nullptr, 0);
    context_->PSSetShader(pixelShader_.Get(), nullptr, 0);
    context_->PSSetConstantBuffers(0, 1, constants_.GetAddressOf());
    context_->Draw(3, 0);
}

void TestVideo::finishGpuWork() {
    context_->End(finished_.Get());
    // Poll without giving up the processor for the first 1000 polls (well under a millisecond),
    // then yield between polls: yielding at once would round short waits up to a scheduler time
    // slice whenever other processes are busy.
    BOOL done = FALSE;
    for (int poll = 0; context_->GetData(finished_.Get(), &done, sizeof done, 0) == S_FALSE; ++poll) {
        if (poll < 1000) {
            YieldProcessor();
        } else {
            SwitchToThread();
        }
    }
}

void TestVideo::present() {
    if (!swapChain_) return;
    context_->CopyResource(backBuffer_.Get(), target_.Get());
    swapChain_->Present(0, 0);
}

bool TestVideo::readPixels(std::vector<std::uint8_t>& bgra) {
    context_->CopyResource(staging_.Get(), target_.Get());
    D3D11_MAPPED_SUBRESOURCE mapped{};
    if (FAILED(context_->Map(staging_.Get(), 0, D3D11_MAP_READ, 0, &mapped))) return false;
    const size_t row = static_cast<size_t>(width_) * 4;
    bgra.resize(row * height_);
    for (int y = 0; y < height_; ++y) {
        std::memcpy(bgra.data() + row * y,
                    static_cast<const std::uint8_t*>(mapped.pData) + static_cast<size_t>(mapped.RowPitch) * y, row);
    }
    context_->Unmap(staging_.Get(), 0);
    return true;
}

}  // namespace standin
