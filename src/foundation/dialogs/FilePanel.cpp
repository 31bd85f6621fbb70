#include "foundation/dialogs/FilePanel.h"

#include "foundation/dialogs/DialogCallback.h"
#include "foundation/dialogs/DialogPorts.h"
#include "foundation/util/Folders.h"
#include "foundation/util/Paths.h"

#include <memory>

namespace {

struct CFilePanelState
{
    CFilePanelRequest request;
    std::string path; // empty until chosen
    CDialogCallbackList dcb;
    bool answered = false;
};

void RunFilePanel(const std::shared_ptr<CFilePanelState>& state, FilePanelCompletion completion)
{
    CCallback completion_storage;
    std::weak_ptr<CFilePanelState> weak = state; // the state owns this continuation: no cycle
    PushFileDialogCallback(completion_storage, std::move(completion), [weak] {
        auto alive = weak.lock();
        return alive ? alive->path : std::string();
    });

    // The panel opens from a continuation so that it takes over the caller's
    // continuations together with the completion.
    CCallback open_storage;
    PushProgressCallback(open_storage, CCallback([state](int32_t code) {
                             state->dcb.TakeOverPendingList();
                             DialogPresenter().ShowFilePanel(
                                 state->request, [state](int32_t result, const std::string& path) {
                                     if (state->answered)
                                         return;
                                     state->answered = true;
                                     if (result == 0 && !path.empty()) {
                                         state->path = path;
                                         state->dcb.EndDialog(0);
                                     } else {
                                         state->dcb.EndDialog(-1);
                                     }
                                 });
                             return code;
                         }));
    RunDialogCallbacksUntil(completion_storage);
}

std::string WithDot(const std::string& extension)
{
    if (extension.empty() || extension[0] == '.')
        return extension;
    return "." + extension;
}

} // namespace

void ExportFileAs(QWidget* parent, const std::string& title, const std::string& default_name,
                  FilePanelCompletion completion)
{
    auto state = std::make_shared<CFilePanelState>();
    state->request.parent = parent;
    state->request.save = true;
    state->request.message = title;
    state->request.default_name = default_name;
    std::string extension = PathExtension(default_name);
    state->request.extension = WithDot(extension);
    if (state->request.extension == ".dvtf")
        state->request.start_folder = GetDocumentsFolder("");
    RunFilePanel(state, std::move(completion));
}

void ImportFile(QWidget* parent, const std::string& title, const std::string& type,
                FilePanelCompletion completion)
{
    auto state = std::make_shared<CFilePanelState>();
    state->request.parent = parent;
    state->request.save = false;
    state->request.message = title;
    state->request.extension = WithDot(type);
    if (state->request.extension == ".dvtf")
        state->request.start_folder = GetDocumentsFolder("");
    RunFilePanel(state, std::move(completion));
}
