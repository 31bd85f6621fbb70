#pragma once
// Continuations: what must happen after the user answers a dialog, a message
// box or a file panel. Opening any of them returns at once; callers push a
// continuation onto the global pending list and the next dialog that opens
// takes the whole list over. When it ends, its result code is posted and the
// continuations run in order, each receiving the previous one's return value.
// Main thread only.
#include <cstdint>
#include <functional>
#include <list>
#include <string>
#include <type_traits>
#include <utility>

// One continuation: takes the result code, returns the code for the next one.
class CCallback
{
public:
    using PlainFunction = int32_t (*)(void* context, int32_t code);

    CCallback();
    CCallback(PlainFunction function, void* context);
    template <class F, class = std::enable_if_t<std::is_invocable_r_v<int32_t, F&, int32_t> &&
                                                !std::is_same_v<std::decay_t<F>, CCallback>>>
    CCallback(F&& callable) : m_function(std::forward<F>(callable)), m_id(NextId())
    {
    }

    // Calls the continuation. One without a callable cannot do anything, so it
    // passes the code on unchanged.
    int32_t operator()(int32_t code) const;
    bool HasCallable() const { return static_cast<bool>(m_function); }
    uint32_t GetId() const { return m_id; }

private:
    static uint32_t NextId();

    std::function<int32_t(int32_t)> m_function;
    uint32_t m_id = 0;
};

// The continuations owned by one dialog, message box or file panel. Destroying
// the list destroys what it still holds without running it.
class CDialogCallbackList
{
public:
    CDialogCallbackList() = default;
    virtual ~CDialogCallbackList() = default;
    CDialogCallbackList(const CDialogCallbackList&) = delete;
    CDialogCallbackList& operator=(const CDialogCallbackList&) = delete;

    // Moves the whole pending list into this one (which must be empty), so
    // that the pending list is empty afterwards.
    void TakeOverPendingList();
    // The dialog ended with `code`: posts it, puts this list's continuations in
    // front of the pending list (order kept) and runs the pending list dry.
    void EndDialog(int32_t code);

    bool IsEmpty() const { return m_callbacks.empty(); }
    size_t Size() const { return m_callbacks.size(); }
    void Clear() { m_callbacks.clear(); }

private:
    std::list<CCallback> m_callbacks;
};

// Builds the continuation in the caller's `storage`, pushes a copy onto the
// front of the pending list and sets the global result code to 0.
const CCallback& PushProgressCallback(CCallback& storage, CCallback::PlainFunction function, void* context);
const CCallback& PushProgressCallback(CCallback& storage, CCallback callback);

// A file panel's completion: on code 0 it gets the chosen path and its answer
// becomes 0 (true) or -1 (false); any other code skips it and passes on.
const CCallback& PushFileDialogCallback(CCallback& storage,
                                        std::function<bool(const std::string& path)> completion,
                                        std::function<std::string()> chosen_path);

// The end of the scope that pushed `storage`: runs the continuations in front
// of it and then it, starting from code 0. When a dialog took the list over,
// nothing runs here.
void RunDialogCallbacksUntil(const CCallback& storage);

// Puts `code` as the global result code and runs the pending list dry.
void RunPendingCallbacks(int32_t code);

// The global state, for the dialog host and for tests.
int32_t GetDialogResultCode();
void SetDialogResultCode(int32_t code);
size_t GetPendingCallbackCount();
int32_t GetOpenDialogCount();
void ChangeOpenDialogCount(int32_t delta);
// Drops every pending continuation without running it (tests start clean).
void ClearPendingCallbacksForTesting();

// A single slot for a map action that waits for the user (route editing,
// chunk display). Setting a new action first calls the previous one with its
// data; clearing forgets it without calling it.
using PendingActionFunction = void (*)(void* data);
void SetPendingAction(PendingActionFunction function, void* data);
void ClearPendingAction();
// Forgets the action only when it holds `data` (an object that goes away).
void ClearPendingActionFor(const void* data);
void RunPendingAction();
bool HasPendingAction();
