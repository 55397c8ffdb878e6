#pragma once

// The earlier files an install replaces, kept aside in its work folder until
// it completes, so that one that is cancelled can put them back; and their
// list there, the journal on the disk that the next install reads when this
// one was ended (see EndedInstall.h).

#include <windows.h>

class WorkFolder;

// Each file is listed first, a line of the work folder's list on the disk,
// and only then given a second name there, k0, k1, ...: after a power cut a
// kept file the list does not name could not be put back. A line is
// "<number>\t<attributes, in hex>\t<path below the destination>\r\n".
class KeptFiles {
public:
    explicit KeptFiles(WorkFolder& folder) : folder_(folder) {}
    KeptFiles(const KeptFiles&) = delete;
    KeptFiles& operator=(const KeptFiles&) = delete;

    // Keeps the earlier file at `target`, `relative` below the destination,
    // with `attributes`, aside: listed first, then given a second name in the
    // work folder (a hard link), so that its own name never goes missing, or
    // moved there where the file system has no hard links (FAT). Its number
    // in `kept`. Returns the error, ERROR_SUCCESS once it is kept.
    DWORD Keep(const wchar_t* target, const wchar_t* relative, DWORD attributes, int& kept);

    // Puts the earlier file kept as `kept` back at `target`, as it was:
    // bytes, time stamps and `attributes`. False when it cannot be; it then
    // stays kept, listed for the next install.
    bool PutBack(int kept, const wchar_t* target, DWORD attributes);

    // Files kept so far: k0 to k<Count() - 1>.
    int Count() const { return count_; }

private:
    WorkFolder& folder_;
    int count_ = 0;
};
