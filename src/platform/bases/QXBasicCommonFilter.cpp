#include "sonvera/platform/bases/QXBasicCommonFilter.h"

namespace sonvera {

bool TQXBasicCommonFilter::IntSingleBufferOperation(const TRef<IQXData>& AInBuffer) {
    return IntBufferOperation(AInBuffer, PrepareOutputBuffer(AInBuffer));
}

TRef<IQXData> TQXBasicCommonFilter::PrepareOutputBuffer(const TRef<IQXData>& AInBuffer) {
    return AInBuffer ? AInBuffer->MakeIntfCopy() : nullptr;
}

void TQXBasicCommonFilter::StreamStop() {
    TQXBasicThreadedEnableFilter::StreamStop();
    FStarted = false;
}

} // namespace sonvera
