// A video effect that misbehaves on purpose, for the stand-in host's tests. Every draw keeps the
// GPU busy with a few full-frame passes and then puts back what it changed through the
// pipeline-state record, as a well-behaved effect would; in frames 2 to 9 it then disturbs the
// host's state the way a save-and-restore bug would (kFaults). The stand-in host must name every
// one of them and fail the run, and the busy passes must show in its draw times.
#include <windows.h>
#include <d3d11.h>

#include <cstring>
#include <new>
#include <string>

#include "moving_video.h"
#include "pipeline_state.h"
#include "plugin/host_interface.h"

namespace {

using standin::ComPtr;

// Full-frame passes per draw: enough GPU work to stand well above an empty draw.
constexpr int kBusyPasses = 4;

constexpr char kShaders[] = R"(
float4 vsFull(uint id : SV_VertexID) : SV_Position {
    float4 p = float4(-1.0, 1.0, 0.0, 1.0);
    if (id == 1) p.x = 3.0;
    if (id == 2) p.y = -3.0;
    return p;
}
float4 psFull(float4 pos : SV_Position) : SV_Target { return float4(pos.x / 1920.0, pos.y / 1080.0, 0.5, 1.0); }
)";

class MisbehavingEffect final : public vdj::VideoFxPlugin {
public:
    vdj::HostResult load() override { return vdj::kOk; }
    vdj::HostResult describe(vdj::PluginInfo* info) override {
        info->name = "Misbehaving test effect";
        info->author = "LUMVO tests";
        info->description = "changes the host's pipeline state on purpose";
        info->version = "1";
        info->bitmap = nullptr;
        info->flags = (info->flags & vdj::kInfoFlagExtendedRecord) | vdj::kInfoFlagOverlay;
        if (info->flags & vdj::kInfoFlagExtendedRecord) static_cast<vdj::PluginInfoEx*>(info)->mouseCallbacks = nullptr;
        return vdj::kOk;
    }
    vdj::HostRefCount release() override {
        scalarDeletingDestructor(1);
        return 0;
    }
    void* scalarDeletingDestructor(unsigned int flags) override {
        this->~MisbehavingEffect();
        if (flags & 1) ::operator delete(this);
        return this;
    }
    vdj::HostResult parameterChanged(int) override { return vdj::kOk; }
    vdj::HostResult parameterText(int, char*, int) override { return vdj::kOk; }
    vdj::HostResult userInterface(vdj::UserInterfaceInfo*) override { return vdj::kOk; }
    vdj::HostResult start() override { return vdj::kOk; }
    vdj::HostResult stop() override { return vdj::kOk; }
    vdj::HostResult audioSamples(float*, int) override { return vdj::kOk; }

    vdj::HostResult deviceInit() override {
        void* raw = nullptr;
        if (videoCallbacks->getDevice(vdj::kDeviceDirect3D11, &raw) != vdj::kOk || !raw) return vdj::kNotImplemented;
        ComPtr<ID3D11Device> device(static_cast<ID3D11Device*>(raw));
        device->GetImmediateContext(&context_);
        std::string error;
        const ComPtr<ID3DBlob> vs = standin::compileShader(kShaders, sizeof kShaders - 1, "vsFull", "vs_5_0", error);
        const ComPtr<ID3DBlob> ps = standin::compileShader(kShaders, sizeof kShaders - 1, "psFull", "ps_5_0", error);
        D3D11_BLEND_DESC blend{};
        blend.RenderTarget[0] = {TRUE,
                                 D3D11_BLEND_SRC_ALPHA,
                                 D3D11_BLEND_INV_SRC_ALPHA,
                                 D3D11_BLEND_OP_ADD,
                                 D3D11_BLEND_ONE,
                                 D3D11_BLEND_INV_SRC_ALPHA,
                                 D3D11_BLEND_OP_ADD,
                                 D3D11_COLOR_WRITE_ENABLE_ALL};
        const bool made =
            vs && ps &&
            SUCCEEDED(device->CreateVertexShader(vs->GetBufferPointer(), vs->GetBufferSize(), nullptr, &vs_)) &&
            SUCCEEDED(device->CreatePixelShader(ps->GetBufferPointer(), ps->GetBufferSize(), nullptr, &ps_)) &&
            SUCCEEDED(device->CreateBlendState(&blend, &ownBlend_));
        return made ? vdj::kOk : static_cast<vdj::HostResult>(E_FAIL);
    }

    vdj::HostResult deviceClose() override {
        ownBlend_.Reset();
        ps_.Reset();
        vs_.Reset();
        context_.Reset();
        return vdj::kOk;
    }

    vdj::HostResult draw() override {
        if (!context_) return static_cast<vdj::HostResult>(E_FAIL);
        ++frame_;
        standin::PipelineState saved;
        saved.capture(context_.Get());
        context_->IASetInputLayout(nullptr);
        context_->IASetPrimitiveTopology(D3D11_PRIMITIVE_TOPOLOGY_TRIANGLELIST);
        context_->VSSetShader(vs_.Get(), nullptr, 0);
        context_->GSSetShader(nullptr, nullptr, 0);
        context_->PSSetShader(ps_.Get(), nullptr, 0);
        for (int pass = 0; pass < kBusyPasses; ++pass) context_->Draw(3, 0);
        saved.apply(context_.Get());
        misbehave();
        return vdj::kOk;
    }

private:
    // The frame's fault; the host's test lists what each must be reported as.
    void misbehave() {
        ID3D11DeviceContext* c = context_.Get();
        switch (frame_) {
            case 2:  // its own blend state left bound
                c->OMSetBlendState(ownBlend_.Get(), nullptr, 0xFFFFFFFF);
                break;
            case 3:  // "restored" to the default instead of the host's object
                c->RSSetState(nullptr);
                break;
            case 4: {  // its own viewport left bound
                const D3D11_VIEWPORT half{0, 0, 960, 540, 0, 1};
                c->RSSetViewports(1, &half);
                break;
            }
            case 5: {  // the pixel shader's texture unbound
                ID3D11ShaderResourceView* none = nullptr;
                c->PSSetShaderResources(0, 1, &none);
                break;
            }
            case 6: {  // the host's blend state put back with another blend factor
                ComPtr<ID3D11BlendState> state;
                FLOAT factor[4];
                UINT mask = 0;
                c->OMGetBlendState(&state, factor, &mask);
                const FLOAT other[4] = {1, 1, 1, 1};
                c->OMSetBlendState(state.Get(), other, mask);
                break;
            }
            case 7: {  // the vertex buffer put back at another offset
                ComPtr<ID3D11Buffer> buffer;
                UINT stride = 0, offset = 0;
                c->IAGetVertexBuffers(0, 1, &buffer, &stride, &offset);
                offset += 8;
                ID3D11Buffer* raw = buffer.Get();
                c->IASetVertexBuffers(0, 1, &raw, &stride, &offset);
                break;
            }
            case 8:  // the host's targets unbound
                c->OMSetRenderTargets(0, nullptr, nullptr);
                break;
            case 9:  // the geometry shader "restored" to none
                c->GSSetShader(nullptr, nullptr, 0);
                break;
            default: break;
        }
    }

    int frame_ = 0;
    ComPtr<ID3D11DeviceContext> context_;
    ComPtr<ID3D11VertexShader> vs_;
    ComPtr<ID3D11PixelShader> ps_;
    ComPtr<ID3D11BlendState> ownBlend_;
};

bool sameId(REFGUID a, const vdj::HostGuid& b) { return std::memcmp(&a, &b, sizeof b) == 0; }

}  // namespace

extern "C" HRESULT WINAPI DllGetClassObject(REFCLSID classId, REFIID interfaceId, LPVOID* out) {
    if (!out || !sameId(classId, vdj::kPluginClassId) || !sameId(interfaceId, vdj::kVideoFxInterfaceId)) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    *out = static_cast<vdj::VideoFxPlugin*>(new (std::nothrow) MisbehavingEffect());
    return *out ? S_OK : E_OUTOFMEMORY;
}
