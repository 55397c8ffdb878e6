#pragma once

// The names the resource script and the program share: the resources'
// identifiers, the dialog's controls and its caption. Plain macros, because
// the resource compiler reads this file too. The caption is a narrow UTF-8
// literal here, which the resource compiler stores as UTF-16 in the dialog
// template; the program makes it a UTF-16 literal by joining it to L"".

#define IDD_INSTALLER 129
#define IDS_INFORMATION 129
#define IDI_INSTALLER 128

// Beside IDOK ("Извлечь") and IDCANCEL ("Отмена").
#define IDC_DESTINATION 1000
#define IDC_BROWSE 1001
#define IDC_LOG 1003

#define INSTALLER_CAPTION "Установка программы Зеларит:Орвента"
