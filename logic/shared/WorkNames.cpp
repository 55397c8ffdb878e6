// The names of the installer's work folder and its list.
#include "logic/shared/WorkNames.h"

const wchar_t kWorkFolderName[] = L"~hdwork";
const wchar_t kWorkListName[] = L"list";
