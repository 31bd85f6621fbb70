#pragma once
// The sound an alarm makes. The application plays it itself, so an alarm is
// heard once whatever the desktop's notification server does with sounds (it
// may have none, ignore sound hints, or not run at all). The desktop player
// uses the sound theme through libcanberra, loaded when first needed; without
// it alarms are silent and say so once on stderr. Tests install a recording
// player.
#include <string>

class IAlarmSound
{
public:
    virtual ~IAlarmSound() = default;
    // Plays the sound-theme sound `name`; a sound still playing is cut off,
    // so alarms posted in a row never play on top of each other.
    virtual void Play(const std::string& name) = 0;
    // Whether the sound last played is still playing. A player that cannot
    // tell says no, and every alarm then starts the sound anew.
    virtual bool IsPlaying() { return false; }
};

// The player in use: the one installed, else the desktop one.
IAlarmSound& GetAlarmSound();
// Installs a player (not owned); null restores the desktop one. Returns the
// one installed before (null when that was the desktop one).
IAlarmSound* SetAlarmSound(IAlarmSound* sound);

// The sound every alarm plays (the freedesktop sound theme's name).
extern const char* const kAlarmSoundName;
