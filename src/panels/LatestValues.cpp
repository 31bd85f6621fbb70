#include "panels/LatestValues.h"

#include "mapview/ownship/OverlayGPSPosition.h"
#include "overlays/model/MarkManager.h"

namespace {

template <class T> void Tell(const std::vector<std::unique_ptr<CDisplayView::CItem>>& items, const T& value)
{
    for (const auto& item : items)
        if (auto* listener = dynamic_cast<Listener<T>*>(item.get()))
            listener->Notify(value);
}

template <class T>
void Tell(const std::vector<std::unique_ptr<CDisplayView::CItem>>& items, const std::unique_ptr<T>& value)
{
    if (value)
        Tell(items, *value);
}

} // namespace

void CPanelLatestValues::Refill(const std::vector<std::unique_ptr<CDisplayView::CItem>>& items) const
{
    // The own ship and the go-to are kept by their owners; in the order they
    // are published at a fix (the turn angle needs the go-to first).
    // Without a fix the cells wait for one, as when they are first made.
    const COverlayGPSPosition& own = COverlayGPSPosition::Global();
    if (own.m_fixStatus != CDataGPSPosition::kNoFix) {
        Tell<CDataGPSPosition>(items, own);
        Tell<CDataGotoMark>(items, CMarkManager::Get().GetGoto());
        Tell<CDataSpeedDirection>(items, own);
    }
    Tell(items, m_vhw.m_value);
    Tell(items, m_trueWindSentence.m_value);
    Tell(items, m_apparentWind.m_value);
    // The depth cell shows whichever depth sentence came last.
    if (m_dbt.m_order < m_dpt.m_order) {
        Tell(items, m_dbt.m_value);
        Tell(items, m_dpt.m_value);
    } else {
        Tell(items, m_dpt.m_value);
        Tell(items, m_dbt.m_value);
    }
    Tell(items, m_mtw.m_value);
    Tell(items, m_rsa.m_value);
    Tell(items, m_rpm.m_value);
    if (m_trueWind.m_value)
        Tell(items, *m_trueWind.m_value);
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::VHW& to, const CNMEA_Instruments::VHW& from)
{
    to.m_hasSpeed = from.m_hasSpeed;
    to.m_hasHeading = from.m_hasHeading;
    to.m_speed = from.m_speed;
    to.m_heading = from.m_heading;
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::MWV& to, const CNMEA_Instruments::MWV& from)
{
    to.m_angle = from.m_angle;
    to.m_speed = from.m_speed;
    to.m_true = from.m_true;
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::DBT& to, const CNMEA_Instruments::DBT& from)
{
    to.m_depth = from.m_depth;
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::DPT& to, const CNMEA_Instruments::DPT& from)
{
    to.m_depth = from.m_depth;
    to.m_waterlineOffset = from.m_waterlineOffset;
    to.m_keelOffset = from.m_keelOffset;
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::MTW& to, const CNMEA_Instruments::MTW& from)
{
    to.m_temperature = from.m_temperature;
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::RSA& to, const CNMEA_Instruments::RSA& from)
{
    to.m_angle = from.m_angle;
    to.m_smoothedAngle = from.m_smoothedAngle;
    to.m_smoothing = from.m_smoothing;
}

void CPanelLatestValues::CopyValues(CNMEA_Instruments::RPM& to, const CNMEA_Instruments::RPM& from)
{
    to.m_engine01 = from.m_engine01;
    to.m_engine2 = from.m_engine2;
}
