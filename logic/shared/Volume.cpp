// What the destination's volume tells of itself before anything is written.
#include "logic/shared/Volume.h"

#include <winioctl.h>

#include <initializer_list>

#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"

namespace {

// The bytes of an NTFS file record on the volume of `folder`, 0 when the
// volume does not tell. Asked as documented, on the volume's own handle
// ("\\.\C:" for drive C:), and failing that on the folder's: the file
// system's protocol allows it on any file or folder of the volume, and a
// share has no volume handle. Neither is opened for any access.
ULONGLONG RecordBytes(const wchar_t* folder, const wchar_t* root) {
    wchar_t device[] = L"\\\\.\\?:";
    const bool drive = root[0] != L'\0' && root[1] == L':';
    device[4] = root[0];
    for (const wchar_t* path : {drive ? static_cast<const wchar_t*>(device) : nullptr, folder}) {
        if (path == nullptr) continue;
        HANDLE handle = CreateFileW(path, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                    OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
        if (handle == INVALID_HANDLE_VALUE) continue;
        NTFS_VOLUME_DATA_BUFFER data = {};
        DWORD returned = 0;
        const BOOL answered = DeviceIoControl(handle, FSCTL_GET_NTFS_VOLUME_DATA, nullptr, 0, &data, sizeof data,
                                              &returned, nullptr);
        CloseHandle(handle);
        if (answered && returned >= sizeof data && data.BytesPerFileRecordSegment != 0) {
            return data.BytesPerFileRecordSegment;
        }
    }
    return 0;
}

}  // namespace

bool DescribeVolume(const wchar_t* destination, Volume& volume) {
    volume = Volume{};
    DWORD sectorsPerCluster = 0, freeClusters = 0, clusters = 0;
    // results examined only for success: a volume that cannot be asked is
    // not measured.
    if (!NearestExistingFolder(destination, volume.existing, volume.missing) ||
        !GetVolumePathNameW(volume.existing.text, volume.root, MAX_PATH) ||
        !GetDiskFreeSpaceW(volume.root, &sectorsPerCluster, &volume.sector, &freeClusters, &clusters) ||
        sectorsPerCluster == 0 || volume.sector == 0) {
        return false;
    }
    volume.cluster = static_cast<ULONGLONG>(sectorsPerCluster) * volume.sector;
    DWORD flags = 0;
    // result ignored: a volume that does not say leaves the name empty and
    // the longest name unknown, and none of its limits is checked.
    GetVolumeInformationW(volume.root, nullptr, 0, nullptr, &volume.longestName, &flags, volume.fileSystem,
                          sizeof volume.fileSystem / sizeof volume.fileSystem[0]);
    if (lstrcmpW(volume.fileSystem, L"NTFS") == 0) volume.record = RecordBytes(volume.existing.text, volume.root);
    return true;
}

bool IsFat(const Volume& volume) {
    for (const wchar_t* name : {L"FAT", L"FAT12", L"FAT16", L"FAT32"}) {
        if (EqualsIgnoringAsciiCase(volume.fileSystem, name)) return true;
    }
    return false;
}

bool IsExFat(const Volume& volume) { return EqualsIgnoringAsciiCase(volume.fileSystem, L"exFAT"); }
