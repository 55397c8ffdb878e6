// The limits a plan meets at its destination: judged on a volume's figures
// (RefusePlanOn), and the asking of the destination's volume for them (RefusePlan).
#include "logic/plan/PlanLimits.h"

#include "logic/plan/CopyPlan.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/FormatText.h"
#include "logic/shared/Volume.h"

namespace {

const wchar_t kTooDeepMessage[] =
    L"Путь к папке назначения слишком длинный для этого диска: пути его папок и файлов "
    L"превысили бы предел Windows.\r\nВыберите папку, путь к которой не длиннее %s знаков.";
const wchar_t kNothingFitsMessage[] =
    L"Папки этого диска вложены так глубоко, что их пути превысили бы предел Windows "
    L"в любой папке назначения.";
const wchar_t kFileTooLargeMessage[] =
    L"Файл\r\n%s\r\nбольше, чем допускает файловая система %s диска %s: не больше 4 ГБ без одного байта "
    L"(4 294 967 295 байт) на файл.\r\nВыберите папку на диске с файловой системой NTFS.";
const wchar_t kNameTooLongMessage[] =
    L"Имя\r\n%s\r\nдлиннее, чем допускает файловая система %s диска %s: не больше %s знаков.\r\n"
    L"Выберите папку на другом диске.";

// The longest file path the copy writes: MAX_PATH less the terminator.
constexpr int kMaxFilePath = ShortPath::capacity - 1;

// The length of a step's path below the destination: "within\name".
int BelowLength(const CopyPlan::Step& step) {
    return (*step.within != L'\0' ? lstrlenW(step.within) + 1 : 0) + lstrlenW(step.name);
}

bool Refuse(wchar_t* refusal, int capacity, const wchar_t* format, std::initializer_list<const wchar_t*> args) {
    FormatText(refusal, capacity, format, args);
    return true;
}

// The refusal of `name` (a path, or the part of one) for its length, or of
// the file at `name` for its size: each names the volume's limit.
bool RefuseName(const Volume& volume, const wchar_t* format, const wchar_t* name, wchar_t* refusal, int capacity) {
    wchar_t number[16];
    wsprintfW(number, L"%lu", volume.longestName);
    return Refuse(refusal, capacity, format, {name, volume.fileSystem, volume.root, number});
}

// The first name of the destination's own folders, below its root, longer
// than `longest` units; nullptr when there is none. It is cut off in `name`.
const wchar_t* LongDestinationName(const wchar_t* destination, const wchar_t* root, DWORD longest, ShortPath& name) {
    CopyPath(name, destination);
    const int rootLength = lstrlenW(root);
    wchar_t* part = name.text + (lstrlenW(destination) >= rootLength ? rootLength : 0);
    while (*part != L'\0') {
        wchar_t* end = part;
        while (*end != L'\0' && *end != L'\\') ++end;
        if (static_cast<DWORD>(end - part) > longest) {
            *end = L'\0';
            return part;
        }
        part = *end == L'\0' ? end : end + 1;
    }
    return nullptr;
}

// Whether `step` holds more than `volume` takes: a name longer than its
// longest, a file larger than FAT holds. The refusal names it on the disc.
bool RefuseStep(const CopyPlan& plan, const CopyPlan::Step& step, const Volume& volume, wchar_t* refusal,
                int capacity) {
    const bool nameTooLong = volume.longestName != 0 && static_cast<DWORD>(lstrlenW(step.name)) > volume.longestName;
    if (!nameTooLong && (step.folder || step.size <= kLargestFatFile || !IsFat(volume))) return false;
    LongPath source;
    if (!plan.SourcePath(step, source)) CopyPath(source, step.name);
    return RefuseName(volume, nameTooLong ? kNameTooLongMessage : kFileTooLargeMessage, source.text, refusal,
                      capacity);
}

// The refusal of a destination too long for the deepest folder and file
// below it (`deepestFolder`, `deepestFile` units, 0 for none), with the
// longest one, and the separator after it, below which every one fits.
bool RefuseTooDeep(int deepestFolder, int deepestFile, wchar_t* refusal, int capacity) {
    int allowed = deepestFolder > 0 ? kMaxFolderPath - deepestFolder - 1 : kMaxFolderPath;
    if (deepestFile > 0 && kMaxFilePath - deepestFile - 1 < allowed) allowed = kMaxFilePath - deepestFile - 1;
    // "C:\x": no shorter destination than a folder at a drive's root.
    if (allowed < 4) return Refuse(refusal, capacity, kNothingFitsMessage, {});
    wchar_t number[16];
    wsprintfW(number, L"%d", allowed);
    return Refuse(refusal, capacity, kTooDeepMessage, {number});
}

}  // namespace

bool RefusePlanOn(const CopyPlan& plan, const Volume& volume, wchar_t* refusal, int capacity) {
    const wchar_t* const destination = plan.Destination();
    ShortPath name;
    if (volume.longestName != 0) {
        if (const wchar_t* part = LongDestinationName(destination, volume.root, volume.longestName, name)) {
            return RefuseName(volume, kNameTooLongMessage, part, refusal, capacity);
        }
    }

    // The destination's own length and its separator, and the deepest
    // folder and file below it.
    const int above = lstrlenW(destination) + (destination[lstrlenW(destination) - 1] == L'\\' ? 0 : 1);
    int deepestFolder = 0, deepestFile = 0;
    bool tooDeep = false;
    for (int index = 0; index < plan.Count(); ++index) {
        const CopyPlan::Step step = plan.At(index);
        if (RefuseStep(plan, step, volume, refusal, capacity)) return true;
        const int below = BelowLength(step);
        int& deepest = step.folder ? deepestFolder : deepestFile;
        if (below > deepest) deepest = below;
        if (above + below <= (step.folder ? kMaxFolderPath : kMaxFilePath)) continue;
        // A folder that is there already is taken however deep it is.
        ShortPath path;
        if (!(step.folder && plan.DestinationPath(step, path) && FolderExists(path.text))) tooDeep = true;
    }
    return tooDeep && RefuseTooDeep(deepestFolder, deepestFile, refusal, capacity);
}

bool RefusePlan(const CopyPlan& plan, wchar_t* refusal, int capacity) {
    // result ignored: a volume that cannot be asked tells no file system and
    // no longest name, and only the paths are judged.
    Volume volume;
    DescribeVolume(plan.Destination(), volume);
    return RefusePlanOn(plan, volume, refusal, capacity);
}
