#pragma once
// The details of one or more charts chosen in the chart list: their
// description and the disk space they take. The user can delete them (the
// dialog ends with 1 and the chart list deletes them), download the whole of
// a chunked chart, or see on the map which chunks of it are on the device
// (ends with 2: the chart list closes too, so the outlines are seen). Done
// ends with -1 (the list refreshes).
//
// Opened by the chart list: push the continuation that reads the code, then
// OpenMapDetail(host, outlines).
#include "charts/chartlist/ChartOutline.h"
#include "foundation/dialogs/UIViewControllerWithDialog.h"
#include "foundation/dialogs/global_dialog_window.h"

#include <memory>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace Ui {
class map_detail;
}

class map_detail : public UIViewControllerWithDialog
{
    Q_OBJECT

public:
    static constexpr const char* kStatusText = "Chunk outlines are shown on the map.\nPress Done to clear.";
    static constexpr const char* kNoteText =
        "Green outlines: map areas on this device. Blue outlines: map areas not yet downloaded.";
    static constexpr const char* kOnDeviceTrack = ":chunk";
    static constexpr const char* kMissingTrack = ":chunk not downloaded";

    // Loads the layout and keeps its own copy of the list (the first is the
    // main chart). The list must not be empty.
    static map_detail* initWithChartOutlines(const std::vector<std::shared_ptr<CChartOutline>>& outlines,
                                             QWidget* parent = nullptr);
    ~map_detail() override;

    // The main chart's file.
    std::string getFilename() const;

    void onDone();
    void onDelete();
    void onDownloadAll();
    void onShowChunks();

    // The space the main chart takes: its file and every spelling of its
    // chunk store (file or folder).
    static int64_t ChartDiskSize(const std::string& chartPath);
    // A chart that came with the application: under a resource folder or in
    // the data folder's "basemaps".
    static bool IsBuiltInChart(const std::string& chartPath);
    // Removes the chunk outlines that onShowChunks made and clears the
    // status line (the main window's Done button runs it).
    static void ClearChunkOutlines();
    // How many outline tracks are shown now.
    static size_t ChunkOutlineCount();

    QLabel* lab_details = nullptr;
    QLabel* lab_size = nullptr;
    QPushButton* but_ChunkStatus = nullptr;
    QPushButton* but_Delete = nullptr;
    QPushButton* download_whole_map = nullptr;
    QPushButton* but_Done = nullptr;

private:
    map_detail(const std::vector<std::shared_ptr<CChartOutline>>& outlines, QWidget* parent);
    void viewDidLoad();
    void UpdateSize();
    void UpdateDownloadButton();
    // Where boxes go that outlive the dialog: the host the dialogs are shown over.
    QWidget* LastingParent() const;

    std::unique_ptr<Ui::map_detail> m_ui;
    std::vector<std::shared_ptr<CChartOutline>> m_outlines;
};

// Makes the details for `outlines` and shows them over `host` (in a window of
// their own without one). The caller's pending continuations get the code.
map_detail* OpenMapDetail(UIViewControllerWithDialog* host,
                          const std::vector<std::shared_ptr<CChartOutline>>& outlines);
