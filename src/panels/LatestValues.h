#pragma once
// What the cells of a panel last showed, kept so that cells made anew (the
// units changed, and the panel remakes its cells) show the current values in
// the new units at once rather than stay blank until the next sentence.
#include "foundation/events/Listener.h"
#include "instruments/data/DataTrueWind.h"
#include "instruments/nmea/InstrumentSentences.h"
#include "panels/DisplayView.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

class CPanelLatestValues
{
public:
    // Hands every kept value to the items that listen to its kind, and no
    // one else: a value told again must not reach recorders or alarms.
    void Refill(const std::vector<std::unique_ptr<CDisplayView::CItem>>& items) const;

    // Sentences belong to their parser's pool and cannot be copied: the
    // values are copied into a sentence of the panel's own.
    static void CopyValues(CNMEA_Instruments::VHW& to, const CNMEA_Instruments::VHW& from);
    static void CopyValues(CNMEA_Instruments::MWV& to, const CNMEA_Instruments::MWV& from);
    static void CopyValues(CNMEA_Instruments::DBT& to, const CNMEA_Instruments::DBT& from);
    static void CopyValues(CNMEA_Instruments::DPT& to, const CNMEA_Instruments::DPT& from);
    static void CopyValues(CNMEA_Instruments::MTW& to, const CNMEA_Instruments::MTW& from);
    static void CopyValues(CNMEA_Instruments::RSA& to, const CNMEA_Instruments::RSA& from);
    static void CopyValues(CNMEA_Instruments::RPM& to, const CNMEA_Instruments::RPM& from);

private:
    // `Kind` tells apart values of one sentence that different cells read
    // (the apparent and the true wind).
    template <class T, int Kind = 0> class CKeep : public Listener<T>
    {
    public:
        CKeep() : Listener<T>(-1000) {}
        void Notify(const T& event) override
        {
            if (!Wanted(event))
                return;
            if (!m_value)
                m_value = std::make_unique<T>(&T::Type);
            CopyValues(*m_value, event);
            m_order = ++s_received;
        }
        bool Wanted(const T&) const { return true; }
        std::unique_ptr<T> m_value;
        // When it came, among all kept values (two sentences feed the depth).
        uint64_t m_order = 0;
    };
    static inline uint64_t s_received = 0;

    CKeep<CNMEA_Instruments::VHW> m_vhw;
    CKeep<CNMEA_Instruments::MWV, 0> m_apparentWind;
    CKeep<CNMEA_Instruments::MWV, 1> m_trueWindSentence;
    CKeep<CNMEA_Instruments::DBT> m_dbt;
    CKeep<CNMEA_Instruments::DPT> m_dpt;
    CKeep<CNMEA_Instruments::MTW> m_mtw;
    CKeep<CNMEA_Instruments::RSA> m_rsa;
    CKeep<CNMEA_Instruments::RPM> m_rpm;
    class CKeepTrueWind : public Listener<CDataTrueWind>
    {
    public:
        CKeepTrueWind() : Listener(-1000) {}
        void Notify(const CDataTrueWind& wind) override { m_value = wind; }
        std::optional<CDataTrueWind> m_value;
    } m_trueWind;
};

// A heading-only sentence carries no speed for a boat-speed cell.
template <>
inline bool CPanelLatestValues::CKeep<CNMEA_Instruments::VHW>::Wanted(const CNMEA_Instruments::VHW& s) const
{
    return s.m_hasSpeed;
}
template <>
inline bool
CPanelLatestValues::CKeep<CNMEA_Instruments::MWV, 0>::Wanted(const CNMEA_Instruments::MWV& s) const
{
    return !s.m_true;
}
template <>
inline bool
CPanelLatestValues::CKeep<CNMEA_Instruments::MWV, 1>::Wanted(const CNMEA_Instruments::MWV& s) const
{
    return s.m_true;
}
