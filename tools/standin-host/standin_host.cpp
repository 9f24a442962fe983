#include "standin_host.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

namespace standin {
namespace {
constexpr vdj::HostResult kFail = static_cast<vdj::HostResult>(0x80004005u);
constexpr vdj::HostResult kNotImplemented = static_cast<vdj::HostResult>(0x80004001u);
}  // namespace

vdj::HostResult StandinHost::runScript(const char* script) {
    std::printf("host: script \"%s\"\n", script ? script : "");
    return vdj::kOk;
}

vdj::HostResult StandinHost::queryNumber(const char* query, double* result) {
    if (!query || !result) return kFail;
    if (std::strcmp(query, "get hwnd") == 0) {
        *result = static_cast<double>(reinterpret_cast<std::uintptr_t>(window));
        return vdj::kOk;
    }
    std::printf("host: query \"%s\" not known\n", query);
    return kFail;
}

vdj::HostResult StandinHost::queryText(const char* query, char* result, int size) {
    if (result && size > 0) result[0] = '\0';
    std::printf("host: text query \"%s\" not known\n", query ? query : "");
    return kFail;
}

vdj::HostResult StandinHost::declareParameter(void*, int kind, int id, const char* name, const char* shortName,
                                              float defaultValue) {
    std::printf("host: parameter %d \"%s\" (\"%s\"), kind %d, default %g\n", id, name ? name : "",
                shortName ? shortName : "", kind, static_cast<double>(defaultValue));
    parameters.emplace_back(id, name ? name : "");
    return vdj::kOk;
}

int StandinHost::parameterNamed(const std::string& name) const {
    for (const auto& [id, declared] : parameters)
        if (declared == name) return id;
    return -1;
}

vdj::HostResult StandinHost::getSongBuffer(int, int, short**) { return kNotImplemented; }

vdj::HostResult StandinHost::drawDeck() { return kNotImplemented; }

vdj::HostResult StandinHost::getDevice(int kind, void** result) {
    if (!result) return kFail;
    *result = nullptr;
    if (kind != vdj::kDeviceDirect3D11 || !device) return kNotImplemented;
    *result = device;
    return vdj::kOk;
}

vdj::HostResult StandinHost::getTexture(int, void**, void**) { return kNotImplemented; }

namespace {
// Defined here, away from the caller, so that the call stays a call through the table.
class EmptyEffect final : public vdj::VideoFxPlugin {
public:
    vdj::HostResult load() override { return vdj::kOk; }
    vdj::HostResult describe(vdj::PluginInfo*) override { return vdj::kOk; }
    vdj::HostRefCount release() override { return 0; }
    void* scalarDeletingDestructor(unsigned int) override { return this; }
    vdj::HostResult parameterChanged(int) override { return vdj::kOk; }
    vdj::HostResult parameterText(int, char*, int) override { return vdj::kOk; }
    vdj::HostResult userInterface(vdj::UserInterfaceInfo*) override { return vdj::kOk; }
    vdj::HostResult start() override { return vdj::kOk; }
    vdj::HostResult stop() override { return vdj::kOk; }
    vdj::HostResult draw() override { return vdj::kOk; }
    vdj::HostResult deviceInit() override { return vdj::kOk; }
    vdj::HostResult deviceClose() override { return vdj::kOk; }
    vdj::HostResult audioSamples(float*, int) override { return vdj::kOk; }
};
}  // namespace

vdj::VideoFxPlugin& emptyEffect() {
    static EmptyEffect effect;
    return effect;
}

bool checkSlot(const char* slot, vdj::HostResult result, vdj::HostResult expected) {
    std::printf("plug-in: %s -> 0x%08lX\n", slot, static_cast<unsigned long>(result));
    return result == expected;
}

}  // namespace standin
