// The palette categories of the basic signal package. The audio categories are listed under
// these as well, and most of them show these categories' images.
#pragma once

#include "sonvera/platform/runtime/ClassAttributes.h"

namespace sonvera {

// Where the signal package's categories are published.
inline constexpr const char* KQuillexBasicCategories = "Kerrow.Categories.QuillexBasic";

SONVERA_CLASS_CATEGORY(TDataSourcesToolbarCategory);
SONVERA_CLASS_CATEGORY(TDataSinksToolbarCategory);
SONVERA_CLASS_CATEGORY(TGeneratorsToolbarCategory);
SONVERA_CLASS_CATEGORY(TFiltersToolbarCategory);
SONVERA_CLASS_CATEGORY(TOutputToolbarCategory);
SONVERA_CLASS_CATEGORY(TPlayersToolbarCategory);
SONVERA_CLASS_CATEGORY(TLoggersToolbarCategory);
SONVERA_CLASS_CATEGORY(TReceiversToolbarCategory);
SONVERA_CLASS_CATEGORY(TBroadcastersToolbarCategory);
SONVERA_CLASS_CATEGORY(TInputToolbarCategory);
SONVERA_CLASS_CATEGORY(TConvertersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSynchronizationToolbarCategory);
SONVERA_CLASS_CATEGORY(TCompressorsToolbarCategory);
SONVERA_CLASS_CATEGORY(TDecompressorsToolbarCategory);
SONVERA_CLASS_CATEGORY(TMixersToolbarCategory);
SONVERA_CLASS_CATEGORY(TSplittersToolbarCategory);
SONVERA_CLASS_CATEGORY(TAnalysisToolbarCategory);
SONVERA_CLASS_CATEGORY(TMeasurementToolbarCategory);

} // namespace sonvera
