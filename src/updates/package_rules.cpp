#include "updates/package_rules.h"

#include <algorithm>
#include <iterator>
#include <system_error>
#include <utility>

namespace lumvo {
namespace {

namespace fs = std::filesystem;

char asciiLower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

bool equalIgnoringCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return asciiLower(x) == asciiLower(y); });
}

std::vector<std::string_view> pathParts(std::string_view path) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t i = 0; i <= path.size(); ++i) {
        if (i == path.size() || path[i] == '/' || path[i] == '\\') {
            if (i > start) parts.push_back(path.substr(start, i - start));
            start = i + 1;
        }
    }
    return parts;
}

std::string utf8FileName(const fs::path& path) {
    const std::u8string name = path.filename().u8string();
    return std::string(name.begin(), name.end());
}

void listInto(const fs::path& folder, const std::string& prefix, int depth, const LinkTest& isLink,
              std::vector<std::string>& files) {
    if (depth >= kPackageSearchDepth) return;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        const fs::path& entry = it->path();
        if (isLink(entry)) continue;
        std::error_code ignored;
        const std::string name = prefix + utf8FileName(entry);
        if (fs::is_directory(entry, ignored)) {
            listInto(entry, name + "/", depth + 1, isLink, files);
        } else if (fs::is_regular_file(entry, ignored)) {
            files.push_back(name);
        }
    }
}

}  // namespace

std::vector<std::string> listPackageFiles(const fs::path& folder, const LinkTest& isLink) {
    std::vector<std::string> files;
    listInto(folder, "", 0, isLink, files);
    return files;
}

std::optional<std::string> findPackageRoot(const std::vector<std::string>& files) {
    std::optional<std::string> best;
    std::size_t bestDepth = 0;
    for (const std::string& file : files) {
        const std::vector<std::string_view> parts = pathParts(file);
        if (parts.size() < 2 || !equalIgnoringCase(parts.back(), "server.js") ||
            !equalIgnoringCase(parts[parts.size() - 2], "server")) {
            continue;
        }
        const std::size_t depth = parts.size() - 2;
        std::string root;
        bool insideDependencies = false;
        for (std::size_t i = 0; i < depth; ++i) {
            insideDependencies = insideDependencies || equalIgnoringCase(parts[i], "node_modules");
            if (i) root += '/';
            root += parts[i];
        }
        if (insideDependencies) continue;
        if (!best || depth < bestDepth || (depth == bestDepth && root < *best)) {
            best = std::move(root);
            bestDepth = depth;
        }
    }
    return best;
}

std::optional<std::string> findShallowestFile(const std::vector<std::string>& files, std::string_view name) {
    std::optional<std::string> best;
    std::size_t bestDepth = 0;
    for (const std::string& file : files) {
        const std::vector<std::string_view> parts = pathParts(file);
        if (parts.empty() || !equalIgnoringCase(parts.back(), name)) continue;
        if (std::any_of(parts.begin(), parts.end() - 1,
                        [](std::string_view part) { return equalIgnoringCase(part, "node_modules"); })) {
            continue;
        }
        if (!best || parts.size() < bestDepth || (parts.size() == bestDepth && file < *best)) {
            best = file;
            bestDepth = parts.size();
        }
    }
    return best;
}

bool isKeptName(std::string_view name) {
    static constexpr std::string_view kKept[] = {
        "layout.ini",     "brand-logo.png",  "server.pid",      "uploads",       "update",        "update-status.txt",
        "guest-bg.json",  "guest-bg.png",    "guest-bg.jpg",    "guest-bg.jpeg", "guest-bg.webp", "venue-logo.png",
        "venue-logo.jpg", "venue-logo.jpeg", "venue-logo.webp", "looks",
    };
    while (!name.empty() && (name.back() == '.' || name.back() == ' ')) name.remove_suffix(1);
    return std::any_of(std::begin(kKept), std::end(kKept),
                       [&](std::string_view kept) { return equalIgnoringCase(name, kept); });
}

bool isSymbolicLink(const fs::path& entry) {
    std::error_code ignored;
    return fs::is_symlink(fs::symlink_status(entry, ignored));
}

bool emptyFolder(const fs::path& folder, const LinkTest& isLink) {
    std::error_code error;
    if (isLink(folder)) return false;  // the unpack folder itself is never a link we would empty
    fs::create_directories(folder, error);
    if (!fs::is_directory(folder, error)) return false;
    std::vector<fs::path> entries;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        entries.push_back(it->path());
    }
    if (error) return false;
    for (const fs::path& entry : entries) {
        std::error_code ignored;
        const bool link = isLink(entry);
        if (!link && fs::is_directory(entry, ignored)) emptyFolder(entry, isLink);
        if (fs::remove(entry, ignored) || link) continue;  // a link goes itself, its target stays
        // An archive may unpack read-only files, which Windows does not delete as they are.
        fs::permissions(entry, fs::perms::owner_write, fs::perm_options::add, ignored);
        fs::remove(entry, ignored);
    }
    return fs::is_empty(folder, error) && !error;
}

void copyPackageFolder(const fs::path& source, const fs::path& target, bool keepUserFiles, const LinkTest& isLink) {
    std::error_code error;
    fs::create_directories(target, error);
    for (fs::directory_iterator it(source, error), end; !error && it != end; it.increment(error)) {
        const fs::path& entry = it->path();
        if (isLink(entry)) continue;
        if (keepUserFiles && isKeptName(utf8FileName(entry))) continue;
        std::error_code ignored;
        const fs::path copy = target / entry.filename();
        if (fs::is_directory(entry, ignored)) {
            copyPackageFolder(entry, copy, keepUserFiles, isLink);
        } else if (fs::is_regular_file(entry, ignored)) {
            fs::copy_file(entry, copy, fs::copy_options::overwrite_existing, ignored);
        }
    }
}

fs::path pathFromUtf8(std::string_view utf8) { return fs::path(std::u8string(utf8.begin(), utf8.end())); }

}  // namespace lumvo
