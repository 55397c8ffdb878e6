#include "logic/view/Caption.h"

#include "resources/ResourceIds.h"

const wchar_t kInstallerCaption[] = L"" INSTALLER_CAPTION;
