// Small value types shared by every layer.
#pragma once

#include <cstdint>

namespace sonvera {

// A two-dimensional region size: cx elements wide, cy rows high.
struct TSize {
    int32_t cx;
    int32_t cy;
};

} // namespace sonvera
