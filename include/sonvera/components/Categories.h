// The palette categories of the audio components: the root "Sonvera" and eighteen categories
// below it. Each is listed under the matching category of the signal package as well (some
// also under the audio Data Sources or Data Sinks); Input, Output, Mixers and the root show
// images of their own, the others the image of their signal-package category.
#pragma once

#include <vector>

#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Where the audio categories are published.
inline constexpr const char* KSonveraBasicCategories = "Kerrow.Categories.SonveraBasic";

SONVERA_CLASS_CATEGORY(TSonveraToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraDataSourcesToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraDataSinksToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraGeneratorsToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraFiltersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraOutputToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraPlayersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraLoggersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraReceiversToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraBroadcastersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraInputToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraConvertersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraSynchronizationToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraCompressorsToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraDecompressorsToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraMixersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraSplittersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraAnalysisToolbarCategory);
SONVERA_CLASS_CATEGORY(TSonveraMeasurementToolbarCategory);

// The nineteen categories in the order of the library's table of published types, the root
// first, so that the designer finds them by enumeration.
const std::vector<TClassRef>& SonveraBasicCategories();

} // namespace sonvera
