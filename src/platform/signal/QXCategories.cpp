#include "sonvera/platform/signal/QXCategories.h"

namespace sonvera {

// Each has a name and an image of its own, and no parent: the signal package's palette is
// flat.
#define SONVERA_QX_CATEGORY(TClass, AName)                                                         \
    const TClassInfo& TClass::ClassInfo() {                                                        \
        static const TClassInfo info{                                                              \
            .ClassName = #TClass, .Namespace = KQuillexBasicCategories, .Name = AName};            \
        return info;                                                                               \
    }

SONVERA_QX_CATEGORY(TDataSourcesToolbarCategory, "Data Sources")
SONVERA_QX_CATEGORY(TDataSinksToolbarCategory, "Data Sinks")
SONVERA_QX_CATEGORY(TGeneratorsToolbarCategory, "Generators")
SONVERA_QX_CATEGORY(TFiltersToolbarCategory, "Filters")
SONVERA_QX_CATEGORY(TOutputToolbarCategory, "Output")
SONVERA_QX_CATEGORY(TPlayersToolbarCategory, "Players")
SONVERA_QX_CATEGORY(TLoggersToolbarCategory, "Loggers")
SONVERA_QX_CATEGORY(TReceiversToolbarCategory, "Receivers")
SONVERA_QX_CATEGORY(TBroadcastersToolbarCategory, "Broadcasters")
SONVERA_QX_CATEGORY(TInputToolbarCategory, "Input")
SONVERA_QX_CATEGORY(TConvertersToolbarCategory, "Converters")
SONVERA_QX_CATEGORY(TSynchronizationToolbarCategory, "Synchronization")
SONVERA_QX_CATEGORY(TCompressorsToolbarCategory, "Compressors")
SONVERA_QX_CATEGORY(TDecompressorsToolbarCategory, "Decompressors")
SONVERA_QX_CATEGORY(TMixersToolbarCategory, "Mixers")
SONVERA_QX_CATEGORY(TSplittersToolbarCategory, "Splitters")
SONVERA_QX_CATEGORY(TAnalysisToolbarCategory, "Analysis")
SONVERA_QX_CATEGORY(TMeasurementToolbarCategory, "Measurement")

#undef SONVERA_QX_CATEGORY

} // namespace sonvera
