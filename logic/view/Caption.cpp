// The installer's caption, from the resource script's.
#include "logic/view/Caption.h"

#include "resources/ResourceIds.h"

const wchar_t kInstallerCaption[] = L"" INSTALLER_CAPTION;
