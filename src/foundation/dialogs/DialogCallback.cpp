#include "foundation/dialogs/DialogCallback.h"

#include <QtGlobal>

namespace {

std::list<CCallback> g_pending;
int32_t g_result_code = 0;
int32_t g_open_dialogs = 0;
uint32_t g_next_id = 0;

PendingActionFunction g_action = nullptr;
void* g_action_data = nullptr;

} // namespace

uint32_t CCallback::NextId()
{
    return g_next_id++;
}

CCallback::CCallback() : m_id(NextId()) {}

CCallback::CCallback(PlainFunction function, void* context) : m_id(NextId())
{
    if (function)
        m_function = [function, context](int32_t code) { return function(context, code); };
}

int32_t CCallback::operator()(int32_t code) const
{
    if (!m_function) {
        qWarning("a continuation without a callable was skipped");
        return code;
    }
    return m_function(code);
}

void CDialogCallbackList::TakeOverPendingList()
{
    // Anything this list still held stays behind the taken-over continuations.
    m_callbacks.splice(m_callbacks.begin(), g_pending);
}

void CDialogCallbackList::EndDialog(int32_t code)
{
    g_pending.splice(g_pending.begin(), m_callbacks);
    RunPendingCallbacks(code);
}

void RunPendingCallbacks(int32_t code)
{
    g_result_code = code;
    while (!g_pending.empty()) {
        // Popped before the call: the continuation may open a dialog that
        // takes over the rest of the list.
        CCallback next = std::move(g_pending.front());
        g_pending.pop_front();
        g_result_code = next(g_result_code);
    }
}

const CCallback& PushProgressCallback(CCallback& storage, CCallback::PlainFunction function, void* context)
{
    return PushProgressCallback(storage, CCallback(function, context));
}

const CCallback& PushProgressCallback(CCallback& storage, CCallback callback)
{
    storage = std::move(callback);
    if (storage.HasCallable())
        g_pending.push_front(storage);
    else
        qWarning("a continuation without a callable was not pushed");
    g_result_code = 0;
    return storage;
}

const CCallback& PushFileDialogCallback(CCallback& storage,
                                        std::function<bool(const std::string& path)> completion,
                                        std::function<std::string()> chosen_path)
{
    return PushProgressCallback(storage, CCallback([completion = std::move(completion),
                                                    chosen_path = std::move(chosen_path)](int32_t code) {
                                    if (code != 0)
                                        return code;
                                    std::string path = chosen_path ? chosen_path() : std::string();
                                    // A panel that ends with 0 always has a path; an empty one is never
                                    // handed on.
                                    if (path.empty() || !completion)
                                        return int32_t(-1);
                                    return completion(path) ? int32_t(0) : int32_t(-1);
                                }));
}

void RunDialogCallbacksUntil(const CCallback& storage)
{
    // One without a callable was never pushed: running on would take
    // continuations that belong to outer scopes.
    if (!storage.HasCallable())
        return;
    int32_t code = 0;
    while (!g_pending.empty()) {
        CCallback next = std::move(g_pending.front());
        g_pending.pop_front();
        code = next(code);
        if (next.GetId() == storage.GetId())
            break;
    }
}

int32_t GetDialogResultCode()
{
    return g_result_code;
}

void SetDialogResultCode(int32_t code)
{
    g_result_code = code;
}

size_t GetPendingCallbackCount()
{
    return g_pending.size();
}

int32_t GetOpenDialogCount()
{
    return g_open_dialogs;
}

void ChangeOpenDialogCount(int32_t delta)
{
    g_open_dialogs += delta;
}

void ClearPendingCallbacksForTesting()
{
    g_pending.clear();
    g_result_code = 0;
    g_open_dialogs = 0;
}

void SetPendingAction(PendingActionFunction function, void* data)
{
    PendingActionFunction previous = g_action;
    void* previous_data = g_action_data;
    g_action = nullptr;
    g_action_data = nullptr;
    if (previous)
        previous(previous_data);
    g_action = function;
    g_action_data = data;
}

void ClearPendingAction()
{
    g_action = nullptr;
    g_action_data = nullptr;
}

void ClearPendingActionFor(const void* data)
{
    if (g_action && g_action_data == data)
        ClearPendingAction();
}

void RunPendingAction()
{
    if (g_action)
        g_action(g_action_data);
}

bool HasPendingAction()
{
    return g_action != nullptr;
}
