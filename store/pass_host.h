// What a long pass over the stores needs from the program around it: a progress window, a message
// to the user, the password prompts and the greying of the change-password command. The passes
// here and in crypto/ (legacy conversion, decryption at start, encryption at the end and at a
// lock) reach the user only through the host; the shell hands them its own before it opens the
// store (app/pass_host.h). Without a host a pass shows nothing, and every prompt is answered as
// by "Abbrechen".
#pragma once

#include <windows.h>

class PassHost {
public:
    // Opens a progress window with the caption and a bar over 0..total; the returned window is
    // what the other progress calls take, nullptr when there is none (they then do nothing).
    virtual HWND OpenProgress(const WCHAR *caption, int total) = 0;
    // Sets the progress text to "done von total".
    virtual void ProgressText(HWND progress, int done, int total) = 0;
    // Moves the bar to position.
    virtual void ProgressPosition(HWND progress, int position) = 0;
    virtual void CloseProgress(HWND progress) = 0;

    // A message box with the program's title over the program's window; MessageBox's answer.
    virtual int Message(const WCHAR *text, UINT flags) = 0;
    // The enter-password dialog; true when a password was given (the store now holds its keys).
    virtual bool AskPassword() = 0;
    // The set-password dialog; true when a new password was set.
    virtual bool AskNewPassword() = 0;
    // Greys the change-password command, or offers it again.
    virtual void EnablePasswordCommand(bool enable) = 0;

protected:
    ~PassHost() = default;
};

// The host of this run's passes: the one last handed over, else one that shows nothing.
PassHost &CurrentPassHost();
void SetPassHost(PassHost *host);
