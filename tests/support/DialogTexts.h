// The installer's texts as a user sees them, written out once here for every
// test and benchmark. They are deliberately not the product's own constants:
// a text changed in the product must make the tests fail. UTF-8, like every
// text of the test programs.
#pragma once

#include <string>

namespace shown {

inline constexpr char kCaption[] = "Установка программы Зеларит:Орвента";
inline constexpr char kLabel[] = "Папка назначения:";
inline constexpr char kBrowse[] = "&Обзор";
inline constexpr char kExtract[] = "Извлечь";
inline constexpr char kCancel[] = "Отмена";

// The dialog's log before "Извлечь": the information string with the main
// program's name put in.
inline constexpr char kInformation[] =
    "Требуемый объем свободного пространства на жестком диске - 500 Мб.\r\n\r\n"
    "Для установки программы нажмите кнопку \"Извлечь\". Установка займет несколько минут.\r\n\r\n"
    "После установки программы на жесткий диск использование компакт-диска не требуется.\r\n\r\n"
    "Для запуска программы с жесткого диска используйте ярлык на рабочем столе или файл zel_or.exe, "
    "находящийся в папке назначения.\r\n\r\n"
    "Папку назначения рекомендуется не изменять.\r\n\r\n"
    "ВНИМАНИЕ! Если Вы не хотите устанавливать программу на жесткий диск, нажмите кнопку \"Отмена\". "
    "Дальнейшая работа с системой будет доступна с компакт-диска.";

inline constexpr char kCompletionCaption[] = "Работа завершена";
inline constexpr char kCompletion[] =
    "Установка программы Зеларит:Орвента завершена\r\n\r\n"
    "Для запуска используйте ярлык на рабочем столе или файл zel_or.exe, находящийся в папке назначения.";

inline constexpr char kEmptyDestination[] = "Укажите папку назначения.";
inline constexpr char kSameFolder[] = "Папка назначения совпадает с папкой, из которой запущена установка.";
inline constexpr char kNotFullPath[] = "Укажите полный путь к папке назначения, например C:\\ZelOr.";
inline constexpr char kTooLong[] = "Путь к папке назначения слишком длинный.";
inline constexpr char kFileInTheWay[] = "На месте папки назначения находится файл.";
inline std::string ReservedName(const std::string& folder) {
    return "Имя «" + folder + "» зарезервировано Windows и не может быть именем папки.";
}
inline std::string DriveUnavailable(const std::string& drive) {
    return "Диск " + drive + " недоступен. Если это сетевой диск, выберите папку на локальном диске.";
}
inline std::string ForbiddenCharacter(const std::string& character) {
    return "Знак «" + character + "» не может входить в имя папки.";
}
inline std::string ControlCharacter(const std::string& code) {
    return "Путь к папке назначения содержит управляющий знак с кодом " + code + ": он не может входить в имя папки.";
}
// After the walk of the medium: too long a destination for its deepest
// folder or file, and what the destination's file system cannot hold.
inline std::string TooDeep(int allowed) {
    return "Путь к папке назначения слишком длинный для этого диска: пути его папок и файлов превысили бы предел "
           "Windows.\r\nВыберите папку, путь к которой не длиннее " + std::to_string(allowed) + " знаков.";
}
inline std::string FileTooLarge(const std::string& file, const std::string& fileSystem, const std::string& root) {
    return "Файл\r\n" + file + "\r\nбольше, чем допускает файловая система " + fileSystem + " диска " + root +
           ": не больше 4 ГБ без одного байта (4 294 967 295 байт) на файл.\r\nВыберите папку на диске с файловой "
           "системой NTFS.";
}
inline std::string NameTooLong(const std::string& name, const std::string& fileSystem, const std::string& root,
                               int longest) {
    return "Имя\r\n" + name + "\r\nдлиннее, чем допускает файловая система " + fileSystem + " диска " + root +
           ": не больше " + std::to_string(longest) + " знаков.\r\nВыберите папку на другом диске.";
}
inline constexpr char kNothingFits[] =
    "Папки этого диска вложены так глубоко, что их пути превысили бы предел Windows в любой папке назначения.";
// A second installer's, when it cannot bring the first one forward.
inline constexpr char kAlreadyRunning[] = "Установка уже выполняется.";

// The boxes after a failed step, with Retry and Cancel. `reason` is the
// system's text for the error, which ends in one line break; a line break
// follows it.
inline constexpr char kMendOrCancel[] = "Устраните причину и повторите попытку или отмените установку.";
inline std::string CopyFailed(const std::string& source, const std::string& destination, const std::string& reason) {
    return "Не удалось скопировать файл\r\n" + source + "\r\nв\r\n" + destination + "\r\n\r\n" + reason + "\r\n" +
           kMendOrCancel;
}
inline std::string FolderFailed(const std::string& folder, const std::string& reason) {
    return "Не удалось создать папку\r\n" + folder + "\r\n\r\n" + reason + "\r\n" + kMendOrCancel;
}
inline std::string ListingFailed(const std::string& folder, const std::string& reason) {
    return "Не удалось прочитать папку\r\n" + folder + "\r\n\r\n" + reason + "\r\n" + kMendOrCancel;
}
inline std::string NoRoom(const std::string& root, const std::string& required, const std::string& available) {
    return "Недостаточно места на диске " + root + "\r\nТребуется: " + required + ", доступно: " + available +
           ".\r\nОсвободите место и повторите попытку или отмените установку.";
}

// `box` with the system's reason in it replaced by "<reason>\r\n", so that
// it compares with a box made above with that reason. The reason lies
// between the blank line after the paths and the line break before the last
// line; an empty one, or one that does not end in exactly one line break, is
// left, and fails the comparison.
inline std::string MarkReason(const std::string& box) {
    const std::string last = std::string("\r\n") + kMendOrCancel;
    if (box.size() < last.size() + 4 || box.compare(box.size() - last.size(), last.size(), last) != 0) return box;
    const size_t end = box.size() - last.size();
    if (box.compare(end - 2, 2, "\r\n") != 0) return box;
    const size_t textEnd = end - 2;
    const size_t blank = box.rfind("\r\n\r\n", textEnd - 1);
    if (blank == std::string::npos || blank + 4 >= textEnd) return box;
    return box.substr(0, blank + 4) + "<reason>" + box.substr(textEnd);
}

}  // namespace shown
