// A stand-in for the vendor library in the binding test: exports two of the dispatch table's
// names with the vendor prototypes and behaviour no real implementation has, so that a test
// can see which slots were bound to it.
#include <cstdint>

struct TFakeSize {
    int32_t cx;
    int32_t cy;
};

// Fills with the complement of val and answers 1001.
extern "C" int32_t ippsSet_16s(int16_t val, int16_t* pDst, int32_t len) {
    for (int32_t i = 0; i < len; ++i)
        pDst[i] = static_cast<int16_t>(~val);
    return 1001;
}

// Writes val + 7 to the first element of every row, ignoring the scale factor, and answers
// 1002.
extern "C" int32_t ippiAddC_16s_C1IRSfs(int16_t val, int16_t* pSrcDst, int32_t srcDstStep,
                                        TFakeSize roiSize, int32_t) {
    for (int32_t row = 0; row < roiSize.cy; ++row)
        reinterpret_cast<int16_t*>(reinterpret_cast<char*>(pSrcDst) + row * srcDstStep)[0] =
            static_cast<int16_t>(val + 7);
    return 1002;
}
