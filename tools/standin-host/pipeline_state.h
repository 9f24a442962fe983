#pragma once
// The Direct3D 11 pipeline state an effect's draw can disturb, as one record that is captured from
// a context, applied to one and compared. The stand-in host binds a record of its own objects
// before every call of the draw slot, captures the state before and after the call and reports
// every piece that differs.
//
// Covered: render target views (all eight) and the depth-stencil view; blend state, blend factor
// and sample mask; depth-stencil state and stencil reference; viewports and scissor rectangles;
// rasterizer state; input layout, primitive topology, vertex buffers with strides and offsets,
// index buffer with format and offset; vertex, geometry and pixel shaders; shader resource views,
// samplers and constant buffers of the vertex and pixel shaders. Slot arrays are covered in their
// first kCoveredSlots slots. Not covered: unordered-access views, hull, domain and compute
// shaders, stream-output targets, shader class instances.
#include <d3d11.h>
#include <wrl/client.h>

#include <string>
#include <vector>

namespace standin {

using Microsoft::WRL::ComPtr;

// Vertex-buffer, shader-resource, sampler and constant-buffer slots covered, from slot 0.
inline constexpr UINT kCoveredSlots = 4;
inline constexpr UINT kMaxViewports = D3D11_VIEWPORT_AND_SCISSORRECT_OBJECT_COUNT_PER_PIPELINE;

// One shader stage's bindings in its first slots.
struct StageBindings {
    ComPtr<ID3D11ShaderResourceView> resources[kCoveredSlots];
    ComPtr<ID3D11SamplerState> samplers[kCoveredSlots];
    ComPtr<ID3D11Buffer> constantBuffers[kCoveredSlots];
};

struct PipelineState {
    // Output merger.
    ComPtr<ID3D11RenderTargetView> renderTargets[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT];
    ComPtr<ID3D11DepthStencilView> depthStencilView;
    ComPtr<ID3D11BlendState> blendState;
    FLOAT blendFactor[4] = {};
    UINT sampleMask = 0;
    ComPtr<ID3D11DepthStencilState> depthStencilState;
    UINT stencilRef = 0;
    // Rasterizer. Entries past the count are zero.
    UINT viewportCount = 0;
    D3D11_VIEWPORT viewports[kMaxViewports] = {};
    UINT scissorCount = 0;
    D3D11_RECT scissorRects[kMaxViewports] = {};
    ComPtr<ID3D11RasterizerState> rasterizerState;
    // Input assembler.
    ComPtr<ID3D11InputLayout> inputLayout;
    D3D11_PRIMITIVE_TOPOLOGY topology = D3D11_PRIMITIVE_TOPOLOGY_UNDEFINED;
    ComPtr<ID3D11Buffer> vertexBuffers[kCoveredSlots];
    UINT vertexStrides[kCoveredSlots] = {};
    UINT vertexOffsets[kCoveredSlots] = {};
    ComPtr<ID3D11Buffer> indexBuffer;
    DXGI_FORMAT indexFormat = DXGI_FORMAT_UNKNOWN;
    UINT indexOffset = 0;
    // Shaders and what they read.
    ComPtr<ID3D11VertexShader> vertexShader;
    ComPtr<ID3D11GeometryShader> geometryShader;
    ComPtr<ID3D11PixelShader> pixelShader;
    StageBindings vertexStage;
    StageBindings pixelStage;

    // Reads every covered piece from the context; the record holds the references the Get calls add.
    void capture(ID3D11DeviceContext* context);
    // Binds every covered piece on the context.
    void apply(ID3D11DeviceContext* context) const;
};

// The pieces that differ between two records, in pipeline order, each named as in "the blend
// state" or "the pixel shader's sampler in slot 0"; empty when they agree. Objects compare by
// identity, everything else by value.
std::vector<std::string> changedPieces(const PipelineState& before, const PipelineState& after);

// The host's own state, bound before every draw: `target` and a depth-stencil buffer of the frame
// size, a full-frame viewport and scissor rectangle, and an object or a value other than the
// default in every other covered piece, in slot 0 of the slot arrays (distinct blend, depth-stencil, rasterizer and
// sampler objects, shaders, buffers and a texture), so that an effect that restores to nothing instead of to what it
// found is caught. Returns false, with `error` saying what, when something cannot be made.
bool makeHostState(ID3D11Device* device, ID3D11RenderTargetView* target, int width, int height, PipelineState& state,
                   std::string& error);

}  // namespace standin
