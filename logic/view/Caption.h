#pragma once

// The installer's caption, UTF-16: the dialog's title, and the caption of
// every box the installer shows, so that each reads as the installer's own.
extern const wchar_t kInstallerCaption[];
