// The limits a plan meets at its destination before anything is written: the
// paths Windows makes, the names and file sizes the volume's file system takes.
#pragma once

struct Volume;
class CopyPlan;

// Whether the copy `plan` makes cannot be carried out on `volume` whatever
// the user retries there, and why, in `refusal` (`capacity` units):
//   - a name, the destination's own folders' below `volume.root` included,
//     longer than `volume.longestName` (0: not known, nothing checked);
//   - a file larger than the volume's file system holds (FAT12, FAT16 and
//     FAT32: 4 GiB less one byte); these two texts name it and the limit;
//   - a folder it must make deeper than Windows makes one (kMaxFolderPath),
//     or a file's path longer than 259 units; the text says how long a
//     destination this medium allows. A folder that is there already is
//     taken however deep it is.
// Only the volume's figures are read, and whether such a deep folder is there.
bool RefusePlanOn(const CopyPlan& plan, const Volume& volume, wchar_t* refusal, int capacity);

// RefusePlanOn for the volume the destination lies on, as DescribeVolume
// tells it. Asked before anything is written. Where the volume cannot be
// asked, only the paths are checked.
bool RefusePlan(const CopyPlan& plan, wchar_t* refusal, int capacity);
