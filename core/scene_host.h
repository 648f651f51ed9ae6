// What the scene needs from whoever hosts it: a window system for the two fatal
// messages. The wx shell and the headless renderer each provide one; tests replace it.
#pragma once

#include <string>

// Which window owns a fatal message box.
enum class MessageOwner {
    View,   // the view's own window
    Focus,  // whatever window has the keyboard focus
};

class CSceneHost {
public:
    virtual ~CSceneHost() = default;
    // Shows text under caption with a single OK button and returns once it is dismissed.
    virtual void ShowMessage(const std::string& text, const std::string& caption, MessageOwner owner) = 0;
    // Runs the view's destruction handling (timer off, context gone) before a fatal exit.
    virtual void DestroyView() = 0;
};

// Installs the process-wide host; the scene's fatal paths report through it. Without one
// (no window: a picture, the screensaver) they write one line to stderr.
void SetSceneHost(CSceneHost* host);

// What must be undone before a fatal exit, whatever the host: the headless renderer takes away
// the files of the export it was making. Null for nothing; called once, on the thread that
// met the fatal error.
void SetFatalCleanup(void (*cleanup)());

// Shows text under caption through the host, then ends the process with status 1; with
// destroyView the view's destruction handling runs between the two. reason, when given, is
// the same failure in English with its cause and place: it goes to stderr first, and with no
// host it is the one line written; otherwise that line is text. The fatal cleanup, if any,
// runs last.
[[noreturn]] void FatalSceneError(const std::string& text, const std::string& caption, MessageOwner owner,
                                  bool destroyView, const std::string& reason = {});
