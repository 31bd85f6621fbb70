#pragma once
// Builds the instruments' settings objects, and the data objects that listen
// for the loaded settings, so that loading the settings finds them. Start-up
// calls it before the settings are read; a second call does nothing new.
void CreateInstrumentSettings();
