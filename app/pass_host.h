// The shell's host of the long passes: the progress window of template 114, message boxes with
// the program's title over the main window, the password dialogs and the menu's greying.
#pragma once

#include "store/pass_host.h"

PassHost &ShellPassHost();
