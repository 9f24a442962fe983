#pragma once
// The host side of the stand-in host: the callbacks a plug-in may call, answered the way the real
// host answers them, with every call the plug-in makes printed on stdout.
#include <windows.h>

#include <string>
#include <utility>
#include <vector>

#include "plugin/host_interface.h"

namespace standin {

class StandinHost final : public vdj::HostCallbacks, public vdj::VideoCallbacks {
public:
    HWND window = nullptr;                                // answered to "get hwnd"
    void* device = nullptr;                               // the ID3D11Device handed out for kind 3
    std::vector<std::pair<int, std::string>> parameters;  // declared so far: id, name

    // The id of the parameter the plug-in declared as `name` (the host's button of that name); -1
    // when none was.
    int parameterNamed(const std::string& name) const;

    vdj::HostResult runScript(const char* script) override;
    vdj::HostResult queryNumber(const char* query, double* result) override;
    vdj::HostResult queryText(const char* query, char* result, int size) override;
    vdj::HostResult declareParameter(void* parameter, int kind, int id, const char* name, const char* shortName,
                                     float defaultValue) override;
    vdj::HostResult getSongBuffer(int position, int count, short** buffer) override;
    vdj::HostResult drawDeck() override;
    vdj::HostResult getDevice(int kind, void** result) override;
    vdj::HostResult getTexture(int kind, void** texture, void** view) override;
};

// Prints a slot's result ("plug-in: load -> 0x00000000"); true when it is `expected`.
bool checkSlot(const char* slot, vdj::HostResult result, vdj::HostResult expected = vdj::kOk);

// An effect whose every slot does nothing and succeeds. Its draw is called through the same slot
// as the plug-in's, to time an empty draw in the same run.
vdj::VideoFxPlugin& emptyEffect();

}  // namespace standin
