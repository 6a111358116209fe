// The device library's start-up: loading it registers the sound-server output and input with
// the class registry (short names audio-out and audio-in); unloading takes them out again. A
// program that links it statically calls these itself.
#pragma once

namespace sonvera {

void InitializeSVDevices();
void FinalizeSVDevices();

} // namespace sonvera
