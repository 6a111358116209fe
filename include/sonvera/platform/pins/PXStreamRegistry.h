// Stream types: the identities by which pins are matched when they are connected, their
// display names, the default notification handler of each, and the attributes a pin class
// declares its stream types with.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "sonvera/platform/pins/PXNotifyOperations.h"

namespace sonvera {

class TPXPin;

// The stream types of the framework and the basic signal package. A stream type is named
// after its interface; the interfaces themselves carry no operations, only the identity.
inline constexpr TGUID IID_IPXBasicStream{
    0x0F3D6A52, 0x8E21, 0x4C7B, {0xA4, 0x19, 0x5D, 0x60, 0x2B, 0x8E, 0x71, 0xC3}};
inline constexpr TGUID IID_IPXClockStream{
    0x7B21C4E8, 0x3F0A, 0x4D56, {0x8C, 0x2E, 0x91, 0x4A, 0x06, 0xD7, 0x5B, 0x38}};
inline constexpr TGUID IID_IPXQXChannelStream{
    0x2A9E5F13, 0xC6B4, 0x4870, {0x9F, 0x3D, 0x18, 0xE2, 0x47, 0xA5, 0x0C, 0x96}};
inline constexpr TGUID IID_IPXQXIntegerStream{
    0x54C0B7A1, 0x1D8E, 0x4F29, {0xB6, 0x73, 0xE0, 0x9A, 0x35, 0x4C, 0x82, 0x1F}};
inline constexpr TGUID IID_IPXQXRealStream{
    0x9D47E2C6, 0x7A15, 0x4B3E, {0x85, 0xF0, 0x2C, 0x6B, 0xD1, 0x93, 0x4E, 0x07}};
inline constexpr TGUID IID_IPXQXBinaryStream{
    0xC3186F5D, 0x4E92, 0x47A0, {0xAB, 0x5C, 0x73, 0x0E, 0x9F, 0x26, 0xD8, 0x41}};

// Delivers an operation from ASender to ATarget over the stream AStreamId; the result goes back
// to the notifier. A plain function pointer: it is called once per pin per operation.
using TPXNotificationHandler = bool (*)(TPXPin* ASender, TPXPin* ATarget, const TGUID& AStreamId,
                                        const TRef<IPXNotifyOperation>& AOperation,
                                        uint32_t AState);

// The handler every stream has unless another is registered: the target pin's DispatchData.
bool DefaultPXNotificationHandler(TPXPin* ASender, TPXPin* ATarget, const TGUID& AStreamId,
                                  const TRef<IPXNotifyOperation>& AOperation, uint32_t AState);

// Class attributes of pins and stream types.
struct NameAttribute {
    std::string Name;
};
struct BVPXDataTypeAttribute {
    TGUID DataType;
};

// What a pin class declares about itself: its display name and the stream types it carries.
struct TPXPinAttributes {
    NameAttribute Name;
    std::vector<BVPXDataTypeAttribute> DataTypes;
};

// A registered stream type.
struct TPXStreamInfo {
    TGUID Id;
    std::string Name;
};

// Registration is counted per identity, like the class registry: a stream registered by two
// units stays until both have unregistered it. Registering an identity again under another
// name is refused with EArgumentError.
void PXRegisterStream(const TGUID& AId, const NameAttribute& AName);
void PXUnregisterStream(const TGUID& AId);
std::vector<TPXStreamInfo> PXRegisteredStreams();
// The registered display name, or an empty text for an unknown stream.
std::string PXStreamName(const TGUID& AId);

// The handler delivering the operations of stream AId, unless the pin that carries the stream
// gave its own. A null AHandler unregisters.
void PXRegisterDefaultHandler(const TGUID& AId, TPXNotificationHandler AHandler);
// The registered handler, or DefaultPXNotificationHandler.
TPXNotificationHandler PXDefaultHandler(const TGUID& AId);
// The identities that have a registered default handler, in registration order.
std::vector<TGUID> PXRegisteredDefaultHandlers();

// Registers the stream types of the framework and of the basic signal package.
void InitializePXStreams();
void FinalizePXStreams();

} // namespace sonvera
