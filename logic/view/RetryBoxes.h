#pragma once

#include <windows.h>

class InstallerView;

// The boxes that offer Retry when a step of the install fails, each with the
// system's own text for `error` in the user's language. True for Retry, false
// for Cancel. A path given as a folder and a name is shown joined, whether or
// not it fits a path buffer: a path too long to copy is one of the failures.
bool AskRetryCopy(InstallerView& view, const wchar_t* sourceFolder, const wchar_t* destinationFolder,
                  const wchar_t* name, DWORD error);
// The folder `folder`\`name`, or `folder` itself when `name` is nullptr.
bool AskRetryFolder(InstallerView& view, const wchar_t* folder, const wchar_t* name, DWORD error);
bool AskRetryListing(InstallerView& view, const wchar_t* folder, DWORD error);
// Too little room on the volume whose root is `root`: `required` bytes
// against `available` ones.
bool AskRetryRoom(InstallerView& view, const wchar_t* root, ULONGLONG required, ULONGLONG available);

// The reason Windows gives for `error`, ending in one line break.
void SystemErrorText(DWORD error, wchar_t* out, int capacity);
