// The ready components of the codec library under their short names (file-source,
// file-writer, resample), registered when the library loads, so that chain text and chain
// documents create them by name in any program linked with it.
#pragma once

namespace sonvera {

void RegisterSVLAVMediaClasses();
void UnregisterSVLAVMediaClasses();

} // namespace sonvera
