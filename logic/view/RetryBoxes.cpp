// The boxes that offer Retry, with the system's reason for the failure.
#include "logic/view/RetryBoxes.h"

#include <shlwapi.h>

#include "logic/view/Caption.h"
#include "logic/view/InstallerView.h"
#include "logic/shared/PathText.h"
#include "logic/shared/FormatText.h"

namespace {

const wchar_t kCopyFailedMessage[] =
    L"Не удалось скопировать файл\r\n%s\r\nв\r\n%s\r\n\r\n%s\r\n"
    L"Устраните причину и повторите попытку или отмените установку.";
const wchar_t kFolderFailedMessage[] =
    L"Не удалось создать папку\r\n%s\r\n\r\n%s\r\n"
    L"Устраните причину и повторите попытку или отмените установку.";
const wchar_t kListingFailedMessage[] =
    L"Не удалось прочитать папку\r\n%s\r\n\r\n%s\r\n"
    L"Устраните причину и повторите попытку или отмените установку.";
const wchar_t kNoRoomMessage[] =
    L"Недостаточно места на диске %s\r\nТребуется: %s, доступно: %s.\r\n"
    L"Освободите место и повторите попытку или отмените установку.";

// Room for a box's text: a source path of up to 1023 units, a destination
// path, the system's reason and the words around them.
constexpr int kBoxTextCapacity = 4096;
constexpr int kReasonCapacity = 1024;

// `folder`\`name` joined as the copy joins them, or `folder` alone; cut
// short only past the box's room.
void ShownPath(wchar_t (&out)[kBoxTextCapacity], const wchar_t* folder, const wchar_t* name) {
    if (name == nullptr) {
        FormatText(out, kBoxTextCapacity, L"%s", {folder});
    } else {
        FormatText(out, kBoxTextCapacity, JoinFormat(folder), {folder, name});
    }
}

bool Ask(InstallerView& view, const wchar_t* format, std::initializer_list<const wchar_t*> args) {
    wchar_t text[kBoxTextCapacity];
    FormatText(text, kBoxTextCapacity, format, args);
    return view.AskRetry(text, kInstallerCaption);
}

}  // namespace

void SystemErrorText(DWORD error, wchar_t* out, int capacity) {
    // Language 0: the user's, as Windows chooses it.
    DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr, error, 0,
                                  out, capacity - 2, nullptr);
    if (length == 0) length = wsprintfW(out, L"Системная ошибка %lu.", error);
    // The system's texts end in a line break, some in a space and a line
    // break, some in none; the box wants exactly one.
    while (length > 0 && (out[length - 1] == L'\r' || out[length - 1] == L'\n' || out[length - 1] == L' ')) --length;
    out[length] = L'\r';
    out[length + 1] = L'\n';
    out[length + 2] = L'\0';
}

bool AskRetryCopy(InstallerView& view, const wchar_t* sourceFolder, const wchar_t* destinationFolder,
                  const wchar_t* name, DWORD error) {
    wchar_t source[kBoxTextCapacity], destination[kBoxTextCapacity], reason[kReasonCapacity];
    ShownPath(source, sourceFolder, name);
    ShownPath(destination, destinationFolder, name);
    SystemErrorText(error, reason, kReasonCapacity);
    return Ask(view, kCopyFailedMessage, {source, destination, reason});
}

bool AskRetryFolder(InstallerView& view, const wchar_t* folder, const wchar_t* name, DWORD error) {
    wchar_t path[kBoxTextCapacity], reason[kReasonCapacity];
    ShownPath(path, folder, name);
    SystemErrorText(error, reason, kReasonCapacity);
    return Ask(view, kFolderFailedMessage, {path, reason});
}

bool AskRetryListing(InstallerView& view, const wchar_t* folder, DWORD error) {
    wchar_t reason[kReasonCapacity];
    SystemErrorText(error, reason, kReasonCapacity);
    return Ask(view, kListingFailedMessage, {folder, reason});
}

bool AskRetryRoom(InstallerView& view, const wchar_t* root, ULONGLONG required, ULONGLONG available) {
    // As Explorer shows sizes: "1,44 МБ" in the user's own units and separators.
    wchar_t requiredText[64], availableText[64];
    StrFormatByteSizeW(static_cast<LONGLONG>(required), requiredText, 64);
    StrFormatByteSizeW(static_cast<LONGLONG>(available), availableText, 64);
    return Ask(view, kNoRoomMessage, {root, requiredText, availableText});
}
