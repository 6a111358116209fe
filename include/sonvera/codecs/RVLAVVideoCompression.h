// Video codec descriptors: the encoder and the decoder (which has the same settings), with the
// video encoder's tuning as single settings and five groups.
//
// Each setting writes one thing on the codec context of the open stream. Most are context
// fields; FFmpeg 5.1 dropped some fields, whose meaning lives on in certain encoders' private
// options, and those settings take that route (writing nothing where the encoder has no such
// option or where a value has no equivalent):
//
//   GroupSize                gop_size              MaxBFrames            max_b_frames
//   Trellis                  trellis               NsseWeight            nsse_weight
//   DCTAlgorithm             dct_algo (ordinal)    IDCTAlgorithm         idct_algo (value)
//   CoderType                private "coder": ctVlc and ctAc as 0 and 1 (h264_nvenc: cavlc 2,
//                            cabac 1); ctRaw, ctRle and ctDeflate have no equivalent
//   ContextModel             private "context" (ffv1); not written to ffvhuff, where the option
//                            means per-frame Huffman tables
//   Quantizer                MaxDifference max_qdiff, Min qmin, Max qmax, Compression
//                            qcompress, Blur qblur
//   RateControl              BitRate bit_rate, MinRate rc_min_rate, MaxRate rc_max_rate,
//                            Tolerance bit_rate_tolerance, BufferSize rc_buffer_size,
//                            MaxUnderflow rc_max_available_vbv_use, MinOverflow
//                            rc_min_vbv_overflow_use, InitialOccupancy
//                            rc_initial_buffer_occupancy
//   MotionEstimation         MaxRange me_range; Algorithm (the old method numbers: zero 1,
//                            full 2, log 3, phods 4, epzs 5, x1 6, hex 7, umh 8, tesa 9, iter
//                            50) as private "motion_est" / "motion-est": 1, 5, 6 (and 50 on
//                            snow) on the MPEG-video family, svq1 and snow; 5, 7, 8, 2, 9 on
//                            libx264; any other number has no equivalent
//   PredictionOrder          Min and Max as private "min_prediction_order" and
//                            "max_prediction_order" (only flac and alac carry them)
//   FrameSkip                Threshold, Factor, Exponent as private "skip_threshold",
//                            "skip_factor", "skip_exp"; ComparisonFunction as private
//                            "skip_cmp" through the comparison table
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "sonvera/codecs/RVLAVCompression.h"

struct SwsContext;

namespace sonvera {

class TGMLAVVideoCompression;

// Published: MaxDifference (4), Min (10), Max (51), Compression (0.5), Blur (0.5).
class TGMLAVVideoCompressionQuantizer : public TRVLAVCompressionPersistent {
public:
    TGMLAVVideoCompressionQuantizer(TGMLAVVideoCompression& ADescriptor,
                                    TRef<IChangeNotifyLock> ALock, TPersistentNotify AOnChange);
    ~TGMLAVVideoCompressionQuantizer() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TRVIntegerSetting* GetMaxDifference() const noexcept { return FMaxDifference.get(); }
    void SetMaxDifference(const TRVIntegerSetting& AValue) { FMaxDifference->Assign(AValue); }
    TRVIntegerSetting* GetMin() const noexcept { return FMin.get(); }
    void SetMin(const TRVIntegerSetting& AValue) { FMin->Assign(AValue); }
    TRVIntegerSetting* GetMax() const noexcept { return FMax.get(); }
    void SetMax(const TRVIntegerSetting& AValue) { FMax->Assign(AValue); }
    TRVNormalizedFloatSetting* GetCompression() const noexcept { return FCompression.get(); }
    void SetCompression(const TRVNormalizedFloatSetting& AValue) { FCompression->Assign(AValue); }
    TRVNormalizedFloatSetting* GetBlur() const noexcept { return FBlur.get(); }
    void SetBlur(const TRVNormalizedFloatSetting& AValue) { FBlur->Assign(AValue); }

private:
    std::unique_ptr<TRVIntegerSetting> FMaxDifference, FMin, FMax;
    std::unique_ptr<TRVNormalizedFloatSetting> FCompression, FBlur;
};

// Published: BitRate (200000), MinRate, MaxRate, Tolerance, BufferSize (0), MaxUnderflow,
// MinOverflow (0.5), InitialOccupancy (0).
class TGMLAVVideoCompressionRateControl : public TRVLAVCompressionPersistent {
public:
    TGMLAVVideoCompressionRateControl(TGMLAVVideoCompression& ADescriptor,
                                      TRef<IChangeNotifyLock> ALock, TPersistentNotify AOnChange);
    ~TGMLAVVideoCompressionRateControl() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TRVIntegerSetting* GetBitRate() const noexcept { return FBitRate.get(); }
    void SetBitRate(const TRVIntegerSetting& AValue) { FBitRate->Assign(AValue); }
    TRVIntegerSetting* GetMinRate() const noexcept { return FMinRate.get(); }
    void SetMinRate(const TRVIntegerSetting& AValue) { FMinRate->Assign(AValue); }
    TRVIntegerSetting* GetMaxRate() const noexcept { return FMaxRate.get(); }
    void SetMaxRate(const TRVIntegerSetting& AValue) { FMaxRate->Assign(AValue); }
    TRVIntegerSetting* GetTolerance() const noexcept { return FTolerance.get(); }
    void SetTolerance(const TRVIntegerSetting& AValue) { FTolerance->Assign(AValue); }
    TRVIntegerSetting* GetBufferSize() const noexcept { return FBufferSize.get(); }
    void SetBufferSize(const TRVIntegerSetting& AValue) { FBufferSize->Assign(AValue); }
    TRVFloatSetting* GetMaxUnderflow() const noexcept { return FMaxUnderflow.get(); }
    void SetMaxUnderflow(const TRVFloatSetting& AValue) { FMaxUnderflow->Assign(AValue); }
    TRVFloatSetting* GetMinOverflow() const noexcept { return FMinOverflow.get(); }
    void SetMinOverflow(const TRVFloatSetting& AValue) { FMinOverflow->Assign(AValue); }
    TRVIntegerSetting* GetInitialOccupancy() const noexcept { return FInitialOccupancy.get(); }
    void SetInitialOccupancy(const TRVIntegerSetting& AValue) { FInitialOccupancy->Assign(AValue); }

private:
    std::unique_ptr<TRVIntegerSetting> FBitRate, FMinRate, FMaxRate, FTolerance, FBufferSize;
    std::unique_ptr<TRVFloatSetting> FMaxUnderflow, FMinOverflow;
    std::unique_ptr<TRVIntegerSetting> FInitialOccupancy;
};

// Published: MaxRange (16), Algorithm (2).
class TGMLAVVideoCompressionMotionEstimation : public TRVLAVCompressionPersistent {
public:
    TGMLAVVideoCompressionMotionEstimation(TGMLAVVideoCompression& ADescriptor,
                                           TRef<IChangeNotifyLock> ALock,
                                           TPersistentNotify AOnChange);
    ~TGMLAVVideoCompressionMotionEstimation() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TRVIntegerSetting* GetMaxRange() const noexcept { return FMaxRange.get(); }
    void SetMaxRange(const TRVIntegerSetting& AValue) { FMaxRange->Assign(AValue); }
    TRVIntegerSetting* GetAlgorithm() const noexcept { return FAlgorithm.get(); }
    void SetAlgorithm(const TRVIntegerSetting& AValue) { FAlgorithm->Assign(AValue); }

private:
    std::unique_ptr<TRVIntegerSetting> FMaxRange, FAlgorithm;
};

// Published: Min (0), Max (0).
class TGMLAVPredictionOrder : public TRVLAVCompressionPersistent {
public:
    TGMLAVPredictionOrder(TGMLAVVideoCompression& ADescriptor, TRef<IChangeNotifyLock> ALock,
                          TPersistentNotify AOnChange);
    ~TGMLAVPredictionOrder() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TRVIntegerSetting* GetMin() const noexcept { return FMin.get(); }
    void SetMin(const TRVIntegerSetting& AValue) { FMin->Assign(AValue); }
    TRVIntegerSetting* GetMax() const noexcept { return FMax.get(); }
    void SetMax(const TRVIntegerSetting& AValue) { FMax->Assign(AValue); }

private:
    std::unique_ptr<TRVIntegerSetting> FMin, FMax;
};

// Published: Threshold, Factor, Exponent (0), ComparisonFunction (cfAbsDifferences).
class TGMLAVFrameSkip : public TRVLAVCompressionPersistent {
public:
    TGMLAVFrameSkip(TGMLAVVideoCompression& ADescriptor, TRef<IChangeNotifyLock> ALock,
                    TPersistentNotify AOnChange);
    ~TGMLAVFrameSkip() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    TRVIntegerSetting* GetThreshold() const noexcept { return FThreshold.get(); }
    void SetThreshold(const TRVIntegerSetting& AValue) { FThreshold->Assign(AValue); }
    TRVIntegerSetting* GetFactor() const noexcept { return FFactor.get(); }
    void SetFactor(const TRVIntegerSetting& AValue) { FFactor->Assign(AValue); }
    TRVIntegerSetting* GetExponent() const noexcept { return FExponent.get(); }
    void SetExponent(const TRVIntegerSetting& AValue) { FExponent->Assign(AValue); }
    TRVSkipCompareFunctionSetting* GetComparisonFunction() const noexcept {
        return FComparisonFunction.get();
    }
    void SetComparisonFunction(const TRVSkipCompareFunctionSetting& AValue) {
        FComparisonFunction->Assign(AValue);
    }

private:
    std::unique_ptr<TRVIntegerSetting> FThreshold, FFactor, FExponent;
    std::unique_ptr<TRVSkipCompareFunctionSetting> FComparisonFunction;
};

// Published after the base's: Quantizer, RateControl, MotionEstimation, GroupSize (10),
// MaxBFrames (1), ContextModel (0), PredictionOrder, FrameSkip, Trellis (0), NsseWeight (0),
// DCTAlgorithm (dctAuto), IDCTAlgorithm (idctAuto; only its Mode is stored); the base's
// CoderType (ctVlc) is created too.
class TGMLAVVideoCompression
    : public TRVLAVCompressionClass<TGMLAVVideoCompression, TRVLAVCompression> {
public:
    ~TGMLAVVideoCompression() override;

    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    static AVMediaType ClassMediaType() noexcept { return AVMEDIA_TYPE_VIDEO; }
    static bool ClassIsDecompression() noexcept { return false; }
    AVMediaType GetMediaType() const override { return ClassMediaType(); }

    TGMLAVVideoCompressionQuantizer* GetQuantizer() const noexcept { return FQuantizer.get(); }
    void SetQuantizer(const TGMLAVVideoCompressionQuantizer& AValue) { FQuantizer->Assign(AValue); }
    TGMLAVVideoCompressionRateControl* GetRateControl() const noexcept {
        return FRateControl.get();
    }
    void SetRateControl(const TGMLAVVideoCompressionRateControl& AValue) {
        FRateControl->Assign(AValue);
    }
    TGMLAVVideoCompressionMotionEstimation* GetMotionEstimation() const noexcept {
        return FMotionEstimation.get();
    }
    void SetMotionEstimation(const TGMLAVVideoCompressionMotionEstimation& AValue) {
        FMotionEstimation->Assign(AValue);
    }
    TRVIntegerSetting* GetGroupSize() const noexcept { return FGroupSize.get(); }
    void SetGroupSize(const TRVIntegerSetting& AValue) { FGroupSize->Assign(AValue); }
    TRVIntegerSetting* GetMaxBFrames() const noexcept { return FMaxBFrames.get(); }
    void SetMaxBFrames(const TRVIntegerSetting& AValue) { FMaxBFrames->Assign(AValue); }
    TRVIntegerSetting* GetContextModel() const noexcept { return FContextModel.get(); }
    void SetContextModel(const TRVIntegerSetting& AValue) { FContextModel->Assign(AValue); }
    TGMLAVPredictionOrder* GetPredictionOrder() const noexcept { return FPredictionOrder.get(); }
    void SetPredictionOrder(const TGMLAVPredictionOrder& AValue) {
        FPredictionOrder->Assign(AValue);
    }
    TGMLAVFrameSkip* GetFrameSkip() const noexcept { return FFrameSkip.get(); }
    void SetFrameSkip(const TGMLAVFrameSkip& AValue) { FFrameSkip->Assign(AValue); }
    TRVIntegerSetting* GetTrellis() const noexcept { return FTrellis.get(); }
    void SetTrellis(const TRVIntegerSetting& AValue) { FTrellis->Assign(AValue); }
    TRVIntegerSetting* GetNsseWeight() const noexcept { return FNsseWeight.get(); }
    void SetNsseWeight(const TRVIntegerSetting& AValue) { FNsseWeight->Assign(AValue); }
    TRVDCTAlgorithmSetting* GetDCTAlgorithm() const noexcept { return FDCTAlgorithm.get(); }
    void SetDCTAlgorithm(const TRVDCTAlgorithmSetting& AValue) { FDCTAlgorithm->Assign(AValue); }
    TRVIDCTAlgorithmSetting* GetIDCTAlgorithm() const noexcept { return FIDCTAlgorithm.get(); }
    void SetIDCTAlgorithm(const TRVIDCTAlgorithmSetting& AValue) { FIDCTAlgorithm->Assign(AValue); }

    // A picture-conversion slot for the driving component; the descriptor never touches it.
    SwsContext* GetConvertCtx() const noexcept { return FConvertCtx; }
    void SetConvertCtx(SwsContext* AValue) noexcept { FConvertCtx = AValue; }

protected:
    friend TRVLAVCompressionClass;
    using TRVLAVCompressionClass::TRVLAVCompressionClass;
    void Init() override;

private:
    friend class TGMLAVVideoCompressionQuantizer;
    friend class TGMLAVVideoCompressionRateControl;
    friend class TGMLAVVideoCompressionMotionEstimation;
    friend class TGMLAVPredictionOrder;
    friend class TGMLAVFrameSkip;

    // An integer setting on the encoder's private option AName (identity numbers).
    std::unique_ptr<TRVIntegerSetting> NewOptionSetting(int32_t ADefault, const char* AName,
                                                        TPersistent* AOwner);
    std::unique_ptr<TRVIntegerSetting> NewMotionAlgorithmSetting(TPersistent* AOwner);
    std::unique_ptr<TRVSkipCompareFunctionSetting> NewSkipCompareSetting(TPersistent* AOwner);

    std::unique_ptr<TGMLAVVideoCompressionQuantizer> FQuantizer;
    std::unique_ptr<TGMLAVVideoCompressionRateControl> FRateControl;
    std::unique_ptr<TGMLAVVideoCompressionMotionEstimation> FMotionEstimation;
    std::unique_ptr<TRVIntegerSetting> FGroupSize;
    std::unique_ptr<TRVIntegerSetting> FMaxBFrames;
    std::unique_ptr<TRVIntegerSetting> FContextModel;
    std::unique_ptr<TGMLAVPredictionOrder> FPredictionOrder;
    std::unique_ptr<TGMLAVFrameSkip> FFrameSkip;
    std::unique_ptr<TRVIntegerSetting> FTrellis;
    std::unique_ptr<TRVIntegerSetting> FNsseWeight;
    std::unique_ptr<TRVDCTAlgorithmSetting> FDCTAlgorithm;
    std::unique_ptr<TRVIDCTAlgorithmSetting> FIDCTAlgorithm;
    SwsContext* FConvertCtx = nullptr;
};

class TGMLAVVideoDecompression
    : public TRVLAVCompressionClass<TGMLAVVideoDecompression, TGMLAVVideoCompression> {
public:
    static const TPropertyTableBase& ClassPropertyTable();
    const TPropertyTableBase& GetPropertyTable() const override { return ClassPropertyTable(); }

    static bool ClassIsDecompression() noexcept { return true; }
    bool IsDecompression() const override { return ClassIsDecompression(); }

protected:
    friend TRVLAVCompressionClass;
    using TRVLAVCompressionClass::TRVLAVCompressionClass;
};

} // namespace sonvera
