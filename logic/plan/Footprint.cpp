// What each file system spends on a file or folder beside its bytes.
#include "logic/plan/Footprint.h"

#include "logic/shared/Volume.h"

namespace {

// A file record's own header, its standard information, its 8.3 name, the
// header of its data and the end marker take about 410 bytes beside the
// long name (two bytes a unit); a file stays inside its record only when
// this many bytes and its name leave room for it.
constexpr ULONGLONG kRecordOverhead = 512;
// The record where the volume does not report it: 1 KB, the size NTFS
// formats with, or a sector where sectors are larger (4 KB on disks of
// 4 KB sectors).
constexpr ULONGLONG kUsualRecord = 1024;
// An NTFS index entry: its header and the name's fixed part, then the name;
// 8-byte aligned. The 8.3 name's entry holds at most 12 units.
constexpr ULONGLONG kIndexEntryFixed = 16 + 66;

ULONGLONG IndexEntry(ULONGLONG units) { return (kIndexEntryFixed + 2 * units + 7) / 8 * 8; }

}  // namespace

Footprint::Footprint(const Volume& volume)
    : kind_(IsFat(volume) ? Kind::kFat : IsExFat(volume) ? Kind::kExFat : Kind::kNtfs),
      cluster_(volume.cluster),
      record_(0),
      resident_(0) {
    if (kind_ != Kind::kNtfs) return;
    if (volume.record != 0) {
        record_ = volume.record;
        resident_ = record_ > kRecordOverhead ? record_ - kRecordOverhead : 0;
    } else {
        record_ = volume.sector > kUsualRecord ? volume.sector : kUsualRecord;
    }
}

ULONGLONG Footprint::File(ULONGLONG size, const wchar_t* name) const {
    const ULONGLONG nameBytes = 2 * static_cast<ULONGLONG>(lstrlenW(name));
    const bool resident = size + nameBytes <= resident_;
    return (resident ? 0 : Clusters(size)) + record_;
}

ULONGLONG Footprint::Entries(const wchar_t* name) const {
    const ULONGLONG units = static_cast<ULONGLONG>(lstrlenW(name));
    switch (kind_) {
    case Kind::kFat:
        return kEntry * (1 + (units + 12) / 13);
    case Kind::kExFat:
        return kEntry * (2 + (units + 14) / 15);
    case Kind::kNtfs:
        break;
    }
    return 2 * (IndexEntry(units) + IndexEntry(12));
}
