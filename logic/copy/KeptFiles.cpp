// The earlier files kept aside in the work folder, listed before they are kept.
#include "logic/copy/KeptFiles.h"

#include "logic/copy/PutBackFile.h"
#include "logic/copy/WorkFolder.h"
#include "logic/shared/PathText.h"

DWORD KeptFiles::Keep(const wchar_t* target, const wchar_t* relative, DWORD attributes, int& kept) {
    DWORD error = folder_.Open();
    if (error != ERROR_SUCCESS) return error;
    kept = count_++;
    wchar_t name[16];
    KeptName(name, kept);
    LongPath path;
    folder_.PathOf(path, name);
    // Listed, and on the disk, before the file is: after a power cut a kept
    // file the list does not name could not be put back.
    wchar_t line[ShortPath::capacity + 40];
    wsprintfW(line, L"%d\t%lx\t%s\r\n", kept, attributes, relative);
    error = folder_.AppendToList(line);
    if (error != ERROR_SUCCESS) return error;
    // A link found at the target's name would give its target a second name:
    // the link itself goes aside, as a file does where the file system has no
    // second names (FAT), until the new one takes its name.
    if (!(attributes & FILE_ATTRIBUTE_REPARSE_POINT) && CreateHardLinkW(path.text, target, nullptr)) {
        return ERROR_SUCCESS;
    }
    return MoveFileExW(target, path.text, 0) ? ERROR_SUCCESS : GetLastError();
}

bool KeptFiles::PutBack(int kept, const wchar_t* target, DWORD attributes) {
    wchar_t name[16];
    KeptName(name, kept);
    LongPath path;
    return folder_.PathOf(path, name) && PutBackFile(path.text, target, attributes);
}
