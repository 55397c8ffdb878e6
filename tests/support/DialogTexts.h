#pragma once

// The installer's texts as a user sees them, written out once here for every
// test and benchmark. They are deliberately not the product's own constants:
// a text changed in the product must make the tests fail. UTF-8, like every
// text of the test programs.
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

}  // namespace shown
