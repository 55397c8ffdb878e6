#pragma once

// What the installation logic and the resource script share: the installer
// dialog's control identifiers and its caption. Plain macros, because the
// resource compiler reads this file too. The caption is a narrow UTF-8
// literal here, which the resource compiler stores as UTF-16 in the dialog
// template; the program makes it a UTF-16 literal by joining it to L"".

// Beside IDOK ("Извлечь") and IDCANCEL ("Отмена").
#define IDC_DESTINATION 1000
#define IDC_BROWSE 1001
#define IDC_LOG 1003

#define INSTALLER_CAPTION "Установка программы Зеларит:Орвента"
