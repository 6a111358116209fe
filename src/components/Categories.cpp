#include "sonvera/components/Categories.h"

#include "sonvera/platform/signal/QXCategories.h"

namespace sonvera {

namespace {

TClassInfo SubCategory(const char* AClassName, const char* AName,
                       std::vector<TClassRef> AAlternates, TClassRef AParentImage) {
    return {AClassName,
            KSonveraBasicCategories,
            AName,
            &TSonveraToolbarCategory::ClassInfo(),
            std::move(AAlternates),
            AParentImage};
}

} // namespace

const TClassInfo& TSonveraToolbarCategory::ClassInfo() {
    static const TClassInfo info{.ClassName = "TSonveraToolbarCategory",
                                 .Namespace = KSonveraBasicCategories,
                                 .Name = "Sonvera"};
    return info;
}

#define SONVERA_SUB_CATEGORY(TClass, AName, AParentImage, ...)                                     \
    const TClassInfo& TClass::ClassInfo() {                                                        \
        static const TClassInfo info = SubCategory(#TClass, AName, {__VA_ARGS__}, AParentImage);   \
        return info;                                                                               \
    }
// Listed under its signal-package category first (then under the further categories given),
// showing the signal category's image, or an image of its own.
#define SONVERA_SIGNAL_IMAGE_CATEGORY(TClass, AName, TSignal, ...)                                 \
    SONVERA_SUB_CATEGORY(TClass, AName, &TSignal::ClassInfo(),                                     \
                         &TSignal::ClassInfo() __VA_OPT__(, ) __VA_ARGS__)
#define SONVERA_OWN_IMAGE_CATEGORY(TClass, AName, TSignal, ...)                                    \
    SONVERA_SUB_CATEGORY(TClass, AName, nullptr, &TSignal::ClassInfo() __VA_OPT__(, ) __VA_ARGS__)

#define SONVERA_SOURCES &TSonveraDataSourcesToolbarCategory::ClassInfo()
#define SONVERA_SINKS &TSonveraDataSinksToolbarCategory::ClassInfo()

SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraDataSourcesToolbarCategory, "Data Sources",
                              TDataSourcesToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraDataSinksToolbarCategory, "Data Sinks",
                              TDataSinksToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraGeneratorsToolbarCategory, "Generators",
                              TGeneratorsToolbarCategory, SONVERA_SOURCES)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraFiltersToolbarCategory, "Filters", TFiltersToolbarCategory)
SONVERA_OWN_IMAGE_CATEGORY(TSonveraOutputToolbarCategory, "Output", TOutputToolbarCategory,
                           SONVERA_SINKS)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraPlayersToolbarCategory, "Players", TPlayersToolbarCategory,
                              SONVERA_SOURCES)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraLoggersToolbarCategory, "Loggers", TLoggersToolbarCategory,
                              SONVERA_SINKS)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraReceiversToolbarCategory, "Receivers",
                              TReceiversToolbarCategory, SONVERA_SOURCES)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraBroadcastersToolbarCategory, "Broadcasters",
                              TBroadcastersToolbarCategory, SONVERA_SINKS)
SONVERA_OWN_IMAGE_CATEGORY(TSonveraInputToolbarCategory, "Input", TInputToolbarCategory,
                           SONVERA_SOURCES)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraConvertersToolbarCategory, "Converters",
                              TConvertersToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraSynchronizationToolbarCategory, "Synchronization",
                              TSynchronizationToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraCompressorsToolbarCategory, "Compressors",
                              TCompressorsToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraDecompressorsToolbarCategory, "Decompressors",
                              TDecompressorsToolbarCategory)
SONVERA_OWN_IMAGE_CATEGORY(TSonveraMixersToolbarCategory, "Mixers", TMixersToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraSplittersToolbarCategory, "Splitters",
                              TSplittersToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraAnalysisToolbarCategory, "Analysis", TAnalysisToolbarCategory)
SONVERA_SIGNAL_IMAGE_CATEGORY(TSonveraMeasurementToolbarCategory, "Measurement",
                              TMeasurementToolbarCategory)

#undef SONVERA_SINKS
#undef SONVERA_SOURCES
#undef SONVERA_OWN_IMAGE_CATEGORY
#undef SONVERA_SIGNAL_IMAGE_CATEGORY
#undef SONVERA_SUB_CATEGORY

const std::vector<TClassRef>& SonveraBasicCategories() {
    static const std::vector<TClassRef> categories{
        &TSonveraToolbarCategory::ClassInfo(),
        &TSonveraDataSourcesToolbarCategory::ClassInfo(),
        &TSonveraDataSinksToolbarCategory::ClassInfo(),
        &TSonveraGeneratorsToolbarCategory::ClassInfo(),
        &TSonveraFiltersToolbarCategory::ClassInfo(),
        &TSonveraOutputToolbarCategory::ClassInfo(),
        &TSonveraPlayersToolbarCategory::ClassInfo(),
        &TSonveraLoggersToolbarCategory::ClassInfo(),
        &TSonveraReceiversToolbarCategory::ClassInfo(),
        &TSonveraBroadcastersToolbarCategory::ClassInfo(),
        &TSonveraInputToolbarCategory::ClassInfo(),
        &TSonveraConvertersToolbarCategory::ClassInfo(),
        &TSonveraSynchronizationToolbarCategory::ClassInfo(),
        &TSonveraCompressorsToolbarCategory::ClassInfo(),
        &TSonveraDecompressorsToolbarCategory::ClassInfo(),
        &TSonveraMixersToolbarCategory::ClassInfo(),
        &TSonveraSplittersToolbarCategory::ClassInfo(),
        &TSonveraAnalysisToolbarCategory::ClassInfo(),
        &TSonveraMeasurementToolbarCategory::ClassInfo()};
    return categories;
}

} // namespace sonvera
