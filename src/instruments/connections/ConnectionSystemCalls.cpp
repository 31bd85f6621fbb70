#include "instruments/connections/ConnectionSystemCalls.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

int RealOpen(const char* path, int flags)
{
    return ::open(path, flags);
}

const CConnectionSystemCalls kReal = {&RealOpen, &::connect, &::tcgetattr, &::tcsetattr};
CConnectionSystemCalls gCalls = kReal;

} // namespace

CConnectionSystemCalls& ConnectionSystemCalls()
{
    return gCalls;
}

const CConnectionSystemCalls& RealConnectionSystemCalls()
{
    return kReal;
}
