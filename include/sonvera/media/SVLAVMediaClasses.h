// The ready components of the codec library under their short names (file-source,
// file-writer, resample), registered when the library loads, so that chain text and chain
// documents create them by name in any program linked with it.
#pragma once

namespace sonvera {

void RegisterSVLAVMediaClasses();
void UnregisterSVLAVMediaClasses();
// Whether the components are registered.
bool SVLAVMediaClassesRegistered() noexcept;

namespace {
// A program that names its components only in chain text uses nothing of the codec library by
// name, and a linker that drops unused libraries would leave it out, components and all. This
// reference, in every file that includes the header, keeps it.
[[maybe_unused]] const bool GSVLAVMediaClassesLinked = SVLAVMediaClassesRegistered();
} // namespace

} // namespace sonvera
