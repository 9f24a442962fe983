#pragma once
// The unpack folders on disk: emptied before every unpack and searched for the wall files' root,
// with every reparse point (a symbolic link, a junction) treated as a link that is removed itself
// and never entered.
#include <optional>
#include <string>

namespace lumvo {

// updates/package_rules.h's emptyFolder on the UTF-8 `folder`.
bool emptyUnpackFolder(const std::string& folder);
// The wall files' root in the unpacked `folder` (updates/package_rules.h's findPackageRoot over its
// files), as a full path with '\' between the parts; nothing when the package holds none.
std::optional<std::string> findUnpackedPackageRoot(const std::string& folder);

}  // namespace lumvo
