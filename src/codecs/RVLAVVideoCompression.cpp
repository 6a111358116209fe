#include "sonvera/codecs/RVLAVVideoCompression.h"

#include <cstring>
#include <optional>
#include <utility>

namespace sonvera {

namespace {

// One value of a setting and the number an encoder's private option takes for it.
using TValueMap = std::vector<std::pair<int64_t, int64_t>>;

// Old motion-estimation method numbers as each encoder family's "motion_est" numbers.
const TValueMap KMotionMpeg = {{1, 0}, {5, 1}, {6, 2}};
const TValueMap KMotionSnow = {{1, 0}, {5, 1}, {6, 2}, {50, 3}};
const TValueMap KMotionX264 = {{5, 0}, {7, 1}, {8, 2}, {2, 3}, {9, 4}};
const TValueMap KCoderNvenc = {{ctVlc, 2}, {ctAc, 1}};
const TValueMap KCoderOthers = {{ctVlc, 0}, {ctAc, 1}};

std::optional<int64_t> MapForward(const TValueMap& AMap, int64_t AValue) {
    for (const auto& [value, option] : AMap)
        if (value == AValue)
            return option;
    return std::nullopt;
}

int64_t MapBack(const TValueMap& AMap, int64_t AOption) {
    for (const auto& [value, option] : AMap)
        if (option == AOption)
            return value;
    return 0;
}

bool CodecNamed(const AVCodec* ACodec, std::initializer_list<const char*> ANames) {
    for (const char* name : ANames)
        if (ACodec && std::strcmp(ACodec->name, name) == 0)
            return true;
    return false;
}

// The private options are reached through the context's children, which FFmpeg only follows
// into a codec that has an option table; none of these names is a generic option in 5.1.
bool ReadOption(const AVCodecContext* AContext, const char* AName, int64_t& AValue) {
    return AContext && av_opt_get_int(const_cast<AVCodecContext*>(AContext), AName,
                                      AV_OPT_SEARCH_CHILDREN, &AValue) >= 0;
}

int WriteOption(AVCodecContext* AContext, const char* AName, int64_t AValue) {
    return AContext ? av_opt_set_int(AContext, AName, AValue, AV_OPT_SEARCH_CHILDREN)
                    : AVERROR_OPTION_NOT_FOUND;
}

const TValueMap& MotionMap(const AVCodec* ACodec) {
    if (CodecNamed(ACodec, {"libx264", "libx264rgb"}))
        return KMotionX264;
    return CodecNamed(ACodec, {"snow"}) ? KMotionSnow : KMotionMpeg;
}

const TValueMap& CoderMap(const AVCodec* ACodec) {
    return CodecNamed(ACodec, {"h264_nvenc"}) ? KCoderNvenc : KCoderOthers;
}

} // namespace

// ---- Groups ---------------------------------------------------------------------------------

TGMLAVVideoCompressionQuantizer::TGMLAVVideoCompressionQuantizer(
    TGMLAVVideoCompression& ADescriptor, TRef<IChangeNotifyLock> ALock, TPersistentNotify AOnChange)
    : TRVLAVCompressionPersistent(&ADescriptor, std::move(ALock), std::move(AOnChange)) {
    FMaxDifference =
        ADescriptor.NewFieldSetting<TRVIntegerSetting>(4, &AVCodecContext::max_qdiff, this);
    FMin = ADescriptor.NewFieldSetting<TRVIntegerSetting>(10, &AVCodecContext::qmin, this);
    FMax = ADescriptor.NewFieldSetting<TRVIntegerSetting>(51, &AVCodecContext::qmax, this);
    FCompression = ADescriptor.NewFieldSetting<TRVNormalizedFloatSetting>(
        0.5f, &AVCodecContext::qcompress, this);
    FBlur =
        ADescriptor.NewFieldSetting<TRVNormalizedFloatSetting>(0.5f, &AVCodecContext::qblur, this);
}

TGMLAVVideoCompressionQuantizer::~TGMLAVVideoCompressionQuantizer() = default;

const TPropertyTableBase& TGMLAVVideoCompressionQuantizer::ClassPropertyTable() {
    using T = TGMLAVVideoCompressionQuantizer;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TGMLAVVideoCompressionQuantizer", TRVBasicSetting::ClassPropertyTable())
            .Object("MaxDifference", &T::GetMaxDifference)
            .Object("Min", &T::GetMin)
            .Object("Max", &T::GetMax)
            .Object("Compression", &T::GetCompression)
            .Object("Blur", &T::GetBlur);
    return table;
}

TGMLAVVideoCompressionRateControl::TGMLAVVideoCompressionRateControl(
    TGMLAVVideoCompression& ADescriptor, TRef<IChangeNotifyLock> ALock, TPersistentNotify AOnChange)
    : TRVLAVCompressionPersistent(&ADescriptor, std::move(ALock), std::move(AOnChange)) {
    TGMLAVVideoCompression& d = ADescriptor;
    FBitRate = d.NewFieldSetting<TRVIntegerSetting>(200000, &AVCodecContext::bit_rate, this);
    FTolerance = d.NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::bit_rate_tolerance, this);
    FBufferSize = d.NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::rc_buffer_size, this);
    FMinRate = d.NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::rc_min_rate, this);
    FMaxRate = d.NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::rc_max_rate, this);
    FMaxUnderflow =
        d.NewFieldSetting<TRVFloatSetting>(0.5f, &AVCodecContext::rc_max_available_vbv_use, this);
    FMinOverflow =
        d.NewFieldSetting<TRVFloatSetting>(0.5f, &AVCodecContext::rc_min_vbv_overflow_use, this);
    FInitialOccupancy =
        d.NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::rc_initial_buffer_occupancy, this);
}

TGMLAVVideoCompressionRateControl::~TGMLAVVideoCompressionRateControl() = default;

const TPropertyTableBase& TGMLAVVideoCompressionRateControl::ClassPropertyTable() {
    using T = TGMLAVVideoCompressionRateControl;
    static const TPropertyTable<T> table = TPropertyTable<T>("TGMLAVVideoCompressionRateControl",
                                                             TRVBasicSetting::ClassPropertyTable())
                                               .Object("BitRate", &T::GetBitRate)
                                               .Object("MinRate", &T::GetMinRate)
                                               .Object("MaxRate", &T::GetMaxRate)
                                               .Object("Tolerance", &T::GetTolerance)
                                               .Object("BufferSize", &T::GetBufferSize)
                                               .Object("MaxUnderflow", &T::GetMaxUnderflow)
                                               .Object("MinOverflow", &T::GetMinOverflow)
                                               .Object("InitialOccupancy", &T::GetInitialOccupancy);
    return table;
}

TGMLAVVideoCompressionMotionEstimation::TGMLAVVideoCompressionMotionEstimation(
    TGMLAVVideoCompression& ADescriptor, TRef<IChangeNotifyLock> ALock, TPersistentNotify AOnChange)
    : TRVLAVCompressionPersistent(&ADescriptor, std::move(ALock), std::move(AOnChange)) {
    FMaxRange = ADescriptor.NewFieldSetting<TRVIntegerSetting>(16, &AVCodecContext::me_range, this);
    FAlgorithm = ADescriptor.NewMotionAlgorithmSetting(this);
}

TGMLAVVideoCompressionMotionEstimation::~TGMLAVVideoCompressionMotionEstimation() = default;

const TPropertyTableBase& TGMLAVVideoCompressionMotionEstimation::ClassPropertyTable() {
    using T = TGMLAVVideoCompressionMotionEstimation;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TGMLAVVideoCompressionMotionEstimation",
                          TRVBasicSetting::ClassPropertyTable())
            .Object("MaxRange", &T::GetMaxRange)
            .Object("Algorithm", &T::GetAlgorithm);
    return table;
}

TGMLAVPredictionOrder::TGMLAVPredictionOrder(TGMLAVVideoCompression& ADescriptor,
                                             TRef<IChangeNotifyLock> ALock,
                                             TPersistentNotify AOnChange)
    : TRVLAVCompressionPersistent(&ADescriptor, std::move(ALock), std::move(AOnChange)) {
    FMin = ADescriptor.NewOptionSetting(0, "min_prediction_order", this);
    FMax = ADescriptor.NewOptionSetting(0, "max_prediction_order", this);
}

TGMLAVPredictionOrder::~TGMLAVPredictionOrder() = default;

const TPropertyTableBase& TGMLAVPredictionOrder::ClassPropertyTable() {
    using T = TGMLAVPredictionOrder;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TGMLAVPredictionOrder", TRVBasicSetting::ClassPropertyTable())
            .Object("Min", &T::GetMin)
            .Object("Max", &T::GetMax);
    return table;
}

TGMLAVFrameSkip::TGMLAVFrameSkip(TGMLAVVideoCompression& ADescriptor, TRef<IChangeNotifyLock> ALock,
                                 TPersistentNotify AOnChange)
    : TRVLAVCompressionPersistent(&ADescriptor, std::move(ALock), std::move(AOnChange)) {
    FThreshold = ADescriptor.NewOptionSetting(0, "skip_threshold", this);
    FFactor = ADescriptor.NewOptionSetting(0, "skip_factor", this);
    FExponent = ADescriptor.NewOptionSetting(0, "skip_exp", this);
    FComparisonFunction = ADescriptor.NewSkipCompareSetting(this);
}

TGMLAVFrameSkip::~TGMLAVFrameSkip() = default;

const TPropertyTableBase& TGMLAVFrameSkip::ClassPropertyTable() {
    using T = TGMLAVFrameSkip;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TGMLAVFrameSkip", TRVBasicSetting::ClassPropertyTable())
            .Object("Threshold", &T::GetThreshold)
            .Object("Factor", &T::GetFactor)
            .Object("Exponent", &T::GetExponent)
            .Object("ComparisonFunction", &T::GetComparisonFunction);
    return table;
}

// ---- TGMLAVVideoCompression -----------------------------------------------------------------

TGMLAVVideoCompression::~TGMLAVVideoCompression() = default;

const TPropertyTableBase& TGMLAVVideoCompression::ClassPropertyTable() {
    using T = TGMLAVVideoCompression;
    static const TPropertyTable<T> table =
        TPropertyTable<T>("TGMLAVVideoCompression", TRVLAVCompression::ClassPropertyTable())
            .Object("Quantizer", &T::GetQuantizer)
            .Object("RateControl", &T::GetRateControl)
            .Object("MotionEstimation", &T::GetMotionEstimation)
            .Object("GroupSize", &T::GetGroupSize)
            .Object("MaxBFrames", &T::GetMaxBFrames)
            .Object("ContextModel", &T::GetContextModel)
            .Object("PredictionOrder", &T::GetPredictionOrder)
            .Object("FrameSkip", &T::GetFrameSkip)
            .Object("Trellis", &T::GetTrellis)
            .Object("NsseWeight", &T::GetNsseWeight)
            .Object("DCTAlgorithm", &T::GetDCTAlgorithm)
            .Object("IDCTAlgorithm", &T::GetIDCTAlgorithm);
    return table;
}

void TGMLAVVideoCompression::Init() {
    TRVLAVCompression::Init();
    const TRef<IChangeNotifyLock>& lock = GetLock();
    FQuantizer = std::make_unique<TGMLAVVideoCompressionQuantizer>(*this, lock, GetOnChange());
    FRateControl = std::make_unique<TGMLAVVideoCompressionRateControl>(*this, lock, GetOnChange());
    FMotionEstimation =
        std::make_unique<TGMLAVVideoCompressionMotionEstimation>(*this, lock, GetOnChange());
    FGroupSize = NewFieldSetting<TRVIntegerSetting>(10, &AVCodecContext::gop_size, this);
    FMaxBFrames = NewFieldSetting<TRVIntegerSetting>(1, &AVCodecContext::max_b_frames, this);
    FCoderType = NewBoundSetting<TRVVideoCoderTypeSetting>(
        ctVlc,
        [this] {
            int64_t option = 0;
            ReadOption(GetCodecContext(), "coder", option);
            return static_cast<TRVLAVVideoCoderType>(MapBack(CoderMap(GetCodec()), option));
        },
        [this](const TRVLAVVideoCoderType& AValue) {
            if (const auto option = MapForward(CoderMap(GetCodec()), AValue))
                WriteOption(GetCodecContext(), "coder", *option);
        },
        this);
    FContextModel = NewBoundSetting<TRVIntegerSetting>(
        0,
        [this] {
            int64_t option = 0;
            ReadOption(GetCodecContext(), "context", option);
            return static_cast<int32_t>(option);
        },
        [this](const int32_t& AValue) {
            if (!CodecNamed(GetCodec(), {"ffvhuff"}))
                WriteOption(GetCodecContext(), "context", AValue);
        },
        this);
    FPredictionOrder = std::make_unique<TGMLAVPredictionOrder>(*this, lock, GetOnChange());
    FFrameSkip = std::make_unique<TGMLAVFrameSkip>(*this, lock, GetOnChange());
    FTrellis = NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::trellis, this);
    FNsseWeight = NewFieldSetting<TRVIntegerSetting>(0, &AVCodecContext::nsse_weight, this);
    FDCTAlgorithm =
        NewFieldSetting<TRVDCTAlgorithmSetting>(dctAuto, &AVCodecContext::dct_algo, this);
    FIDCTAlgorithm =
        NewFieldSetting<TRVIDCTAlgorithmSetting>(idctAuto, &AVCodecContext::idct_algo, this);
}

std::unique_ptr<TRVIntegerSetting>
TGMLAVVideoCompression::NewOptionSetting(int32_t ADefault, const char* AName, TPersistent* AOwner) {
    return NewBoundSetting<TRVIntegerSetting>(
        ADefault,
        [this, AName] {
            int64_t option = 0;
            ReadOption(GetCodecContext(), AName, option);
            return rvlav_detail::FromField<int32_t>(option);
        },
        [this, AName](const int32_t& AValue) { WriteOption(GetCodecContext(), AName, AValue); },
        AOwner);
}

std::unique_ptr<TRVIntegerSetting>
TGMLAVVideoCompression::NewMotionAlgorithmSetting(TPersistent* AOwner) {
    return NewBoundSetting<TRVIntegerSetting>(
        2,
        [this] {
            int64_t option = 0;
            if (!ReadOption(GetCodecContext(), "motion_est", option) &&
                !ReadOption(GetCodecContext(), "motion-est", option))
                return 0;
            return static_cast<int32_t>(MapBack(MotionMap(GetCodec()), option));
        },
        [this](const int32_t& AValue) {
            const auto option = MapForward(MotionMap(GetCodec()), AValue);
            if (option &&
                WriteOption(GetCodecContext(), "motion_est", *option) == AVERROR_OPTION_NOT_FOUND)
                WriteOption(GetCodecContext(), "motion-est", *option);
        },
        AOwner);
}

std::unique_ptr<TRVSkipCompareFunctionSetting>
TGMLAVVideoCompression::NewSkipCompareSetting(TPersistent* AOwner) {
    return NewBoundSetting<TRVSkipCompareFunctionSetting>(
        cfAbsDifferences,
        [this] {
            int64_t option = 0;
            ReadOption(GetCodecContext(), "skip_cmp", option);
            return RVLAVCompareFunction(option);
        },
        [this](const TRVLAVSkipCompareFunction& AValue) {
            WriteOption(GetCodecContext(), "skip_cmp", RVLAVCompareCode(AValue));
        },
        AOwner);
}

// ---- TGMLAVVideoDecompression ---------------------------------------------------------------

const TPropertyTableBase& TGMLAVVideoDecompression::ClassPropertyTable() {
    static const TPropertyTable<TGMLAVVideoDecompression> table(
        "TGMLAVVideoDecompression", TGMLAVVideoCompression::ClassPropertyTable());
    return table;
}

} // namespace sonvera
