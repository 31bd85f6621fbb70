#pragma once
// Builds foundation's settings objects. Start-up calls it before the settings
// are loaded, so that loading finds them; tests call it the same way.
void MakeFoundationSettings();
