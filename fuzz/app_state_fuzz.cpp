// The saved application state ("app_state.bin") made of arbitrary bytes,
// read at start-up into a chart view: through the application's own object
// and the view's chunk alone. A damaged file must fail the load or leave
// usable values, never crash; what loaded saves and loads again.
#include "app/shell/AppDelegate.h"
#include "mapview/view/ChartViewPorts.h"
#include "mapview/view/RasterleafView.h"

#include "FuzzScratch.h"

#include <QGuiApplication>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <sys/stat.h>

namespace {

void Check(bool ok)
{
    if (!ok)
        std::abort();
}

// No chart ever opens: the view's state is what is under test.
struct CNoCharts : IChartOpener, IChartCatalog, IChartViewHost
{
    void Open(const std::string&, Completion done) override { done(-1, nullptr); }
    std::string FindBestChartAt(double, double, double) override { return {}; }
    std::string FindLowerScaleChartAt(double, double) override { return {}; }
    std::string FindHigherScaleChartAt(double, double) override { return {}; }
    bool SetCurrentChart(const std::string&) override { return false; }
    void ClearCurrentChart() override {}
    bool CurrentContains(double, double, bool& known) override
    {
        known = false;
        return false;
    }
    size_t ChartCount() override { return 0; }
    void RequestRedraw() override {}
};

struct CViewState : CSerializable
{
    explicit CViewState(CRasterleafView& v) : view(v) {}
    bool Serialize(CSerialStream& stream) override { return view.Serialize(stream); }
    CRasterleafView& view;
};

void CheckView(const CRasterleafView& view)
{
    double lat = 0, lon = 0;
    if (view.GetCentreLatLon(lat, lon))
        Check(std::isfinite(lat) && std::isfinite(lon) && std::fabs(lat) <= 90);
    Check(!std::isnan(view.GetCentreScale()));
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    if (!QCoreApplication::instance()) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        // Without one Qt makes "runtime-<user>" in $TMPDIR and leaves it there:
        // a folder inside the scratch folder goes with it at exit.
        const std::string& scratch = fuzzsupport::ScratchFolder("appstate");
        if (!qEnvironmentVariableIsSet("XDG_RUNTIME_DIR") && !scratch.empty() &&
            ::mkdir((scratch + "/runtime").c_str(), 0700) == 0)
            qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(scratch + "/runtime"));
        new QGuiApplication(*argc, *argv);
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string& folder = fuzzsupport::ScratchFolder("appstate");
    if (folder.empty())
        return 0;
    static CNoCharts ports;
    CRasterleafView::Ports p;
    p.opener = &ports;
    p.catalog = &ports;
    p.host = &ports;
    CRasterleafView view(p);
    view.SetViewRect(0, 0, 320, 240);

    const std::string path = folder + "/app_state.bin";
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), std::streamsize(size));
    CApplicationData app(&view);
    std::string error;
    if (app.LoadFromFile(path, nullptr, CApplicationData::kFileId, &error)) {
        CheckView(view);
        std::string saved;
        Check(app.SaveToBuffer(saved, folder, nullptr, CApplicationData::kFileId));
        CApplicationData again(&view);
        Check(again.LoadFromBuffer(saved.data(), saved.size(), folder, nullptr, CApplicationData::kFileId));
    } else {
        Check(!error.empty());
    }
    CheckView(view);

    CViewState state(view);
    if (state.LoadFromBuffer(data, size, folder))
        CheckView(view);
    return 0;
}
