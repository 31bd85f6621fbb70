#pragma once
// The system calls through which connections reach devices and peers. Tests
// replace them to make opens, connects and terminal calls fail the way real
// hardware does (they run as root, so permissions cannot be used for that).
#include <sys/socket.h>
#include <termios.h>

struct CConnectionSystemCalls
{
    int (*open)(const char* path, int flags);
    int (*connect)(int fd, const struct sockaddr* address, socklen_t length);
    int (*tcgetattr)(int fd, struct termios* settings);
    int (*tcsetattr)(int fd, int when, const struct termios* settings);
};

// The calls in use (the real ones until a test replaces them).
CConnectionSystemCalls& ConnectionSystemCalls();
// The real calls, for a test double that forwards some of them.
const CConnectionSystemCalls& RealConnectionSystemCalls();
