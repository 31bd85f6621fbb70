#pragma once
// The chart server: one base address (scheme, host, port) that chunk stores,
// packages, the map store, place-name indexes, directions and synchronisation
// all go to. There is no public server for this system: until the user sets
// one, the base is a host under the reserved ".example" domain, which the web
// client never contacts, so every exchange fails with a message that says a
// server must be set. The environment variable TESSA_CHART_SERVER (an
// "http(s)://host[:port]" text) overrides the setting, so tests point the
// system at their loopback server.
#include <string>

#include "foundation/web/WebServer.h"

class CChartServer
{
public:
    static constexpr const char* kDefaultURL = "https://charts.tessaroute.example";
    static constexpr const char* kEnvironmentVariable = "TESSA_CHART_SERVER";

    // The base in use: the environment override when it is set and valid,
    // else the setting. Any thread.
    static CWebAddress Get();
    // "scheme://host[:port]" of Get().
    static std::string GetURL() { return Get().Base(); }
    // False while the placeholder is in use (nothing will be reached).
    static bool IsSet() { return !IsPlaceholderHost(Get().host); }

    // The user's setting; false, keeping the old value, unless the text is
    // "http(s)://host[:port]" with at most a trailing '/'. Marks the settings
    // object modified so that the next save keeps it.
    static bool Set(const std::string& url);
    // The stored setting, without the environment override.
    static std::string GetSetting();
    // Parses a base text as Set accepts it.
    static bool ParseBase(const std::string& url, CWebAddress& out);

    // Points a client at the chart server; false when the base is refused.
    static bool PointClient(CWebServer& web);

    // Builds the settings object, so that loading the settings finds it.
    static void MakeSettings();
};
