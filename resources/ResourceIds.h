#pragma once

// Resource identifiers shared by the resource script and the dialog.
#define IDD_INSTALLER 129
#define IDS_INFORMATION 129
#define IDI_INSTALLER 128

// Control identifiers beside IDOK and IDCANCEL (the same values as in
// logic/InstallerView.h, which the installation logic uses).
#define IDC_DESTINATION 1000
#define IDC_BROWSE 1001
#define IDC_LOG 1003
