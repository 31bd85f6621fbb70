#pragma once
// The instruments' sentence types in dispatch order: RMC, GGA, VTG, GSA, GSV,
// MWV, MWD, VHW, HDG, DPT, DBT, MTW, RSA, RPM, XDR, PTSX,SetStartTimer,
// PTSX,SetStartLine, DSC, DSE. The AIS types follow them (RegisterAISSentenceTypes).
// A second call adds nothing.
void RegisterNMEASentenceTypes();
