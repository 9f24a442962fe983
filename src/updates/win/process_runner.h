#pragma once
// Hidden helper programs: the system's tar for unpacking, PowerShell for the self-update's waiter.
#include <windows.h>

#include <string>

namespace lumvo {

// Starts `"<exe>" <arguments>` with no window and no inherited handles, in `workFolder` (the
// caller's when empty). `detached`: its own process group, no console, out of any job of the host,
// so that it outlives the host. With `timeoutMs` 0 the answer is whether it started; otherwise it
// is waited for up to that long and succeeds only with exit code 0 (one still running then has
// failed, and is left running).
bool runProcess(const std::wstring& exe, const std::wstring& arguments, const std::wstring& workFolder, DWORD timeoutMs,
                bool detached);

// The system's tar: unpacks `archive` into `folder`, waiting up to two minutes.
bool unpackWithTar(const std::wstring& tarProgram, const std::wstring& archive, const std::wstring& folder);

}  // namespace lumvo
