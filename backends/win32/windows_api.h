// <windows.h> for the Win32 backend and the Windows programs. The header turns
// some names into macros for their A/W variants; two of them are names of our
// platform interface (DeleteFile, TextOut), so they are taken back here and
// the Win32 functions are always called by their A names.
#pragma once

#include <windows.h>

#undef DeleteFile
#undef TextOut
