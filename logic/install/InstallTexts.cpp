// The install's own texts (InstallTexts.h).
#include "logic/install/InstallTexts.h"

const wchar_t kMainProgramFile[] = L"zel_or.exe";
const wchar_t kDefaultDestination[] = L"C:\\ZelOr";
const wchar_t kShortcutName[] = L"Орвента";
const wchar_t kCompletionMessage[] =
    L"Установка программы Зеларит:Орвента завершена\r\n\r\n"
    L"Для запуска используйте ярлык на рабочем столе или файл %s, находящийся в папке назначения.";
const wchar_t kCompletionCaption[] = L"Работа завершена";
const wchar_t kAlreadyRunningMessage[] = L"Установка уже выполняется.";
