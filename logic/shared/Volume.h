// What the installer learns of a destination's volume, and how it asks.
#pragma once

#include <windows.h>

#include "logic/shared/PathText.h"

// What the installer learns of the volume a destination lies on before it
// writes there: where it is, how it stores files, what room is left.
struct Volume {
    ShortPath existing;  // the destination's nearest folder that is there: itself or a parent
    int missing;         // how many folders are missing below it, the destination's included
    wchar_t root[MAX_PATH];
    wchar_t fileSystem[32];  // "NTFS", "FAT32", "exFAT", ...; empty when the volume does not say
    DWORD longestName;       // the longest file or folder name it takes, in units; 0 when unknown
    DWORD sector;            // bytes
    ULONGLONG cluster;       // bytes
    // Bytes of an NTFS file record as the volume reports them; 0 where it
    // does not (another file system, Wine, or no right to ask).
    ULONGLONG record;
};

// Asks the volume of the destination `destination` (a full path). False when
// no folder of its path is there, or the volume cannot tell its cluster: it
// is then not measured, and the copy meets what is wrong; `volume` then
// names no file system and no longest name, so that no limit of either is
// judged.
bool DescribeVolume(const wchar_t* destination, Volume& volume);

// Whether `volume` is FAT12, FAT16 or FAT32 (Windows calls the first two
// "FAT"), whose files hold at most 4 GiB less one byte.
bool IsFat(const Volume& volume);
// Whether it is exFAT.
bool IsExFat(const Volume& volume);
constexpr ULONGLONG kLargestFatFile = 0xFFFFFFFFull;
