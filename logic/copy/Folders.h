#pragma once

class InstallerView;

// The folders of the copy: each one made, with every missing folder above
// it, or asked about until it is; and those an install made removed again
// when it is undone.

// Whether the folder the copy is about to go into is to be taken as it is.
// The destination, and the folders above it, are the user's choice, links or
// not; a folder inside it that is a link (a junction, a symbolic link, a
// mount point) may have been planted by anyone who could write there (under
// C:\, every user), and an installer with an administrator's rights would
// write the disc's files, and clear the marks of the files it finds, in the
// folder it points to, such as one below C:\Windows.
enum class Links { kAccepted, kRefused };

// Creates the folder `path` (nullptr: it does not fit), shown as
// `folder`\`name` when it cannot be, until it is there or the user cancels.
// Windows makes no folder longer than kMaxFolderPath (Wine does): such a
// path does not fit. A folder that is there and is a link, where `links`
// refuses it, is ERROR_STOPPED_ON_SYMLINK: the copy stops in front of it.
bool CreateFolderOrAsk(InstallerView& view, const wchar_t* path, const wchar_t* folder, const wchar_t* name,
                       Links links);

// Removes the folder `path` and the `missing` folders above it that an
// install made, innermost first, as long as each is empty.
void RemoveMadeFolders(const wchar_t* path, int missing);
