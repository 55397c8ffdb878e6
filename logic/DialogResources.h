#pragma once

// What the installation logic and the resource script share: the installer
// dialog's control identifiers and its caption. Plain macros, because the
// resource compiler reads this file too. The caption is UTF-8 here; the
// compiler stores it as Windows-1251 in the program, the resource compiler as
// UTF-16 in the dialog template.

// Beside IDOK ("Извлечь") and IDCANCEL ("Отмена").
#define IDC_DESTINATION 1000
#define IDC_BROWSE 1001
#define IDC_LOG 1003

#define INSTALLER_CAPTION "Установка программы Зеларит:Орвента"
