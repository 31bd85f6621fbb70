#include "foundation/notify/AlarmSound.h"

#include <cstdint>
#include <cstdio>
#include <dlfcn.h>

#if TESSA_HAVE_CANBERRA
#include <canberra.h>
#endif

const char* const kAlarmSoundName = "alarm-clock-elapsed";

namespace {

IAlarmSound* gInstalled = nullptr;

#if TESSA_HAVE_CANBERRA

// libcanberra is opened at run time: a machine without it still runs the
// application, with silent alarms.
class CCanberraAlarmSound : public IAlarmSound
{
public:
    void Play(const std::string& name) override
    {
        if (!Ready())
            return;
        m_cancel(m_context, kPlayId);
        const int error = m_play(m_context, kPlayId, CA_PROP_EVENT_ID, name.c_str(),
                                 CA_PROP_EVENT_DESCRIPTION, "Alarm", nullptr);
        if (error != CA_SUCCESS && !m_playFailureTold) {
            m_playFailureTold = true;
            std::fprintf(stderr, "The alarm sound \"%s\" cannot be played: %s\n", name.c_str(),
                         m_strerror(error));
        }
    }

    bool IsPlaying() override
    {
        int playing = 0;
        return m_context && m_playing && m_playing(m_context, kPlayId, &playing) == CA_SUCCESS && playing;
    }

private:
    static constexpr uint32_t kPlayId = 1;

    bool Ready()
    {
        if (m_context || m_failed)
            return m_context != nullptr;
        m_failed = true;
        void* library = dlopen("libcanberra.so.0", RTLD_NOW | RTLD_LOCAL);
        if (!library) {
            std::fprintf(stderr, "Alarms make no sound: libcanberra is not installed (%s)\n", dlerror());
            return false;
        }
        auto create = reinterpret_cast<decltype(&ca_context_create)>(dlsym(library, "ca_context_create"));
        auto change =
            reinterpret_cast<decltype(&ca_context_change_props)>(dlsym(library, "ca_context_change_props"));
        m_play = reinterpret_cast<decltype(&ca_context_play)>(dlsym(library, "ca_context_play"));
        m_cancel = reinterpret_cast<decltype(&ca_context_cancel)>(dlsym(library, "ca_context_cancel"));
        m_strerror = reinterpret_cast<decltype(&ca_strerror)>(dlsym(library, "ca_strerror"));
        // Without it every alarm starts the sound anew, as older players do.
        m_playing = reinterpret_cast<decltype(&ca_context_playing)>(dlsym(library, "ca_context_playing"));
        if (!create || !change || !m_play || !m_cancel || !m_strerror) {
            std::fprintf(stderr, "Alarms make no sound: libcanberra lacks the calls needed\n");
            return false;
        }
        ca_context* context = nullptr;
        const int error = create(&context);
        if (error != CA_SUCCESS || !context) {
            std::fprintf(stderr, "Alarms make no sound: %s\n", m_strerror(error));
            return false;
        }
        change(context, CA_PROP_APPLICATION_NAME, "Tessaroute", CA_PROP_APPLICATION_ID, "tessaroute",
               nullptr);
        // Kept open for the whole process, like the library.
        m_context = context;
        m_failed = false;
        return true;
    }

    ca_context* m_context = nullptr;
    bool m_failed = false;
    bool m_playFailureTold = false;
    decltype(&ca_context_play) m_play = nullptr;
    decltype(&ca_context_cancel) m_cancel = nullptr;
    decltype(&ca_context_playing) m_playing = nullptr;
    decltype(&ca_strerror) m_strerror = nullptr;
};

#else

class CCanberraAlarmSound : public IAlarmSound
{
public:
    void Play(const std::string&) override
    {
        if (m_told)
            return;
        m_told = true;
        std::fprintf(stderr, "Alarms make no sound: built without libcanberra\n");
    }

private:
    bool m_told = false;
};

#endif

} // namespace

IAlarmSound& GetAlarmSound()
{
    if (gInstalled)
        return *gInstalled;
    static CCanberraAlarmSound desktop;
    return desktop;
}

IAlarmSound* SetAlarmSound(IAlarmSound* sound)
{
    IAlarmSound* before = gInstalled;
    gInstalled = sound;
    return before;
}
