#pragma once

// Resource identifiers shared by the resource script and the dialog. The
// control identifiers and the caption come from the installation logic, which
// names them too.
#include "logic/DialogResources.h"

#define IDD_INSTALLER 129
#define IDS_INFORMATION 129
#define IDI_INSTALLER 128
