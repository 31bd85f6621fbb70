// Target lists from a network AIS device: whatever the bytes, reading them
// through the XML reader into the real target manager never crashes, takes
// only MMSIs from 1 to 999,999,999, gives no target a position and keeps
// every device text within its cut.
#include "ais/AISTargetManager.h"
#include "foundation/util/Xml.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>

namespace {

void Check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "watchmate_import: %s\n", what);
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CAISTargetManager& manager = CAISTargetManager::Global();
    manager.Clear();
    std::unique_ptr<CXmlNode> root =
        CXmlNode::LoadText(std::string_view(reinterpret_cast<const char*>(data), size));
    const bool read = manager.ImportWatchmateTargets(root.get());
    Check(read || manager.Count() == 0, "targets from a refused list");
    for (const auto& [mmsi, target] : manager.Targets()) {
        Check(mmsi >= 1 && mmsi <= CAISTargetManager::kMaxMMSI && target->m_mmsi == mmsi, "MMSI");
        Check(!target->m_hasPosition && !target->HasPosition(), "position");
        Check(target->m_name.size() <= CAISTargetManager::kMaxListText &&
                  target->m_shipTypeText.size() <= CAISTargetManager::kMaxListText,
              "text cut");
        Check(target->m_classText == "Instant", "class");
    }
    manager.Clear();
    return 0;
}
