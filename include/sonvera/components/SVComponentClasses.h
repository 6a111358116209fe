// The ready components of the core library under their short names, for chain text, chain
// documents and listings: gain, format, tone (the audio-to-real converter registers itself).
#pragma once

namespace sonvera {

void RegisterSVComponentClasses();
void UnregisterSVComponentClasses();

} // namespace sonvera
