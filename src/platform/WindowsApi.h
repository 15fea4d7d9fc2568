#pragma once
// <windows.h> for the platform layer's Windows code, without the macros
// that would rename our own functions (CopyFile, MoveFile) or std::min/max.
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#undef CopyFile
#undef MoveFile
