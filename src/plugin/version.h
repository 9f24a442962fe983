#pragma once
// The plug-in's version, shown to the host and compared by the update check.
namespace lumvo {
inline constexpr const char* kPluginVersion = "0.65";
}  // namespace lumvo
