#pragma once
// The overlay's GPU side on the host's Direct3D 11 device: two shaders compiled at run time, the
// fixed states, one texture per layer, and the quad draw that puts a layer over the host's video.
// Everything is drawn into the render target and viewport the host has bound when it calls the
// draw slot; the host's pipeline state is saved into one record before the overlay and restored
// from it after (HostPipelineState).
//
// Render thread only (the device slots and the draw slot). Every object is made once and kept:
// shaders, states and the constant buffer by initialise, a layer's texture and its GDI+ surface
// (two for a layer painted in a still and a moving part) the first time the layer is painted at a
// size (and again only when the size changes); shutdown releases them all, and the text engine's
// shared objects with them.
#include <d3d11.h>
#include <wrl/client.h>

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "overlay/layer_target.h"

namespace lumvo {

using Microsoft::WRL::ComPtr;
class CardSurface;

// One layer's GPU picture.
struct OverlayTexture {
    ComPtr<ID3D11Texture2D> texture;  // B8G8R8A8_UNORM, one mip level, shader resource only
    ComPtr<ID3D11ShaderResourceView> view;
    std::uint32_t width = 0, height = 0;  // 0 while there is no texture
    // The part the last paint used, from the top left: the whole texture, except in the flame
    // slot, whose texture the feed's and the featured card's flames share at their two sizes (it
    // grows to hold the larger, so it is not made anew twice a frame).
    std::uint32_t usedWidth = 0, usedHeight = 0;
    std::string cacheKey;  // the content key the pixels were painted from
};

// The pieces of the host's pipeline state the overlay binds, saved before it and put back after.
// Beyond the shaders the overlay uses, the geometry, hull and domain shaders are saved and
// unbound too (a host's geometry shader would otherwise run on the overlay's quads), and every
// shader's class instances with it. Not touched, so not saved: render targets, viewports,
// scissor rectangles, vertex and index buffers, the compute stage, stream output.
struct HostPipelineState {
    static constexpr UINT kMaxClassInstances = 256;  // more than a stage can hold (253)
    template <class Shader>
    struct Stage {
        ComPtr<Shader> shader;
        ComPtr<ID3D11ClassInstance> instances[kMaxClassInstances];
        UINT instanceCount = 0;
    };
    Stage<ID3D11VertexShader> vertex;
    Stage<ID3D11HullShader> hull;
    Stage<ID3D11DomainShader> domain;
    Stage<ID3D11GeometryShader> geometry;
    Stage<ID3D11PixelShader> pixel;
    ComPtr<ID3D11BlendState> blend;
    FLOAT blendFactor[4] = {};
    UINT sampleMask = 0;
    ComPtr<ID3D11DepthStencilState> depthStencil;
    UINT stencilRef = 0;
    ComPtr<ID3D11RasterizerState> raster;
    ComPtr<ID3D11ShaderResourceView> pixelResource;  // slot 0
    ComPtr<ID3D11SamplerState> pixelSampler;         // slot 0
    ComPtr<ID3D11Buffer> pixelConstants;             // slot 0
    ComPtr<ID3D11Buffer> vertexConstants;            // slot 0
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    ComPtr<ID3D11InputLayout> inputLayout;

    void save(ID3D11DeviceContext* context);
    // Binds everything saved back, then lets go of every reference.
    void restore(ID3D11DeviceContext* context);
};

class OverlayRenderer final : public LayerTarget {
public:
    // Asked for the host's device on every frame while there is none (the draw slot's retry).
    using DeviceSource = std::function<ID3D11Device*()>;

    OverlayRenderer();
    ~OverlayRenderer() override;
    OverlayRenderer(const OverlayRenderer&) = delete;
    OverlayRenderer& operator=(const OverlayRenderer&) = delete;

    // Releases whatever an earlier call made, takes a reference on `device` and makes the shaders,
    // the constant buffer and the states. True when all were made.
    bool initialise(ID3D11Device* device);
    // Releases the textures and their surfaces, the kept pictures, the states, buffer, shaders and
    // the device reference, then the text engine's shared objects (made again on their next use).
    void shutdown();
    // Whether there is a device with both shaders: the overlay can draw.
    bool ready() const { return device_ && vertexShader_ && pixelShader_; }
    ID3D11Device* device() const { return device_.Get(); }
    void setDeviceSource(DeviceSource source) { deviceSource_ = std::move(source); }

    // Keeps the slot's texture when it has exactly this size (true). Otherwise drops it (and the
    // key) and, for a size of at least 1 x 1, makes a new one; false when none could be made.
    bool ensureTexture(LayerSlot slot, int width, int height);
    // Puts 32-bit pixels (bytes B, G, R, A, straight alpha, rows `rowPitch` bytes apart) into the
    // whole of the slot's texture; false without a texture or device.
    bool upload(LayerSlot slot, const void* pixels, UINT rowPitch);
    // Draws the slot's texture over the pixel rectangle (x, y, w, h) of a target of
    // targetWidth x targetHeight, alpha 0..1 multiplied into the texel's. Nothing without a
    // texture, or when w or h is 1 pixel or less. Between beginOverlay and endOverlay.
    void drawQuad(ID3D11DeviceContext* context, LayerSlot slot, float x, float y, float w, float h, float targetWidth,
                  float targetHeight, float alpha);
    // Saves the host's pipeline state and binds the overlay's; endOverlay restores the host's.
    void beginOverlay(ID3D11DeviceContext* context);
    void endOverlay(ID3D11DeviceContext* context);

    // LayerTarget. beginFrame asks the device source for a device while there is none.
    bool beginFrame(int width, int height) override;
    bool paintLayer(LayerSlot slot, int width, int height, std::string_view contentKey,
                    const LayerPainter& paint) override;
    // The still part is kept in a second surface of the slot's; the moving part is painted over a
    // copy of its pixels.
    bool paintLayerOver(LayerSlot slot, int width, int height, std::string_view stillKey, const LayerPainter& still,
                        std::string_view contentKey, const LayerPainter& moving) override;
    void drawLayer(LayerSlot slot, const RectF& rect, float alpha) override;
    void endFrame() override;
    // The chase's emoji pictures live here: GDI+ bitmaps, released by shutdown (which the plug-in
    // runs before GDI+ ends) and made again on the next ask.
    const CanvasImage* keptPicture(std::string_view name, bool remake, const PictureMaker& make) override;
    // Pictures kept now (null ones for failed makes included) and made so far.
    std::size_t keptPictures() const { return kept_.size(); }
    std::uint64_t picturesMade() const { return picturesMade_; }

    const OverlayTexture& texture(LayerSlot slot) const { return textures_[index(slot)]; }
    // Uploads into the slot's texture so far (each one a repaint of the layer); any thread.
    std::uint64_t uploads(LayerSlot slot) const { return uploads_[index(slot)].load(); }
    // Pixels uploaded into all the textures so far; any thread.
    std::uint64_t pixelsUploaded() const { return pixelsUploaded_.load(); }

private:
    static std::size_t index(LayerSlot slot) { return static_cast<std::size_t>(slot); }
    void releaseTexture(OverlayTexture& texture);
    bool paintSlot(LayerSlot slot, int width, int height, std::string_view contentKey, const LayerPainter& paint,
                   CardSurface* base);

    ComPtr<ID3D11Device> device_;
    ComPtr<ID3D11VertexShader> vertexShader_;
    ComPtr<ID3D11PixelShader> pixelShader_;
    ComPtr<ID3D11Buffer> constants_;
    ComPtr<ID3D11BlendState> blend_;
    ComPtr<ID3D11DepthStencilState> depthStencil_;
    ComPtr<ID3D11RasterizerState> raster_;
    ComPtr<ID3D11SamplerState> sampler_;
    std::array<OverlayTexture, kLayerSlotCount> textures_;
    std::array<std::unique_ptr<CardSurface>, kLayerSlotCount> surfaces_;
    // The still parts of layers painted in two parts, and the keys they were painted from.
    std::array<std::unique_ptr<CardSurface>, kLayerSlotCount> stillSurfaces_;
    std::array<std::string, kLayerSlotCount> stillKeys_;
    std::array<std::atomic<std::uint64_t>, kLayerSlotCount> uploads_{};
    std::atomic<std::uint64_t> pixelsUploaded_{0};
    std::map<std::string, std::unique_ptr<CanvasImage>, std::less<>> kept_;
    std::uint64_t picturesMade_ = 0;

    DeviceSource deviceSource_;
    // The frame in progress: the immediate context, the target size, whether the overlay's state
    // is bound (it is bound by the first drawLayer, so a frame that draws nothing touches nothing).
    ComPtr<ID3D11DeviceContext> frameContext_;
    float targetWidth_ = 0, targetHeight_ = 0;
    bool overlayBound_ = false;
    HostPipelineState saved_;
};

}  // namespace lumvo
