#pragma once

class CopyPlan;

// Whether the copy `plan` makes cannot be carried out at its destination
// whatever the user retries there, and why, in `refusal` (`capacity` units):
//   - a folder it must make deeper than Windows makes one (kMaxFolderPath),
//     or a file's path longer than 259 units; the text says how long a
//     destination this medium allows;
//   - a file larger than the destination's file system holds (FAT12, FAT16
//     and FAT32: 4 GiB less one byte), or a name, the destination's own
//     folders' included, longer than it takes; the text names the file and
//     the limit.
// Asked before anything is written. Where the volume cannot be asked, only
// the paths are checked.
bool RefusePlan(const CopyPlan& plan, wchar_t* refusal, int capacity);
