// Stands in for the system's tar.exe where the plug-in unpacks a zip: takes exactly
//   "<exe>" -xf "<archive>" -C "<folder>"
// and extracts the archive's stored (uncompressed) entries into the existing folder, making
// sub-folders as needed. Exit codes: 0 done; 1 the archive is unreadable, garbled or truncated, uses
// another method, or names an entry outside the folder (then nothing at all is written); 2 any
// other command line. Records its command line like the other stand-ins (standin_log.h).
#include <windows.h>
#include <shellapi.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "standin_log.h"

namespace {

struct Entry {
    std::wstring name;  // relative, with backslashes; a trailing one for a folder
    std::size_t offset = 0;
    std::size_t size = 0;
    std::uint32_t crc = 0;
};

std::uint32_t crc32(const unsigned char* data, std::size_t size) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (std::size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

int failWith(const char* why) {
    std::fprintf(stderr, "tar: %s\n", why);
    return 1;
}

bool readFile(const wchar_t* path, std::vector<unsigned char>& out) {
    HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    LARGE_INTEGER size{};
    bool ok = GetFileSizeEx(file, &size) && size.QuadPart < (1LL << 31);
    if (ok) {
        out.resize(static_cast<std::size_t>(size.QuadPart));
        DWORD read = 0;
        ok = out.empty() ||
             (ReadFile(file, out.data(), static_cast<DWORD>(out.size()), &read, nullptr) && read == out.size());
    }
    CloseHandle(file);
    return ok;
}

// The relative Windows name of a zip entry's UTF-8 name; empty when it would leave the folder.
std::wstring safeName(const unsigned char* name, std::size_t size) {
    const int n = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, reinterpret_cast<const char*>(name),
                                      static_cast<int>(size), nullptr, 0);
    if (n <= 0) return {};
    std::wstring wide(n, L'\0');
    MultiByteToWideChar(CP_UTF8, 0, reinterpret_cast<const char*>(name), static_cast<int>(size), wide.data(), n);
    for (wchar_t& c : wide) {
        if (c == L'/') c = L'\\';
    }
    if (wide[0] == L'\\' || wide.find(L':') != std::wstring::npos) return {};
    for (std::size_t start = 0; start <= wide.size();) {
        std::size_t end = wide.find(L'\\', start);
        if (end == std::wstring::npos) end = wide.size();
        if (wide.compare(start, end - start, L"..") == 0) return {};
        start = end + 1;
    }
    return wide;
}

std::uint32_t u16(const std::vector<unsigned char>& b, std::size_t at) { return b[at] | b[at + 1] << 8; }
std::uint32_t u32(const std::vector<unsigned char>& b, std::size_t at) { return u16(b, at) | u16(b, at + 2) << 16; }

// The archive's entries from its central directory, each checked; a message when one fails.
const char* listEntries(const std::vector<unsigned char>& zip, std::vector<Entry>& entries) {
    if (zip.size() < 22) return "not a zip archive";
    std::size_t end = zip.size() - 22;
    const std::size_t lowest = zip.size() > 22 + 0xFFFF ? zip.size() - 22 - 0xFFFF : 0;
    while (u32(zip, end) != 0x06054b50) {
        if (end == lowest) return "not a zip archive";
        --end;
    }
    const std::size_t count = u16(zip, end + 10);
    std::size_t at = u32(zip, end + 16);
    for (std::size_t i = 0; i < count; ++i) {
        if (at + 46 > end || u32(zip, at) != 0x02014b50) return "garbled central directory";
        const std::size_t nameSize = u16(zip, at + 28);
        const std::size_t next = at + 46 + nameSize + u16(zip, at + 30) + u16(zip, at + 32);
        if (next > end || nameSize == 0) return "garbled central directory";
        if (u16(zip, at + 10) != 0 || (u16(zip, at + 8) & 1)) return "unsupported compression or encryption";
        Entry entry;
        entry.name = safeName(&zip[at + 46], nameSize);
        if (entry.name.empty()) return "an entry leaves the target folder";
        entry.crc = u32(zip, at + 16);
        entry.size = u32(zip, at + 20);
        const std::size_t local = u32(zip, at + 42);
        if (entry.size != u32(zip, at + 24) || local + 30 > zip.size() || u32(zip, local) != 0x04034b50)
            return "garbled entry";
        entry.offset = local + 30 + u16(zip, local + 26) + u16(zip, local + 28);
        if (entry.offset > zip.size() || entry.size > zip.size() - entry.offset) return "truncated archive";
        if (crc32(&zip[entry.offset], entry.size) != entry.crc) return "checksum mismatch";
        entries.push_back(std::move(entry));
        at = next;
    }
    return nullptr;
}

// Every missing folder on the way to `path` (below `root`, which exists).
bool makeParents(const std::wstring& root, const std::wstring& name) {
    for (std::size_t slash = name.find(L'\\'); slash != std::wstring::npos; slash = name.find(L'\\', slash + 1)) {
        const std::wstring folder = root + L"\\" + name.substr(0, slash);
        if (!CreateDirectoryW(folder.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) return false;
    }
    return true;
}

}  // namespace

int main() {
    appendCommandLineToLog();
    int argc = 0;
    wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
    if (!argv || argc != 5 || std::wstring(argv[1]) != L"-xf" || std::wstring(argv[3]) != L"-C") {
        std::fprintf(stderr, "tar: only \"tar.exe\" -xf \"<archive>\" -C \"<folder>\" is understood\n");
        return 2;
    }
    const std::wstring root = argv[4];
    const DWORD attributes = GetFileAttributesW(root.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        return failWith("the target folder does not exist");
    std::vector<unsigned char> zip;
    if (!readFile(argv[2], zip)) return failWith("cannot read the archive");
    std::vector<Entry> entries;
    if (const char* problem = listEntries(zip, entries)) return failWith(problem);

    for (const Entry& entry : entries) {
        if (!makeParents(root, entry.name)) return failWith("cannot make a folder");
        if (entry.name.back() == L'\\') continue;
        const std::wstring path = root + L"\\" + entry.name;
        HANDLE file =
            CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (file == INVALID_HANDLE_VALUE) return failWith("cannot write a file");
        DWORD written = 0;
        const bool ok = entry.size == 0 ||
                        (WriteFile(file, &zip[entry.offset], static_cast<DWORD>(entry.size), &written, nullptr) &&
                         written == entry.size);
        CloseHandle(file);
        if (!ok) return failWith("cannot write a file");
    }
    return 0;
}
