#pragma once
// The maker's own web site. The brand label treats an address on this host as our own
// ("Lumvo"), and the update check talks to it.
namespace lumvo {
inline constexpr const char* kMakerWebHost = "lumvo.app";
}  // namespace lumvo
