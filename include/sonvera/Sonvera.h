// Every public header of the library.
#pragma once

// The component runtime.
#include "sonvera/platform/runtime/ChangeNotify.h"
#include "sonvera/platform/runtime/ClassAttributes.h"
#include "sonvera/platform/runtime/ClassManagement.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/Interfaces.h"
#include "sonvera/platform/runtime/JsonSerialization.h"
#include "sonvera/platform/runtime/LockPersistent.h"
#include "sonvera/platform/runtime/MainThread.h"
#include "sonvera/platform/runtime/Persistent.h"
#include "sonvera/platform/runtime/PropertyStreaming.h"
#include "sonvera/platform/runtime/PropertyTable.h"
#include "sonvera/platform/runtime/Resources.h"
#include "sonvera/platform/runtime/Serialization.h"
#include "sonvera/platform/runtime/SmallObjects.h"
#include "sonvera/platform/runtime/Threading.h"
#include "sonvera/platform/runtime/TypeInfo.h"
#include "sonvera/platform/runtime/Types.h"
#include "sonvera/platform/runtime/UnitInit.h"

// The basic signal layer.
#include "sonvera/platform/signal/IPPLoader.h"
#include "sonvera/platform/signal/IppTypes.h"
#include "sonvera/platform/signal/QXBasicDispatcher.h"
#include "sonvera/platform/signal/QXBufferAllocator.h"
#include "sonvera/platform/signal/QXCategories.h"
#include "sonvera/platform/signal/QXInternalStore.h"
#include "sonvera/platform/signal/QXSimpleDataBuffer.h"
#include "sonvera/platform/signal/QXTypedBuffers.h"

// Processing primitives.
#include "sonvera/primitives/IPPExtraFunctions.h"
#include "sonvera/primitives/IPPExtraPixelFunctions.h"
#include "sonvera/primitives/SVSampleKernels.h"
#include "sonvera/primitives/SVSampleTraits.h"
#include "sonvera/primitives/SVBasicDispatcher.h"
#include "sonvera/primitives/SVBitTransparent.h"
#include "sonvera/primitives/SVTruePeak.h"
#include "sonvera/primitives/SVFloatKernels.h"

// Audio format.
#include "sonvera/format/GMDXTypes.h"
#include "sonvera/format/SVAudioFormat.h"
#include "sonvera/format/SVSpeakers.h"

// Audio buffers.
#include "sonvera/buffers/RVInternalStore.h"
#include "sonvera/buffers/RVSimpleMediaBuffer.h"
#include "sonvera/buffers/SVBufferRecycler.h"
#include "sonvera/buffers/SVFloatFrames.h"
#include "sonvera/buffers/SVInternalStore.h"
#include "sonvera/buffers/SVSampleView.h"
#include "sonvera/buffers/SVSimpleAudioBuffer.h"

// Pins and stream operations.
#include "sonvera/platform/pins/PXFormatConverter.h"
#include "sonvera/platform/pins/PXNotifyOperations.h"
#include "sonvera/platform/pins/PXPinList.h"
#include "sonvera/platform/pins/PXPins.h"
#include "sonvera/platform/pins/PXStreamRegistry.h"
#include "sonvera/platform/pins/QXPins.h"

// Audio and graph streams.
#include "sonvera/streams/RVStreamTypes.h"
#include "sonvera/streams/SVStreamTime.h"
#include "sonvera/streams/SVStreamTypes.h"

// Filter and generator bases, clocks and queues.
#include "sonvera/platform/bases/BVMasterPumping.h"
#include "sonvera/platform/bases/QXBasicCommonFilter.h"
#include "sonvera/platform/bases/QXBasicCommonGen.h"
#include "sonvera/platform/bases/QXBasicThreadedEnableFilter.h"
#include "sonvera/platform/bases/QXClockGen.h"
#include "sonvera/platform/bases/QXMainThreadBufferQueue.h"
#include "sonvera/platform/bases/QXProcessingThread.h"

// The structure framework.
#include "sonvera/platform/bases/QXBufferAccumulator.h"
#include "sonvera/platform/bases/QXPacketSize.h"
#include "sonvera/platform/bases/QXStructure.h"
#include "sonvera/platform/bases/QXStructureElements.h"

// Component bases.
#include "sonvera/components/Categories.h"
#include "sonvera/components/SVAcm.h"
#include "sonvera/components/SVAudioToReal.h"
#include "sonvera/components/SVBasicAudioOut.h"
#include "sonvera/components/SVBasicCompression.h"
#include "sonvera/components/SVBasicGenericFilter.h"
#include "sonvera/components/SVCommonFilter.h"
#include "sonvera/components/SVCommonGen.h"
#include "sonvera/components/SVCommonSplitter.h"
#include "sonvera/components/SVComponentClasses.h"
#include "sonvera/components/SVFormatFilter.h"
#include "sonvera/components/SVGainFilter.h"
#include "sonvera/components/SVStreamSource.h"
#include "sonvera/components/SVStructureElements.h"
#include "sonvera/components/SVToneGen.h"

// Chains: the runner, chain text and chain documents.
#include "sonvera/chain/SVChain.h"
#include "sonvera/chain/SVChainDocument.h"
#include "sonvera/chain/SVChainText.h"
#include "sonvera/chain/SVPropertyText.h"

// Float effects.
#include "sonvera/effects/SVBiquadFilters.h"
#include "sonvera/effects/SVChannelFilters.h"
#include "sonvera/effects/SVDynamicsFilters.h"
#include "sonvera/effects/SVEffectFilter.h"
#include "sonvera/effects/SVEffects.h"
#include "sonvera/effects/SVMixFilter.h"
#include "sonvera/effects/SVRemixFilter.h"
#include "sonvera/effects/SVTimeFilters.h"

// Library start-up.
#include "sonvera/package/SonveraPackage.h"

// Codec support over FFmpeg and the components built on it. Linking sonvera::codecs defines
// SONVERA_CODECS and brings FFmpeg's headers, which these need; a program that links only
// sonvera::core does without both.
#ifdef SONVERA_CODECS
#include "sonvera/codecs/RVLAVAudioCompression.h"
#include "sonvera/codecs/RVLAVCompression.h"
#include "sonvera/codecs/RVLAVCompressionOptions.h"
#include "sonvera/codecs/RVLAVCompressions.h"
#include "sonvera/codecs/RVLAVCreation.h"
#include "sonvera/codecs/RVLAVFileFormat.h"
#include "sonvera/codecs/RVLAVLoggingElement.h"
#include "sonvera/codecs/RVLAVObjects.h"
#include "sonvera/codecs/RVLAVPlayerAudio.h"
#include "sonvera/codecs/RVLAVSampleBridge.h"
#include "sonvera/codecs/RVLAVSettings.h"
#include "sonvera/codecs/RVLAVSupport.h"
#include "sonvera/codecs/RVLAVVideoCompression.h"

// Ready components over FFmpeg: file source, file writer, resample filter.
#include "sonvera/media/SVLAVFileSource.h"
#include "sonvera/media/SVLAVFileWriter.h"
#include "sonvera/media/SVLAVFormatNegotiation.h"
#include "sonvera/media/SVLAVInput.h"
#include "sonvera/media/SVLAVMediaClasses.h"
#include "sonvera/media/SVLAVSampleTransfer.h"
#include "sonvera/media/SVOutputFile.h"
#include "sonvera/media/SVResampleFilter.h"
#endif

// Measuring and pictures: loudness, level and spectrum meters. Linking sonvera::analysis
// defines SONVERA_ANALYSIS.
#ifdef SONVERA_ANALYSIS
#include "sonvera/analysis/SVAnalysisPicture.h"
#include "sonvera/analysis/SVLevelMeter.h"
#include "sonvera/analysis/SVMeterFilter.h"
#include "sonvera/analysis/SVLoudnessMeter.h"
#include "sonvera/analysis/SVFrequencyMeter.h"
#endif

// The sound-server output and input over libpulse. Linking sonvera::devices defines
// SONVERA_DEVICES and brings libpulse's headers, which these need.
#ifdef SONVERA_DEVICES
#include "sonvera/devices/SVDevicesLibrary.h"
#include "sonvera/devices/SVPulseAudioIn.h"
#include "sonvera/devices/SVPulseAudioOut.h"
#include "sonvera/devices/SVPulseComponent.h"
#include "sonvera/devices/SVPulseConnection.h"
#include "sonvera/devices/SVPulseDevices.h"
#include "sonvera/devices/SVPulseStream.h"
#endif
