#include "overlay/win/overlay_renderer.h"

#include <d3dcompiler.h>

#include <algorithm>
#include <cstring>

#include "overlay/win/gdiplus_canvas.h"
#include "overlay/win/text_engine.h"

namespace lumvo {
namespace {

// Written in the plainest HLSL (no helper functions, bit operations or intrinsics beyond Sample),
// which every runtime's compiler knows, Wine's among them. Four vertices of a triangle strip,
// from the vertex id alone: (0,0), (1,0), (0,1), (1,1); no vertex buffer, no input layout.
constexpr char kVertexShader[] = R"(
cbuffer CB : register(b0) { float4 rect; float alpha; float2 uvScale; float pad; };
struct VSOut { float4 pos : SV_POSITION; float2 uv : TEXCOORD0; };
VSOut main(uint id : SV_VertexID) {
    VSOut o;
    o.uv = float2(0.0, 0.0);
    if (id == 1) o.uv.x = 1.0;
    if (id == 3) o.uv.x = 1.0;
    if (id >= 2) o.uv.y = 1.0;
    o.pos = float4(rect.x + (rect.z - rect.x) * o.uv.x, rect.y + (rect.w - rect.y) * o.uv.y, 0.0, 1.0);
    o.uv = o.uv * uvScale;
    return o;
}
)";

// Straight alpha: only the texel's alpha is multiplied by the layer's.
constexpr char kPixelShader[] = R"(
cbuffer CB : register(b0) { float4 rect; float alpha; float2 uvScale; float pad; };
Texture2D tex : register(t0);
SamplerState smp : register(s0);
float4 main(float4 pos : SV_POSITION, float2 uv : TEXCOORD0) : SV_TARGET {
    float4 c = tex.Sample(smp, uv);
    c.a = c.a * alpha;
    return c;
}
)";

struct QuadConstants {
    float rect[4];  // x0, y0, x1, y1 in normalised device coordinates
    float alpha;
    float uvScale[2];  // the used part of the texture (1, 1: all of it)
    float pad;
};
static_assert(sizeof(QuadConstants) == 32);

// The error text of a failed compile is not shown anywhere: the overlay just does not draw.
ComPtr<ID3DBlob> compile(const char* source, size_t size, const char* profile) {
    ComPtr<ID3DBlob> code, errors;
    if (FAILED(D3DCompile(source, size, nullptr, nullptr, nullptr, "main", profile, 0, 0, &code, &errors)))
        return nullptr;
    return code;
}

template <class Shader, class Get>
void saveStage(HostPipelineState::Stage<Shader>& stage, Get get) {
    ID3D11ClassInstance* instances[HostPipelineState::kMaxClassInstances] = {};
    stage.instanceCount = HostPipelineState::kMaxClassInstances;
    get(stage.shader.ReleaseAndGetAddressOf(), instances, &stage.instanceCount);
    if (stage.instanceCount > HostPipelineState::kMaxClassInstances) stage.instanceCount = 0;
    for (UINT i = 0; i < stage.instanceCount; ++i) stage.instances[i].Attach(instances[i]);
}

template <class Shader, class Set>
void restoreStage(HostPipelineState::Stage<Shader>& stage, Set set) {
    ID3D11ClassInstance* instances[HostPipelineState::kMaxClassInstances] = {};
    for (UINT i = 0; i < stage.instanceCount; ++i) instances[i] = stage.instances[i].Get();
    set(stage.shader.Get(), stage.instanceCount ? instances : nullptr, stage.instanceCount);
    stage.shader.Reset();
    for (UINT i = 0; i < stage.instanceCount; ++i) stage.instances[i].Reset();
    stage.instanceCount = 0;
}

}  // namespace

void HostPipelineState::save(ID3D11DeviceContext* c) {
    saveStage(vertex, [c](auto... a) { c->VSGetShader(a...); });
    saveStage(hull, [c](auto... a) { c->HSGetShader(a...); });
    saveStage(domain, [c](auto... a) { c->DSGetShader(a...); });
    saveStage(geometry, [c](auto... a) { c->GSGetShader(a...); });
    saveStage(pixel, [c](auto... a) { c->PSGetShader(a...); });
    c->OMGetBlendState(blend.ReleaseAndGetAddressOf(), blendFactor, &sampleMask);
    c->OMGetDepthStencilState(depthStencil.ReleaseAndGetAddressOf(), &stencilRef);
    c->RSGetState(raster.ReleaseAndGetAddressOf());
    c->PSGetShaderResources(0, 1, pixelResource.ReleaseAndGetAddressOf());
    c->PSGetSamplers(0, 1, pixelSampler.ReleaseAndGetAddressOf());
    c->PSGetConstantBuffers(0, 1, pixelConstants.ReleaseAndGetAddressOf());
    c->VSGetConstantBuffers(0, 1, vertexConstants.ReleaseAndGetAddressOf());
    c->IAGetPrimitiveTopology(&topology);
    c->IAGetInputLayout(inputLayout.ReleaseAndGetAddressOf());
}

void HostPipelineState::restore(ID3D11DeviceContext* c) {
    restoreStage(vertex, [c](auto... a) { c->VSSetShader(a...); });
    restoreStage(hull, [c](auto... a) { c->HSSetShader(a...); });
    restoreStage(domain, [c](auto... a) { c->DSSetShader(a...); });
    restoreStage(geometry, [c](auto... a) { c->GSSetShader(a...); });
    restoreStage(pixel, [c](auto... a) { c->PSSetShader(a...); });
    c->OMSetBlendState(blend.Get(), blendFactor, sampleMask);
    c->OMSetDepthStencilState(depthStencil.Get(), stencilRef);
    c->RSSetState(raster.Get());
    ID3D11ShaderResourceView* resource = pixelResource.Get();
    c->PSSetShaderResources(0, 1, &resource);
    ID3D11SamplerState* sampler = pixelSampler.Get();
    c->PSSetSamplers(0, 1, &sampler);
    ID3D11Buffer* buffer = pixelConstants.Get();
    c->PSSetConstantBuffers(0, 1, &buffer);
    buffer = vertexConstants.Get();
    c->VSSetConstantBuffers(0, 1, &buffer);
    c->IASetPrimitiveTopology(topology);
    c->IASetInputLayout(inputLayout.Get());
    // Let go of every reference the Get calls added.
    blend.Reset();
    depthStencil.Reset();
    raster.Reset();
    pixelResource.Reset();
    pixelSampler.Reset();
    pixelConstants.Reset();
    vertexConstants.Reset();
    inputLayout.Reset();
}

OverlayRenderer::OverlayRenderer() = default;

OverlayRenderer::~OverlayRenderer() { shutdown(); }

bool OverlayRenderer::initialise(ID3D11Device* device) {
    shutdown();
    if (!device) return false;
    device_ = device;

    ComPtr<ID3DBlob> vertexCode = compile(kVertexShader, sizeof kVertexShader - 1, "vs_5_0");
    if (!vertexCode) return false;
    ComPtr<ID3DBlob> pixelCode = compile(kPixelShader, sizeof kPixelShader - 1, "ps_5_0");
    if (!pixelCode) return false;
    if (FAILED(device->CreateVertexShader(vertexCode->GetBufferPointer(), vertexCode->GetBufferSize(), nullptr,
                                          &vertexShader_)) ||
        FAILED(device->CreatePixelShader(pixelCode->GetBufferPointer(), pixelCode->GetBufferSize(), nullptr,
                                         &pixelShader_))) {
        vertexShader_.Reset();
        pixelShader_.Reset();
        return false;
    }

    D3D11_BUFFER_DESC constants{};
    constants.ByteWidth = sizeof(QuadConstants);
    constants.Usage = D3D11_USAGE_DYNAMIC;
    constants.BindFlags = D3D11_BIND_CONSTANT_BUFFER;
    constants.CPUAccessFlags = D3D11_CPU_ACCESS_WRITE;

    // Straight-alpha "over".
    D3D11_BLEND_DESC blend{};
    blend.RenderTarget[0].BlendEnable = TRUE;
    blend.RenderTarget[0].SrcBlend = D3D11_BLEND_SRC_ALPHA;
    blend.RenderTarget[0].DestBlend = D3D11_BLEND_INV_SRC_ALPHA;
    blend.RenderTarget[0].BlendOp = D3D11_BLEND_OP_ADD;
    blend.RenderTarget[0].SrcBlendAlpha = D3D11_BLEND_ONE;
    blend.RenderTarget[0].DestBlendAlpha = D3D11_BLEND_INV_SRC_ALPHA;
    blend.RenderTarget[0].BlendOpAlpha = D3D11_BLEND_OP_ADD;
    blend.RenderTarget[0].RenderTargetWriteMask = D3D11_COLOR_WRITE_ENABLE_ALL;

    const D3D11_DEPTH_STENCIL_DESC depthStencil{};  // depth test, depth writes and stencil off

    D3D11_RASTERIZER_DESC raster{};
    raster.FillMode = D3D11_FILL_SOLID;
    raster.CullMode = D3D11_CULL_NONE;
    raster.DepthClipEnable = TRUE;

    D3D11_SAMPLER_DESC sampler{};
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_LINEAR;
    sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_CLAMP;

    if (FAILED(device->CreateBuffer(&constants, nullptr, &constants_)) ||
        FAILED(device->CreateBlendState(&blend, &blend_)) ||
        FAILED(device->CreateDepthStencilState(&depthStencil, &depthStencil_)) ||
        FAILED(device->CreateRasterizerState(&raster, &raster_)) ||
        FAILED(device->CreateSamplerState(&sampler, &sampler_))) {
        return false;
    }
    return true;
}

void OverlayRenderer::shutdown() {
    frameContext_.Reset();
    overlayBound_ = false;
    for (OverlayTexture& t : textures_) releaseTexture(t);
    for (auto& surface : surfaces_) surface.reset();
    for (auto& surface : stillSurfaces_) surface.reset();
    for (std::string& key : stillKeys_) key.clear();
    kept_.clear();
    sampler_.Reset();
    raster_.Reset();
    depthStencil_.Reset();
    blend_.Reset();
    constants_.Reset();
    pixelShader_.Reset();
    vertexShader_.Reset();
    device_.Reset();
    releaseTextEngine();
}

void OverlayRenderer::releaseTexture(OverlayTexture& t) {
    t.view.Reset();
    t.texture.Reset();
    t.width = t.height = 0;
    t.usedWidth = t.usedHeight = 0;
    t.cacheKey.clear();
}

bool OverlayRenderer::ensureTexture(LayerSlot slot, int width, int height) {
    OverlayTexture& t = textures_[index(slot)];
    if (t.texture && width >= 1 && height >= 1 && t.width == static_cast<std::uint32_t>(width) &&
        t.height == static_cast<std::uint32_t>(height)) {
        return true;
    }
    releaseTexture(t);
    if (width < 1 || height < 1 || !device_) return false;
    D3D11_TEXTURE2D_DESC desc{};
    desc.Width = static_cast<UINT>(width);
    desc.Height = static_cast<UINT>(height);
    desc.MipLevels = 1;
    desc.ArraySize = 1;
    desc.Format = DXGI_FORMAT_B8G8R8A8_UNORM;
    desc.SampleDesc.Count = 1;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    if (FAILED(device_->CreateTexture2D(&desc, nullptr, &t.texture)) ||
        FAILED(device_->CreateShaderResourceView(t.texture.Get(), nullptr, &t.view))) {
        releaseTexture(t);
        return false;
    }
    t.width = t.usedWidth = desc.Width;
    t.height = t.usedHeight = desc.Height;
    return true;
}

bool OverlayRenderer::upload(LayerSlot slot, const void* pixels, UINT rowPitch) {
    OverlayTexture& t = textures_[index(slot)];
    if (!t.texture || !device_ || !pixels) return false;
    ComPtr<ID3D11DeviceContext> context;
    device_->GetImmediateContext(&context);
    if (!context) return false;
    // Only the used part: the rest of a shared flame texture is never sampled.
    const D3D11_BOX used{0, 0, 0, t.usedWidth, t.usedHeight, 1};
    context->UpdateSubresource(t.texture.Get(), 0, &used, pixels, rowPitch, 0);
    ++uploads_[index(slot)];
    pixelsUploaded_ += static_cast<std::uint64_t>(t.usedWidth) * t.usedHeight;
    return true;
}

void OverlayRenderer::drawQuad(ID3D11DeviceContext* context, LayerSlot slot, float x, float y, float w, float h,
                               float targetWidth, float targetHeight, float alpha) {
    const OverlayTexture& t = textures_[index(slot)];
    if (!context || !t.view || !(w > 1.0f) || !(h > 1.0f) || !(targetWidth >= 1.0f) || !(targetHeight >= 1.0f)) return;
    D3D11_MAPPED_SUBRESOURCE mapped{};
    // A failed map leaves the previous constants; the quad is still drawn.
    if (SUCCEEDED(context->Map(constants_.Get(), 0, D3D11_MAP_WRITE_DISCARD, 0, &mapped))) {
        const QuadConstants q{{2.0f * x / targetWidth - 1.0f, 1.0f - 2.0f * y / targetHeight,
                               2.0f * (x + w) / targetWidth - 1.0f, 1.0f - 2.0f * (y + h) / targetHeight},
                              alpha,
                              {static_cast<float>(t.usedWidth) / static_cast<float>(t.width),
                               static_cast<float>(t.usedHeight) / static_cast<float>(t.height)},
                              0.0f};
        std::memcpy(mapped.pData, &q, sizeof q);
        context->Unmap(constants_.Get(), 0);
    }
    ID3D11ShaderResourceView* view = t.view.Get();
    context->PSSetShaderResources(0, 1, &view);
    context->Draw(4, 0);
}

void OverlayRenderer::beginOverlay(ID3D11DeviceContext* c) {
    saved_.save(c);
    c->IASetInputLayout(nullptr);
    c->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP);
    c->VSSetShader(vertexShader_.Get(), nullptr, 0);
    c->HSSetShader(nullptr, nullptr, 0);
    c->DSSetShader(nullptr, nullptr, 0);
    c->GSSetShader(nullptr, nullptr, 0);
    c->PSSetShader(pixelShader_.Get(), nullptr, 0);
    ID3D11Buffer* constants = constants_.Get();
    c->VSSetConstantBuffers(0, 1, &constants);
    c->PSSetConstantBuffers(0, 1, &constants);
    ID3D11SamplerState* sampler = sampler_.Get();
    c->PSSetSamplers(0, 1, &sampler);
    c->OMSetBlendState(blend_.Get(), nullptr, 0xFFFFFFFFu);
    c->OMSetDepthStencilState(depthStencil_.Get(), 0);
    c->RSSetState(raster_.Get());
}

void OverlayRenderer::endOverlay(ID3D11DeviceContext* c) { saved_.restore(c); }

bool OverlayRenderer::beginFrame(int width, int height) {
    endFrame();  // a frame left open by its caller is closed first
    if (!device_ && deviceSource_) {
        if (ID3D11Device* device = deviceSource_()) initialise(device);
    }
    if (!ready() || width < 1 || height < 1) return false;
    device_->GetImmediateContext(&frameContext_);
    targetWidth_ = static_cast<float>(width);
    targetHeight_ = static_cast<float>(height);
    return frameContext_ != nullptr;
}

bool OverlayRenderer::paintLayer(LayerSlot slot, int width, int height, std::string_view contentKey,
                                 const LayerPainter& paint) {
    return paintSlot(slot, width, height, contentKey, paint, nullptr);
}

bool OverlayRenderer::paintLayerOver(LayerSlot slot, int width, int height, std::string_view stillKey,
                                     const LayerPainter& still, std::string_view contentKey,
                                     const LayerPainter& moving) {
    try {
        std::string key(stillKey);
        key += '\n';
        key += contentKey;
        const OverlayTexture& t = textures_[index(slot)];
        if (t.texture && t.usedWidth == static_cast<std::uint32_t>(width) &&
            t.usedHeight == static_cast<std::uint32_t>(height) && t.cacheKey == key) {
            return true;
        }
        if (width < 1 || height < 1) return false;
        std::unique_ptr<CardSurface>& base = stillSurfaces_[index(slot)];
        if (!base) base = std::make_unique<CardSurface>();
        std::string& baseKey = stillKeys_[index(slot)];
        if (baseKey != stillKey || base->width() != width || base->height() != height) {
            baseKey.clear();
            if (!base->paint(width, height, still)) return false;
            baseKey.assign(stillKey);
        }
        return paintSlot(slot, width, height, key, moving, base.get());
    } catch (...) {
        return false;
    }
}

bool OverlayRenderer::paintSlot(LayerSlot slot, int width, int height, std::string_view contentKey,
                                const LayerPainter& paint, CardSurface* base) {
    try {
        OverlayTexture& t = textures_[index(slot)];
        if (t.texture && t.usedWidth == static_cast<std::uint32_t>(width) &&
            t.usedHeight == static_cast<std::uint32_t>(height) && t.cacheKey == contentKey) {
            return true;
        }
        if (width < 1 || height < 1) return false;
        // The flame slot keeps a texture that holds both of its sizes; every other layer's is
        // exactly its picture's size.
        int textureW = width, textureH = height;
        if (slot == LayerSlot::flames && t.texture) {
            textureW = std::max(textureW, static_cast<int>(t.width));
            textureH = std::max(textureH, static_cast<int>(t.height));
        }
        if (!ensureTexture(slot, textureW, textureH)) return false;
        t.usedWidth = static_cast<std::uint32_t>(width);
        t.usedHeight = static_cast<std::uint32_t>(height);
        std::unique_ptr<CardSurface>& surface = surfaces_[index(slot)];
        if (!surface) surface = std::make_unique<CardSurface>();
        if (!surface->paint(textureW, textureH, paint, base)) return false;
        const bool uploaded = surface->readPixels([&](const void* pixels, int rowPitch) {
            return rowPitch > 0 && upload(slot, pixels, static_cast<UINT>(rowPitch));
        });
        if (!uploaded) return false;
        t.cacheKey.assign(contentKey);
        return true;
    } catch (...) {
        return false;  // a card that cannot be painted is tried again on the next frame
    }
}

void OverlayRenderer::drawLayer(LayerSlot slot, const RectF& rect, float alpha) {
    if (!frameContext_ || !textures_[index(slot)].view || !(rect.w > 1.0f) || !(rect.h > 1.0f)) return;
    if (!overlayBound_) {
        beginOverlay(frameContext_.Get());
        overlayBound_ = true;
    }
    drawQuad(frameContext_.Get(), slot, rect.x, rect.y, rect.w, rect.h, targetWidth_, targetHeight_, alpha);
}

const CanvasImage* OverlayRenderer::keptPicture(std::string_view name, bool remake, const PictureMaker& make) {
    auto it = kept_.find(name);
    if (it != kept_.end() && (it->second || !remake)) return it->second.get();
    std::unique_ptr<CanvasImage> picture = make ? make() : nullptr;
    ++picturesMade_;
    if (it == kept_.end()) it = kept_.emplace(std::string(name), nullptr).first;
    it->second = std::move(picture);
    return it->second.get();
}

void OverlayRenderer::endFrame() {
    if (overlayBound_ && frameContext_) endOverlay(frameContext_.Get());
    overlayBound_ = false;
    frameContext_.Reset();
}

}  // namespace lumvo
