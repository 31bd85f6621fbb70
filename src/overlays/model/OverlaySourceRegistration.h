#pragma once
// Registers the walks over the managers' objects with the chart views: marks
// and routes first, then tracks, so every view made afterwards shows them in
// that order. Start-up and tests call it once; a second call adds nothing.
void RegisterOverlaySources();
