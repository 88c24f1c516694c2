// The program's name as its windows and message boxes show it, for every layer.
#pragma once

#include <windows.h>

inline constexpr WCHAR kAppTitle[] = L"The Arkel";
