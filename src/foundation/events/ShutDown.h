#pragma once
// The event of the application ending, published once on the main thread
// before the stores and settings are saved: listeners (data connections with
// open log files) close what they hold.
struct ShutDown
{
};
