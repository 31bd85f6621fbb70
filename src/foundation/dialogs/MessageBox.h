#pragma once
// Message boxes. Opening one returns at once: the box takes over the pending
// continuations (see DialogCallback.h) and, when the user answers, calls the
// chosen button's function and then runs them.
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/DialogPorts.h"
#include "foundation/platform/DialogParent.h"

#include <functional>
#include <string>
#include <vector>

#ifdef MessageBox
#undef MessageBox
#endif

// A button's function: the caller's context, the index of the pressed button
// (0 for the first) and the number of buttons. Continuations it pushes run
// before the box's own.
using MessageBoxFunction = std::function<void(void* context, int button, int button_count)>;

struct CMessageBoxButton
{
    std::string title;
    MessageBoxFunction function; // may be empty
};

// A box with the title as its message text, the text below it and the buttons
// in the given order. `parent` is the view or window it belongs to, or null.
void MessageBox(QWidget* parent, void* context, const std::string& title, const std::string& text,
                std::vector<CMessageBoxButton> buttons);

// One button "OK" and no function.
void ShowOKMessage(QWidget* parent, const std::string& text, const std::string& title);

// The buttons "Yes" and "No" in that order.
void AskYesNo(QWidget* parent, void* context, const std::string& title, const std::string& text,
              MessageBoxFunction yes, MessageBoxFunction no);

// A box titled "Hint" with the one button "Got it". It never holds the
// window (the first press elsewhere closes it, see CMessageBoxRequest::hint)
// and a text once shown is not shown again in this session. A null parent
// stands for the main window.
void ShowHint(QWidget* parent, const std::string& text);
void ForgetHintsSeenForTesting();
