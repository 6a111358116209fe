#include "sonvera/components/Categories.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "sonvera/components/SVAudioToReal.h"
#include "sonvera/platform/runtime/Exceptions.h"
#include "sonvera/platform/runtime/Resources.h"

using namespace sonvera;

namespace {

// The width and height of a PNG image, or -1 when the bytes are not an 8-bit RGBA PNG.
std::pair<int, int> RgbaPngSize(std::span<const uint8_t> AData) {
    static const uint8_t signature[] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n',
                                        0,    0,   0,   13,  'I',  'H',  'D',  'R'};
    if (AData.size() < 33 || !std::equal(std::begin(signature), std::end(signature), AData.data()))
        return {-1, -1};
    auto word = [&](size_t AAt) {
        return int(AData[AAt]) << 24 | int(AData[AAt + 1]) << 16 | int(AData[AAt + 2]) << 8 |
               int(AData[AAt + 3]);
    };
    const bool rgba8 = AData[24] == 8 && AData[25] == 6;
    return rgba8 ? std::pair{word(16), word(20)} : std::pair{-1, -1};
}

} // namespace

// Every image under resources/ is embedded under its file name, byte for byte, as a square RGBA
// PNG of a palette size.
TEST(PaletteImages, EveryImageFileIsEmbeddedUnderItsName) {
    int images = 0;
    for (const auto& entry : std::filesystem::directory_iterator(SONVERA_RESOURCE_DIR)) {
        std::ifstream file(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};
        const std::span<const uint8_t> embedded = FindResourceData(entry.path().stem().string());
        EXPECT_TRUE(std::ranges::equal(embedded, bytes)) << entry.path();
        const auto [width, height] = RgbaPngSize(embedded);
        EXPECT_TRUE(width == height && (width == 16 || width == 24 || width == 32)) << entry.path();
        ++images;
    }
    EXPECT_GE(images, 30);
}

// A category without an image of its own shows its parent image's; the root shows the first of
// its two.
TEST(TClassCategory, ShowsItsOwnImageOrItsParentImage) {
    ASSERT_EQ(SonveraBasicCategories().size(), 19u);
    for (TClassRef category : SonveraBasicCategories()) {
        const std::span<const uint8_t> own = FindResourceData(ClassResourceName(*category));
        const std::span<const uint8_t> image = ClassImage(*category);
        EXPECT_EQ(RgbaPngSize(image), std::pair(32, 32)) << category->ClassName;
        EXPECT_NE(own.empty(), category->ParentImage == nullptr) << category->ClassName;
        const auto shown = category->ParentImage ? ClassImage(*category->ParentImage) : own;
        EXPECT_EQ(image.data(), shown.data()) << category->ClassName;
    }
    EXPECT_EQ(TSonveraToolbarCategory().GetImage().data(),
              FindResourceData("TSONVERATOOLBARCATEGORY").data());
    EXPECT_TRUE(FindResourceData("TSonveraToolbarCategory").empty()); // names are upper case
}

TEST(RegisterComponents, CountsRegistrationsAndCreatesByName) {
    RegisterSVAudioToReal();
    RegisterSVAudioToReal();
    UnregisterSVAudioToReal();
    EXPECT_NE(dynamic_cast<TSVAudioToReal*>(CreateComponent("TSVAudioToReal", nullptr).get()),
              nullptr);

    // Another class under a taken name is refused, and nothing of its list is registered.
    static const TClassInfo impostor{.ClassName = "TSVAudioToReal"};
    static const TClassInfo bystander{.ClassName = "TBystander"};
    auto factory = [](TPersistent*) { return std::unique_ptr<TPersistent>(); };
    EXPECT_THROW(RegisterComponents({{&bystander, factory}, {&impostor, factory}}), EArgumentError);
    EXPECT_EQ(RegisteredComponents(), std::vector<TClassRef>{&TSVAudioToReal::ClassInfo()});

    UnregisterSVAudioToReal();
    EXPECT_THROW(CreateComponent("TSVAudioToReal", nullptr), EArgumentError);
}
