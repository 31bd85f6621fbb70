#include "app/dialogs/map_detail.h"

#include "charts/chunked/ChunkStorePath.h"
#include "charts/chunked/MapDataDownload.h"
#include "charts/chunked/Rasterleaf3.h"
#include "foundation/dialogs/MessageBox.h"
#include "foundation/notify/StatusLine.h"
#include "foundation/platform/PlatformFolders.h"
#include "foundation/util/Files.h"
#include "foundation/util/Paths.h"
#include "foundation/util/StringUtil.h"
#include "overlays/model/TrackManager.h"
#include "ui_map_detail.h"

#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <set>
#include <sys/stat.h>

namespace {

// The outline tracks on the map, by identity: the clean-up removes these and
// never a user's track, whatever its name.
struct CChunkOutlines
{
    std::set<uint64_t> serials;
};

CChunkOutlines& Outlines()
{
    static CChunkOutlines outlines;
    return outlines;
}

void RunChunkOutlineCleanUp(void*)
{
    map_detail::ClearChunkOutlines();
}

bool StartsWithFolder(const std::string& path, const std::string& folder)
{
    return !folder.empty() && path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
           path[folder.size()] == '/';
}

// One temporary track round the area's four (longitude, latitude) corners.
void AddOutlineTrack(const double corners[8], bool onDevice)
{
    auto track = std::make_unique<COverlayTrack>();
    track->SetName(onDevice ? map_detail::kOnDeviceTrack : map_detail::kMissingTrack);
    track->SetDoNotSync(true);
    track->SetTemporary(true);
    track->GetLineStyle().colour =
        onDevice ? GraphicsColor(0, 200 / 255.0, 0, 1.0) : GraphicsColor(0, 0, 200 / 255.0, 1.0);
    for (int i = 0; i <= 4; ++i) {
        const int k = 2 * (i % 4);
        track->AddPoint(CTrackPoint{corners[k + 1], corners[k], 0, 0, 0}, false);
    }
    COverlayTrack* added = CTrackManager::Get().AddTrack(std::move(track));
    Outlines().serials.insert(added->GetSerial());
    added->NotifySections(COverlayObject::kChanged);
}

} // namespace

map_detail* map_detail::initWithChartOutlines(const std::vector<std::shared_ptr<CChartOutline>>& outlines,
                                              QWidget* parent)
{
    if (outlines.empty() || !outlines.front())
        return nullptr;
    return new map_detail(outlines, parent);
}

map_detail::map_detail(const std::vector<std::shared_ptr<CChartOutline>>& outlines, QWidget* parent)
    : UIViewControllerWithDialog(parent), m_ui(std::make_unique<Ui::map_detail>()), m_outlines(outlines)
{
    m_ui->setupUi(this);
    lab_details = m_ui->lab_details;
    lab_size = m_ui->lab_size;
    but_ChunkStatus = m_ui->but_ChunkStatus;
    but_Delete = m_ui->but_Delete;
    download_whole_map = m_ui->download_whole_map;
    but_Done = m_ui->but_Done;
    connect(but_Done, &QPushButton::clicked, this, &map_detail::onDone);
    connect(but_Delete, &QPushButton::clicked, this, &map_detail::onDelete);
    connect(download_whole_map, &QPushButton::clicked, this, &map_detail::onDownloadAll);
    connect(but_ChunkStatus, &QPushButton::clicked, this, &map_detail::onShowChunks);
    viewDidLoad();
}

map_detail::~map_detail() = default;

std::string map_detail::getFilename() const
{
    return m_outlines.front()->path;
}

void map_detail::viewDidLoad()
{
    const CChartOutline& main = *m_outlines.front();
    const bool several = m_outlines.size() > 1;
    std::string text;
    if (several)
        text = std::to_string(m_outlines.size()) + " Maps, including...\n";
    text += main.name + "\nType: " + main.mapType + " " + main.GetInfoText();
    lab_details->setText(MakeNSString(text));

    if (several)
        but_Delete->setText(MakeNSString("Delete " + std::to_string(m_outlines.size()) + " Maps"));
    but_ChunkStatus->setVisible(!several && main.chunked);
    but_Delete->setVisible(several || !IsBuiltInChart(main.path));
    UpdateSize();
    UpdateDownloadButton();
}

int64_t map_detail::ChartDiskSize(const std::string& chartPath)
{
    int64_t total = std::max<int64_t>(GetFileSize(chartPath), 0);
    for (const std::string& store : ExistingChunkStorePaths(chartPath)) {
        struct stat st;
        if (::stat(store.c_str(), &st) != 0)
            continue;
        const int64_t size = S_ISDIR(st.st_mode) ? GetFolderSize(store) : GetFileSize(store);
        if (size > 0)
            total += size;
    }
    return total;
}

bool map_detail::IsBuiltInChart(const std::string& chartPath)
{
    if (IsInAppBundle(chartPath) || StartsWithFolder(chartPath, GetPlatformDataFolder() + "/basemaps"))
        return true;
    for (const std::string& folder : GetResourceSearchFolders())
        if (StartsWithFolder(chartPath, folder))
            return true;
    return false;
}

void map_detail::UpdateSize()
{
    lab_size->setText(MakeNSString(FormatByteSize(ChartDiskSize(getFilename()))));
}

void map_detail::UpdateDownloadButton()
{
    bool missing = false;
    if (m_outlines.size() == 1 && m_outlines.front()->chunked) {
        std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(nullptr, getFilename()));
        if (auto* chunked = dynamic_cast<CRasterleaf3*>(chart.get()))
            missing = chunked->HasMissingChunks();
    }
    download_whole_map->setVisible(missing);
}

QWidget* map_detail::LastingParent() const
{
    const UIViewControllerWithDialog* root = this;
    while (root->parent_dialog())
        root = root->parent_dialog();
    // A dialog in a window of its own takes its window with it.
    return root->parent_win() ? nullptr : root->top_level_view();
}

void map_detail::onDone()
{
    if (!isDialogEnded())
        destroyDialog(-1);
}

void map_detail::onDelete()
{
    if (isDialogEnded())
        return;
    const bool several = m_outlines.size() > 1;
    const std::string title = several ? "Delete Maps?" : "Delete Map?";
    const std::string text =
        several ? "Delete these " + std::to_string(m_outlines.size()) + " maps?" : "Delete this map?";
    QPointer<map_detail> self(this);
    AskYesNo(
        this, nullptr, title, text,
        [self](void*, int, int) {
            if (self && !self->isDialogEnded())
                self->destroyDialog(1);
        },
        nullptr);
}

void map_detail::onDownloadAll()
{
    if (isDialogEnded())
        return;
    QPointer<map_detail> self(this);
    CCallback storage;
    PushProgressCallback(storage, CCallback([self](int32_t code) {
                             if (self) {
                                 self->UpdateSize();
                                 self->UpdateDownloadButton();
                             }
                             return code;
                         }));
    StartMapDataDownloadAll(this, getFilename());
    RunDialogCallbacksUntil(storage);
}

void map_detail::onShowChunks()
{
    if (isDialogEnded())
        return;
    std::unique_ptr<CRasterleaf> chart(CRasterleaf::OpenFile(this, getFilename()));
    auto* chunked = dynamic_cast<CRasterleaf3*>(chart.get());
    if (!chunked)
        return;
    // Outlines shown earlier go first (setting the action runs the old one).
    SetPendingAction(RunChunkOutlineCleanUp, &Outlines());
    SetStatusMessage(kStatusText);
    double corners[8];
    int flags = 0;
    for (int chunk = -1; chunked->NextChunkArea(chunk, corners, flags);)
        AddOutlineTrack(corners, true);
    for (int chunk = -1; chunked->NextMissingChunkArea(chunk, corners, flags);)
        AddOutlineTrack(corners, false);
    chart.reset();
    QWidget* lasting = LastingParent();
    destroyDialog(2);
    MessageBox(lasting, nullptr, "Note", kNoteText, {{"OK", nullptr}});
}

void map_detail::ClearChunkOutlines()
{
    if (GetStatusMessage() == kStatusText)
        ClearStatusMessage();
    const std::set<uint64_t> serials = std::move(Outlines().serials);
    Outlines().serials.clear();
    if (!serials.empty())
        CTrackManager::Get().DeleteTracksIf(
            [&serials](const COverlayTrack& track) { return serials.count(track.GetSerial()) != 0; });
}

size_t map_detail::ChunkOutlineCount()
{
    return Outlines().serials.size();
}

map_detail* OpenMapDetail(UIViewControllerWithDialog* host,
                          const std::vector<std::shared_ptr<CChartOutline>>& outlines)
{
    map_detail* dialog = map_detail::initWithChartOutlines(outlines);
    if (dialog)
        dialog->showInParent(host);
    return dialog;
}
