#pragma once
// The plug-in's folders on disk, all below the per-user local application data folder:
//   <LOCALAPPDATA>\LUMVO\video-wall            wallFolder: layout.ini, server.pid
//                                 \server      the wall server program
//                                 \web         its pages (\web\index.html marks the wall files)
//                                 \uploads     guests' photos
//                                 \brand, \web\brand   brand images (findAsset)
// Narrow paths are ANSI bytes for the ANSI file functions; media paths are UTF-8 and become UTF-16
// at the Windows calls.
#include <optional>
#include <string>
#include <string_view>

#include <windows.h>

namespace lumvo {

// LOCALAPPDATA + "\LUMVO\video-wall"; "." stands in for LOCALAPPDATA when it is unset or too long.
std::string wallFolder();
std::string uploadsFolder();
// The wall folder as UTF-16, for the update's copies (the same folder, whatever the code page).
std::wstring wallFolderWide();
// The private Node.js runtime's folder: the shell's local application data folder +
// "\LUMVO\runtime", where the server's launch looks for node.exe first; empty when the shell cannot say.
std::wstring runtimeFolder();
// Whether the wall files are in place: <wall folder>\server\server.js and <wall folder>\web\index.html.
bool wallFilesPresent();
// Creates <base>\LUMVO, the wall folder, and its server, web and uploads folders; failures are
// left for the later file operations to meet.
void ensureDataFolders();

// The user's Pictures folder + "\LUMVO" (UTF-8), or the uploads folder when the shell cannot say.
std::string defaultMediaFolder();
// The shell's local application data folder (UTF-8), empty when the shell cannot say.
std::string shellLocalAppData();
// The help texts' folder: the shell's local application data folder + "\LUMVO\video-wall\web\info\";
// empty when the shell cannot say.
std::wstring infoFolder();
// Creates a folder with every missing parent; the outcome is not reported.
void createWholePath(std::string_view utf8Path);
// The DJ's folder choice into `mediaFolder` (the media folder setting's text, UTF-8): ignored when
// empty; trailing slashes go; nothing left means the default media folder. The folder is created;
// saving and pushing are the caller's business.
void setMediaFolder(std::string& mediaFolder, std::string_view utf8Path);

// The first of <LOCALAPPDATA>\LUMVO\video-wall\brand\<name> and ...\web\brand\<name> that exists,
// else empty.
std::wstring findAsset(std::wstring_view fileName);
// <LOCALAPPDATA>\LUMVO\video-wall\brand-logo.png: the DJ's own logo.
std::wstring brandLogoPath();

// This DLL's (or program's) module handle and the folder it was loaded from.
HMODULE ownModuleHandle();
std::string moduleFolder();

// The bytes of the photo a reference names, from the first of the media folder, the default media
// folder, the uploads folder and the wall folder that holds a readable file of that name. Nothing
// for a reference that names no usable file (such as one with "..").
std::optional<std::string> readPhotoFromDisk(std::string_view reference, std::string_view mediaFolder);

}  // namespace lumvo
