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

}  // namespace

bool RefusePlan(const CopyPlan& plan, wchar_t* refusal, int capacity) {
    const wchar_t* const destination = plan.Destination();
    Volume volume;
    const bool described = DescribeVolume(destination, volume);
    const bool fat = described && IsFat(volume);
    const DWORD longestName = described ? volume.longestName : 0;
    wchar_t number[16];
    ShortPath name;
    if (longestName != 0) {
        if (const wchar_t* part = LongDestinationName(destination, volume.root, longestName, name)) {
            wsprintfW(number, L"%lu", longestName);
            return Refuse(refusal, capacity, kNameTooLongMessage, {part, volume.fileSystem, volume.root, number});
        }
    }

    // The destination's own length and its separator, and the deepest
    // folder and file below it.
    const int above = lstrlenW(destination) + (destination[lstrlenW(destination) - 1] == L'\\' ? 0 : 1);
    int deepestFolder = 0, deepestFile = 0;
    bool tooDeep = false;
    for (int index = 0; index < plan.Count(); ++index) {
        const CopyPlan::Step step = plan.At(index);
        LongPath source;
        if (longestName != 0 && static_cast<DWORD>(lstrlenW(step.name)) > longestName) {
            if (!plan.SourcePath(step, source)) CopyPath(source, step.name);
            wsprintfW(number, L"%lu", longestName);
            return Refuse(refusal, capacity, kNameTooLongMessage, {source.text, volume.fileSystem, volume.root, number});
        }
        if (fat && !step.folder && step.size > kLargestFatFile) {
            if (!plan.SourcePath(step, source)) CopyPath(source, step.name);
            return Refuse(refusal, capacity, kFileTooLargeMessage, {source.text, volume.fileSystem, volume.root});
        }
        const int below = BelowLength(step);
        if (step.folder) {
            if (below > deepestFolder) deepestFolder = below;
            // A folder that is there already is taken however deep it is.
            ShortPath path;
            if (above + below > kMaxFolderPath && !(plan.DestinationPath(step, path) && FolderExists(path.text))) {
                tooDeep = true;
            }
        } else {
            if (below > deepestFile) deepestFile = below;
            if (above + below > kMaxFilePath) tooDeep = true;
        }
    }
    if (!tooDeep) return false;
    // The longest destination, with the separator after it, below which
    // every folder and file fits.
    int allowed = deepestFolder > 0 ? kMaxFolderPath - deepestFolder - 1 : kMaxFolderPath;
    if (deepestFile > 0 && kMaxFilePath - deepestFile - 1 < allowed) allowed = kMaxFilePath - deepestFile - 1;
    // "C:\x": no shorter destination than a folder at a drive's root.
    if (allowed < 4) return Refuse(refusal, capacity, kNothingFitsMessage, {});
    wsprintfW(number, L"%d", allowed);
    return Refuse(refusal, capacity, kTooDeepMessage, {number});
}
