// The destination's refusals and their texts: what makes a typed destination
// one that cannot be installed into.
#include "logic/destination/Refusal.h"

#include <windows.h>

#include "logic/destination/FullPath.h"
#include "logic/shared/FileSystem.h"
#include "logic/shared/FolderIdentity.h"
#include "logic/shared/FormatText.h"

const wchar_t kEmptyDestinationMessage[] = L"Укажите папку назначения.";
const wchar_t kTooLongMessage[] = L"Путь к папке назначения слишком длинный.";
const wchar_t kNotFullMessage[] = L"Укажите полный путь к папке назначения, например C:\\ZelOr.";
const wchar_t kFileInTheWayMessage[] = L"На месте папки назначения находится файл.";
const wchar_t kSameFolderMessage[] = L"Папка назначения совпадает с папкой, из которой запущена установка.";
const wchar_t kReservedNameMessage[] = L"Имя «%s» зарезервировано Windows и не может быть именем папки.";
const wchar_t kForbiddenCharacterMessage[] = L"Знак «%s» не может входить в имя папки.";
const wchar_t kControlCharacterMessage[] =
    L"Путь к папке назначения содержит управляющий знак с кодом %s: он не может входить в имя папки.";
const wchar_t kDriveUnavailableMessage[] =
    L"Диск %s недоступен. Если это сетевой диск, выберите папку на локальном диске.";

namespace {

bool Refuse(RefusalText& refusal, const wchar_t* format, const wchar_t* detail = L"") {
    FormatText(refusal, kRefusalCapacity, format, {detail});
    return true;
}

}  // namespace

bool RefuseDestination(ShortPath& typed, const wchar_t* source, ShortPath& destination, RefusalText& refusal) {
    // 259 units read: more was put into the field than it takes (a picked folder).
    const bool cut = lstrlenW(typed.text) > kMaxDestination;
    const wchar_t* const trimmed = TrimSpaces(typed.text);
    if (*trimmed == L'\0') return Refuse(refusal, kEmptyDestinationMessage);
    if (cut) return Refuse(refusal, kTooLongMessage);
    switch (MakeFullPath(trimmed, destination)) {
    case FullPath::kMade:
        break;
    case FullPath::kNotFull:
        return Refuse(refusal, kNotFullMessage);
    case FullPath::kTooLong:
        return Refuse(refusal, kTooLongMessage);
    case FullPath::kReservedName:
        return Refuse(refusal, kReservedNameMessage, destination.text);  // the folder name as typed
    case FullPath::kForbiddenCharacter: {
        // A control character is shown by its code: as itself it shows nothing, or a box.
        wchar_t code[8];
        wsprintfW(code, L"%u", static_cast<unsigned>(destination.text[0]));
        return destination.text[0] < 32 ? Refuse(refusal, kControlCharacterMessage, code)
                                        : Refuse(refusal, kForbiddenCharacterMessage, destination.text);
    }
    }
    if (destination.text[1] == L':') {
        // A letter this installer does not see: most often a network drive
        // mapped in the user's own session, which an elevated installer does
        // not have. No retry could create a folder there.
        const wchar_t letter = destination.text[0];
        const wchar_t root[] = {letter, L':', L'\\', L'\0'};
        const wchar_t drive[] = {letter >= L'a' && letter <= L'z' ? static_cast<wchar_t>(letter - L'a' + L'A') : letter,
                                 L':', L'\0'};
        if (GetDriveTypeW(root) == DRIVE_NO_ROOT_DIR) return Refuse(refusal, kDriveUnavailableMessage, drive);
    }
    const DWORD attributes = GetFileAttributesW(destination.text);
    if (attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        return Refuse(refusal, kFileInTheWayMessage);
    }
    // Windows makes no folder deeper than this; one that is there is taken.
    if (!FitsAsFolder(destination.text) && attributes == INVALID_FILE_ATTRIBUTES) {
        return Refuse(refusal, kTooLongMessage);
    }
    // No retry can mend a copy of the medium onto itself.
    if (source != nullptr && SameFolder(IdentifyFolder(source), IdentifyFolder(destination.text))) {
        return Refuse(refusal, kSameFolderMessage);
    }
    return false;
}
