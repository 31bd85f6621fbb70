#include "app/window/MapStoreFetcher.h"

#include "charts/mapstore/MapStore.h"
#include "charts/mapstore/MapStoreDownload.h"
#include "foundation/dialogs/DialogCallback.h"
#include "foundation/web/ChartServer.h"
#include "foundation/web/WebBinaryCGI.h"

#include <sys/stat.h>

CMapStoreFetcher::CMapStoreFetcher(QWidget* parent) : CHeartbeat::Counter(1), m_parent(parent) {}

CMapStoreFetcher::~CMapStoreFetcher()
{
    // A look-up still waiting on the network is cancelled, not waited out.
    m_lookUp.cancel = true;
    if (m_thread.joinable())
        m_thread.join();
}

void CMapStoreFetcher::FetchMapAt(double latitude, double longitude, Completion done)
{
    if (m_thread.joinable()) {
        if (done)
            done(-1, std::string(), std::string());
        return;
    }
    m_done = std::move(done);
    m_lookUp.finished = false;
    // What the request needs from the settings is read here, on the main thread.
    const CWebAddress server = CChartServer::Get();
    const std::set<std::string> hidden = GetMapStoreHiddenNames();
    const int32_t sortBy = GetMapStoreSortBy();
    const MapStorePoint point = MapStoreOfferPoint(latitude, longitude);
    m_thread = std::thread([lookUp = &m_lookUp, server, hidden, sortBy, point] {
        std::string offered;
        CWebBinaryCGI request(server.host.c_str(), kMapStoreProgram, server.secure, server.port);
        request.Web().SetProgressCallback([](void* arg) { return !static_cast<LookUp*>(arg)->cancel.load(); },
                                          lookUp);
        WriteMapStorePointsRequest(request, {point}, {});
        if (request.Execute()) {
            CMapShopListing listing(sortBy);
            if (ReadMapStoreReply(request.Reply(), true, hidden, listing))
                offered = ChooseMapToOffer(listing);
        }
        {
            std::lock_guard<std::mutex> lock(lookUp->mutex);
            lookUp->offered = offered;
        }
        lookUp->finished = true;
    });
}

void CMapStoreFetcher::OnTick()
{
    if (!m_lookUp.finished || !m_thread.joinable())
        return;
    m_thread.join();
    m_lookUp.finished = false;
    std::string offered;
    {
        std::lock_guard<std::mutex> lock(m_lookUp.mutex);
        offered.swap(m_lookUp.offered);
    }
    if (offered.empty()) {
        Completion done = std::move(m_done);
        if (done)
            done(-1, std::string(), std::string());
        return;
    }
    Download(offered);
}

void CMapStoreFetcher::Download(const std::string& path)
{
    // The continuation may run inside DownloadMapFile (a quick download) or
    // when its progress dialog ends; either way the file tells whether it came.
    auto localPath = std::make_shared<std::string>();
    Completion done = std::move(m_done);
    CCallback storage;
    PushProgressCallback(storage, CCallback([done, path, localPath](int32_t code) {
                             struct stat st;
                             const bool there = !localPath->empty() && ::stat(localPath->c_str(), &st) == 0 &&
                                                S_ISREG(st.st_mode);
                             if (done)
                                 done(code == 0 && there ? 0 : -1, path, *localPath);
                             return code;
                         }));
    DownloadMapFile(m_parent, path, *localPath);
    RunDialogCallbacksUntil(storage);
}
