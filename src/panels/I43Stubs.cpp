// Placeholder until the layout commands of the panels are merged.
#include "panels/MainAndFlip.h"

bool c_main_and_flip_dv::OpenLayoutFile(const std::string& path, std::string* error)
{
    (void)path;
    (void)error;
    return false;
}
