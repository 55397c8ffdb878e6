#pragma once

#include <windows.h>

struct Volume;

// What a volume's file system spends on the install's files and folders
// beside their bytes, as far as the volume tells (see DescribeVolume). Where
// a figure can only be estimated, it is the larger one.
//   NTFS: a file record for every file and folder, of the size the volume
//   reports, else 1 KB (or a sector, where sectors are larger). A file small
//   enough to stay inside its record takes no cluster, which is counted only
//   where the volume reported the record's size. A name takes an entry in
//   its folder's index, and one for its short 8.3 name; the index grows by
//   whole clusters, and a sorted run of names leaves each of its blocks half
//   full: twice the entries are counted. Any file system that is neither FAT
//   nor exFAT is counted so.
//   FAT12, FAT16, FAT32: a name takes a short entry of 32 bytes and one of
//   32 for every 13 units of its long name; a folder made anew starts with
//   "." and "..".
//   exFAT: a name takes two entries of 32 bytes and one for every 15 units.
class Footprint {
public:
    explicit Footprint(const Volume& volume);

    // What a file of `size` bytes named `name` takes: its clusters (none when
    // it stays inside its record) and its file record.
    ULONGLONG File(ULONGLONG size, const wchar_t* name) const;
    // The file record of a folder made anew.
    ULONGLONG FolderRecord() const { return record_; }
    // The bytes of entries a folder made anew starts with.
    ULONGLONG FolderStart() const { return kind_ == Kind::kFat ? 2 * kEntry : 0; }
    // The bytes of entries `name` takes in its folder.
    ULONGLONG Entries(const wchar_t* name) const;
    // `bytes` rounded up to whole clusters.
    ULONGLONG Clusters(ULONGLONG bytes) const { return (bytes + cluster_ - 1) / cluster_ * cluster_; }
    ULONGLONG Cluster() const { return cluster_; }

private:
    enum class Kind { kNtfs, kFat, kExFat };
    static constexpr ULONGLONG kEntry = 32;  // a FAT or exFAT folder entry

    Kind kind_;
    ULONGLONG cluster_;
    ULONGLONG record_;    // FAT and exFAT have none
    ULONGLONG resident_;  // a file of up to this many bytes, less two per unit of its name, stays in its record
};
