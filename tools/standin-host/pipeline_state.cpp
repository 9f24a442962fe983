#include "pipeline_state.h"

#include <cstring>
#include <initializer_list>

#include "moving_video.h"

namespace standin {
namespace {

// The Get calls fill arrays of plain pointers, each with a reference added; the record takes them over.
template <class T, size_t N>
void adopt(ComPtr<T> (&owners)[N], T* (&raw)[N]) {
    for (size_t i = 0; i < N; ++i) owners[i].Attach(raw[i]);
}

template <class T, size_t N>
void borrow(const ComPtr<T> (&owners)[N], T* (&raw)[N]) {
    for (size_t i = 0; i < N; ++i) raw[i] = owners[i].Get();
}

using Context = ID3D11DeviceContext;

template <class GetViews, class GetSamplers, class GetBuffers>
void captureStage(Context* context, StageBindings& stage, GetViews getViews, GetSamplers getSamplers,
                  GetBuffers getBuffers) {
    ID3D11ShaderResourceView* views[kCoveredSlots] = {};
    ID3D11SamplerState* samplers[kCoveredSlots] = {};
    ID3D11Buffer* buffers[kCoveredSlots] = {};
    (context->*getViews)(0, kCoveredSlots, views);
    (context->*getSamplers)(0, kCoveredSlots, samplers);
    (context->*getBuffers)(0, kCoveredSlots, buffers);
    adopt(stage.resources, views);
    adopt(stage.samplers, samplers);
    adopt(stage.constantBuffers, buffers);
}

template <class SetViews, class SetSamplers, class SetBuffers>
void applyStage(Context* context, const StageBindings& stage, SetViews setViews, SetSamplers setSamplers,
                SetBuffers setBuffers) {
    ID3D11ShaderResourceView* views[kCoveredSlots];
    ID3D11SamplerState* samplers[kCoveredSlots];
    ID3D11Buffer* buffers[kCoveredSlots];
    borrow(stage.resources, views);
    borrow(stage.samplers, samplers);
    borrow(stage.constantBuffers, buffers);
    (context->*setViews)(0, kCoveredSlots, views);
    (context->*setSamplers)(0, kCoveredSlots, samplers);
    (context->*setBuffers)(0, kCoveredSlots, buffers);
}

// Collects the names of the pieces that differ.
struct Changes {
    std::vector<std::string> names;

    template <class T>
    void object(const ComPtr<T>& a, const ComPtr<T>& b, const std::string& name) {
        if (a.Get() != b.Get()) names.push_back(name);
    }
    template <class T, size_t N>
    void objects(const ComPtr<T> (&a)[N], const ComPtr<T> (&b)[N], const std::string& name) {
        for (size_t i = 0; i < N; ++i) object(a[i], b[i], name + " in slot " + std::to_string(i));
    }
    // Values compare by their bytes (a blend factor of NaN equals itself).
    template <class T>
    void value(const T& a, const T& b, const std::string& name) {
        if (std::memcmp(&a, &b, sizeof a) != 0) names.push_back(name);
    }
    void stage(const StageBindings& a, const StageBindings& b, const std::string& shader) {
        objects(a.resources, b.resources, "the " + shader + "'s resource view");
        objects(a.samplers, b.samplers, "the " + shader + "'s sampler");
        objects(a.constantBuffers, b.constantBuffers, "the " + shader + "'s constant buffer");
    }
};

}  // namespace

void PipelineState::capture(Context* context) {
    ID3D11RenderTargetView* targets[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT] = {};
    ID3D11DepthStencilView* depth = nullptr;
    context->OMGetRenderTargets(D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT, targets, &depth);
    adopt(renderTargets, targets);
    depthStencilView.Attach(depth);
    context->OMGetBlendState(&blendState, blendFactor, &sampleMask);
    context->OMGetDepthStencilState(&depthStencilState, &stencilRef);

    // With no array the calls give the number bound; with one they fill it and zero the rest.
    context->RSGetViewports(&viewportCount, nullptr);
    UINT n = kMaxViewports;
    context->RSGetViewports(&n, viewports);
    context->RSGetScissorRects(&scissorCount, nullptr);
    n = kMaxViewports;
    context->RSGetScissorRects(&n, scissorRects);
    context->RSGetState(&rasterizerState);

    context->IAGetInputLayout(&inputLayout);
    context->IAGetPrimitiveTopology(&topology);
    ID3D11Buffer* buffers[kCoveredSlots] = {};
    context->IAGetVertexBuffers(0, kCoveredSlots, buffers, vertexStrides, vertexOffsets);
    adopt(vertexBuffers, buffers);
    context->IAGetIndexBuffer(&indexBuffer, &indexFormat, &indexOffset);

    context->VSGetShader(&vertexShader, nullptr, nullptr);
    context->GSGetShader(&geometryShader, nullptr, nullptr);
    context->PSGetShader(&pixelShader, nullptr, nullptr);
    captureStage(context, vertexStage, &Context::VSGetShaderResources, &Context::VSGetSamplers,
                 &Context::VSGetConstantBuffers);
    captureStage(context, pixelStage, &Context::PSGetShaderResources, &Context::PSGetSamplers,
                 &Context::PSGetConstantBuffers);
}

void PipelineState::apply(Context* context) const {
    ID3D11RenderTargetView* targets[D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT];
    borrow(renderTargets, targets);
    context->OMSetRenderTargets(D3D11_SIMULTANEOUS_RENDER_TARGET_COUNT, targets, depthStencilView.Get());
    context->OMSetBlendState(blendState.Get(), blendFactor, sampleMask);
    context->OMSetDepthStencilState(depthStencilState.Get(), stencilRef);

    context->RSSetViewports(viewportCount, viewports);
    context->RSSetScissorRects(scissorCount, scissorRects);
    context->RSSetState(rasterizerState.Get());

    context->IASetInputLayout(inputLayout.Get());
    context->IASetPrimitiveTopology(topology);
    ID3D11Buffer* buffers[kCoveredSlots];
    borrow(vertexBuffers, buffers);
    context->IASetVertexBuffers(0, kCoveredSlots, buffers, vertexStrides, vertexOffsets);
    context->IASetIndexBuffer(indexBuffer.Get(), indexFormat, indexOffset);

    context->VSSetShader(vertexShader.Get(), nullptr, 0);
    context->GSSetShader(geometryShader.Get(), nullptr, 0);
    context->PSSetShader(pixelShader.Get(), nullptr, 0);
    applyStage(context, vertexStage, &Context::VSSetShaderResources, &Context::VSSetSamplers,
               &Context::VSSetConstantBuffers);
    applyStage(context, pixelStage, &Context::PSSetShaderResources, &Context::PSSetSamplers,
               &Context::PSSetConstantBuffers);
}

std::vector<std::string> changedPieces(const PipelineState& a, const PipelineState& b) {
    Changes c;
    c.objects(a.renderTargets, b.renderTargets, "the render target view");
    c.object(a.depthStencilView, b.depthStencilView, "the depth-stencil view");
    c.object(a.blendState, b.blendState, "the blend state");
    c.value(a.blendFactor, b.blendFactor, "the blend factor");
    c.value(a.sampleMask, b.sampleMask, "the sample mask");
    c.object(a.depthStencilState, b.depthStencilState, "the depth-stencil state");
    c.value(a.stencilRef, b.stencilRef, "the stencil reference");
    if (a.viewportCount != b.viewportCount || std::memcmp(a.viewports, b.viewports, sizeof a.viewports) != 0) {
        c.names.push_back("the viewports");
    }
    if (a.scissorCount != b.scissorCount || std::memcmp(a.scissorRects, b.scissorRects, sizeof a.scissorRects) != 0) {
        c.names.push_back("the scissor rectangles");
    }
    c.object(a.rasterizerState, b.rasterizerState, "the rasterizer state");
    c.object(a.inputLayout, b.inputLayout, "the input layout");
    c.value(a.topology, b.topology, "the primitive topology");
    c.objects(a.vertexBuffers, b.vertexBuffers, "the vertex buffer");
    for (UINT i = 0; i < kCoveredSlots; ++i) {
        c.value(a.vertexStrides[i], b.vertexStrides[i], "the vertex stride in slot " + std::to_string(i));
        c.value(a.vertexOffsets[i], b.vertexOffsets[i], "the vertex offset in slot " + std::to_string(i));
    }
    c.object(a.indexBuffer, b.indexBuffer, "the index buffer");
    c.value(a.indexFormat, b.indexFormat, "the index format");
    c.value(a.indexOffset, b.indexOffset, "the index offset");
    c.object(a.vertexShader, b.vertexShader, "the vertex shader");
    c.object(a.geometryShader, b.geometryShader, "the geometry shader");
    c.object(a.pixelShader, b.pixelShader, "the pixel shader");
    c.stage(a.vertexStage, b.vertexStage, "vertex shader");
    c.stage(a.pixelStage, b.pixelStage, "pixel shader");
    return c.names;
}

namespace {

// The host's shaders are never drawn with; they exist to be bound. The vertex shader's input
// gives the input layout its signature. The geometry shader is a stream-output one made from the
// vertex shader's code (Wine's HLSL compiler cannot compile geometry shaders).
constexpr char kHostShaders[] = R"(
float4 vsHost(float2 position : POSITION) : SV_Position { return float4(position, 0.0, 1.0); }
float4 psHost(float4 position : SV_Position) : SV_Target { return float4(1.0, 0.0, 1.0, 1.0); }
)";

bool madeAll(std::initializer_list<HRESULT> results) {
    for (HRESULT hr : results) {
        if (FAILED(hr)) return false;
    }
    return true;
}

ComPtr<ID3D11Buffer> makeBuffer(ID3D11Device* device, UINT size, UINT bind) {
    D3D11_BUFFER_DESC desc{};
    desc.ByteWidth = size;
    desc.Usage = D3D11_USAGE_DEFAULT;
    desc.BindFlags = bind;
    ComPtr<ID3D11Buffer> buffer;
    device->CreateBuffer(&desc, nullptr, &buffer);
    return buffer;
}

}  // namespace

bool makeHostState(ID3D11Device* device, ID3D11RenderTargetView* target, int width, int height, PipelineState& s,
                   std::string& error) {
    s = PipelineState{};
    s.renderTargets[0] = target;

    D3D11_TEXTURE2D_DESC depthDesc{};
    depthDesc.Width = static_cast<UINT>(width);
    depthDesc.Height = static_cast<UINT>(height);
    depthDesc.MipLevels = 1;
    depthDesc.ArraySize = 1;
    depthDesc.Format = DXGI_FORMAT_D24_UNORM_S8_UINT;
    depthDesc.SampleDesc.Count = 1;
    depthDesc.Usage = D3D11_USAGE_DEFAULT;
    depthDesc.BindFlags = D3D11_BIND_DEPTH_STENCIL;
    ComPtr<ID3D11Texture2D> depth;
    D3D11_TEXTURE2D_DESC textureDesc = depthDesc;
    textureDesc.Width = textureDesc.Height = 4;
    textureDesc.Format = DXGI_FORMAT_R8G8B8A8_UNORM;
    textureDesc.BindFlags = D3D11_BIND_SHADER_RESOURCE;
    ComPtr<ID3D11Texture2D> texture;
    ComPtr<ID3D11ShaderResourceView> textureView;

    // Blending on, with factors that give the unblended colour; the default has it off.
    D3D11_BLEND_DESC blend{};
    blend.RenderTarget[0] = {TRUE,
                             D3D11_BLEND_ONE,
                             D3D11_BLEND_ZERO,
                             D3D11_BLEND_OP_ADD,
                             D3D11_BLEND_ONE,
                             D3D11_BLEND_ZERO,
                             D3D11_BLEND_OP_ADD,
                             D3D11_COLOR_WRITE_ENABLE_ALL};
    // Depth off with an "always" test, stencil off; the default tests depth with "less".
    D3D11_DEPTH_STENCIL_DESC depthStencil{};
    depthStencil.DepthEnable = FALSE;
    depthStencil.DepthWriteMask = D3D11_DEPTH_WRITE_MASK_ZERO;
    depthStencil.DepthFunc = D3D11_COMPARISON_ALWAYS;
    depthStencil.StencilReadMask = depthStencil.StencilWriteMask = 0xFF;
    depthStencil.FrontFace = depthStencil.BackFace = {D3D11_STENCIL_OP_KEEP, D3D11_STENCIL_OP_KEEP,
                                                      D3D11_STENCIL_OP_KEEP, D3D11_COMPARISON_ALWAYS};
    // No culling, scissor on (with a full-frame rectangle); the default culls back faces.
    D3D11_RASTERIZER_DESC rasterizer{};
    rasterizer.FillMode = D3D11_FILL_SOLID;
    rasterizer.CullMode = D3D11_CULL_NONE;
    rasterizer.DepthClipEnable = TRUE;
    rasterizer.ScissorEnable = TRUE;
    D3D11_SAMPLER_DESC sampler{};
    sampler.Filter = D3D11_FILTER_MIN_MAG_MIP_POINT;
    sampler.AddressU = sampler.AddressV = sampler.AddressW = D3D11_TEXTURE_ADDRESS_WRAP;
    sampler.ComparisonFunc = D3D11_COMPARISON_NEVER;
    sampler.MaxLOD = D3D11_FLOAT32_MAX;
    ComPtr<ID3D11SamplerState> samplerState;

    if (!madeAll({device->CreateTexture2D(&depthDesc, nullptr, &depth),
                  device->CreateDepthStencilView(depth.Get(), nullptr, &s.depthStencilView),
                  device->CreateTexture2D(&textureDesc, nullptr, &texture),
                  device->CreateShaderResourceView(texture.Get(), nullptr, &textureView),
                  device->CreateBlendState(&blend, &s.blendState),
                  device->CreateDepthStencilState(&depthStencil, &s.depthStencilState),
                  device->CreateRasterizerState(&rasterizer, &s.rasterizerState),
                  device->CreateSamplerState(&sampler, &samplerState)})) {
        error = "cannot make the host's own state objects";
        return false;
    }
    s.blendFactor[0] = 0.25f;
    s.blendFactor[1] = 0.5f;
    s.blendFactor[2] = 0.75f;
    s.blendFactor[3] = 1.0f;
    s.sampleMask = 0x7FFFFFFF;  // sample 0 stays on, so drawing is not masked
    s.stencilRef = 0x5A;
    s.viewportCount = 1;
    s.viewports[0] = {0, 0, static_cast<float>(width), static_cast<float>(height), 0, 1};
    s.scissorCount = 1;
    s.scissorRects[0] = {0, 0, width, height};

    const ComPtr<ID3DBlob> vs = compileShader(kHostShaders, sizeof kHostShaders - 1, "vsHost", "vs_5_0", error);
    const ComPtr<ID3DBlob> ps =
        vs ? compileShader(kHostShaders, sizeof kHostShaders - 1, "psHost", "ps_5_0", error) : nullptr;
    if (!ps) return false;
    const D3D11_INPUT_ELEMENT_DESC position{"POSITION", 0, DXGI_FORMAT_R32G32_FLOAT, 0, 0, D3D11_INPUT_PER_VERTEX_DATA,
                                            0};
    const D3D11_SO_DECLARATION_ENTRY streamOut{0, "SV_Position", 0, 0, 4, 0};
    const UINT streamStride = 16;
    if (!madeAll(
            {device->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr, &s.vertexShader),
             device->CreateGeometryShaderWithStreamOutput(vs->GetBufferPointer(), vs->GetBufferSize(), &streamOut, 1,
                                                          &streamStride, 1, D3D11_SO_NO_RASTERIZED_STREAM, nullptr,
                                                          &s.geometryShader),
             device->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr, &s.pixelShader),
             device->CreateInputLayout(&position, 1, vs->GetBufferPointer(), vs->GetBufferSize(), &s.inputLayout)})) {
        error = "cannot make the host's shaders";
        return false;
    }
    s.topology = D3D11_PRIMITIVE_TOPOLOGY_TRIANGLESTRIP;
    s.vertexBuffers[0] = makeBuffer(device, 64, D3D11_BIND_VERTEX_BUFFER);
    s.vertexStrides[0] = 8;
    s.vertexOffsets[0] = 16;
    s.indexBuffer = makeBuffer(device, 32, D3D11_BIND_INDEX_BUFFER);
    s.indexFormat = DXGI_FORMAT_R16_UINT;
    s.indexOffset = 4;
    const ComPtr<ID3D11Buffer> constants = makeBuffer(device, 16, D3D11_BIND_CONSTANT_BUFFER);
    if (!s.vertexBuffers[0] || !s.indexBuffer || !constants) {
        error = "cannot make the host's buffers";
        return false;
    }
    for (StageBindings* stage : {&s.vertexStage, &s.pixelStage}) {
        stage->resources[0] = textureView;
        stage->samplers[0] = samplerState;
        stage->constantBuffers[0] = constants;
    }
    return true;
}

}  // namespace standin
