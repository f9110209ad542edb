// The test scene's eyes of frame 0 through the ideal rig, and how much of a disparity map of them
// is right: every object's parallax, and the wall's 0, is known. OpenCV's codecs for the JPEG.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "ArgbView.h"
#include "TestPatternScene.h"

namespace p3dtest {

// Both eyes, A,R,G,B; through the test camera's JPEG (quality 85) and back when asked.
class SceneEyes
{
public:
    explicit SceneEyes(bool jpeg = false)
    {
        TestPatternScene scene;
        std::vector<uint8_t> rgb(size_t(kWidth) * kHeight * 3);
        for (int eye = 0; eye < 2; ++eye) {
            scene.Render(0, TestPatternScene::Eye(eye), kWidth, kHeight, rgb.data(), kWidth * 3);
            cv::Mat bgr;
            cv::cvtColor(cv::Mat(kHeight, kWidth, CV_8UC3, rgb.data()), bgr, cv::COLOR_RGB2BGR);
            std::vector<uint8_t> bytes;
            if (jpeg && cv::imencode(".jpg", bgr, bytes, {cv::IMWRITE_JPEG_QUALITY, 85}))
                bgr = cv::imdecode(bytes, cv::IMREAD_COLOR);
            mArgb[eye].assign(size_t(kWidth) * kHeight * 4, 255);
            cv::Mat argb(kHeight, kWidth, CV_8UC4, mArgb[eye].data());
            const int toArgb[] = {2, 1, 1, 2, 0, 3};
            cv::mixChannels(&bgr, 1, &argb, 1, toArgb, 3);
        }
    }
    // 0 left, 1 right.
    ArgbView eye(int eye) const { return {mArgb[eye].data(), kWidth * 4, kWidth, kHeight}; }

private:
    static constexpr int kWidth = 640, kHeight = 480;
    std::vector<uint8_t> mArgb[2];
};

// Which part of the scene each pixel of the left eye shows, row by row: the index of the object
// in TestPatternScene::Objects(), kSceneWall, or kSceneOther (the floor, the borders where the
// matcher's window straddles two depths, and the wall where its window sees no detail across:
// the sky is a gradient from top to bottom, which no matcher can place).
constexpr uint8_t kSceneWall = 253, kSceneOther = 255;

inline std::vector<uint8_t> SceneOwners(const ArgbView& left)
{
    const int width = left.width, height = left.height;
    std::vector<uint8_t> owner(size_t(width) * height, kSceneOther);
    const auto fill = [&](int x0, int y0, int w, int h, uint8_t value) {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
                owner[size_t(y) * width + x] = value;
    };
    // The wall down to a little above the floor's horizon (330 of 480 rows).
    const int m = 6;
    const int wallRows = height * 330 / 480 - m;
    const auto detailed = [&](int x0, int y0) {
        for (int y = std::max(0, y0 - 3); y <= std::min(height - 1, y0 + 3); ++y)
            for (int x = std::max(1, x0 - 3); x <= std::min(width - 1, x0 + 3); ++x)
                for (int c = 1; c < 4; ++c)
                    if (std::abs(left.pixels[y * left.rowBytes + x * 4 + c] -
                                 left.pixels[y * left.rowBytes + x * 4 - 4 + c]) >= 8)
                        return true;
        return false;
    };
    for (int y = m; y < wallRows; ++y)
        for (int x = m; x < width - m; ++x)
            if (detailed(x, y))
                owner[size_t(y) * width + x] = kSceneWall;
    // Nearer objects hide farther ones: drawn far to near. Each is shrunk from its edges, and
    // from its left edge by the parallax the right eye does not see.
    const auto objects = TestPatternScene::Objects();
    for (size_t i = 0; i < objects.size(); ++i) {
        const auto box =
            TestPatternScene::Place(objects[i], 0, TestPatternScene::kLeftEye, width, height);
        const int parallax = TestPatternScene::ParallaxPixels(objects[i].depth, width, height);
        fill(box.x - m, box.y - m, box.width + 2 * m, box.height + 2 * m, kSceneOther);
        fill(box.x + m + parallax, box.y + m, box.width - 2 * m - parallax, box.height - 2 * m,
             uint8_t(i));
    }
    return owner;
}

struct SceneShare
{
    std::string name;
    float truth = 0;
    int pixels = 0;
    double share = 0; // of the pixels within 1 px of the truth
};

// The objects' and the wall's (last) shares in a map of the left eye, row by row, negative or
// not finite where unknown.
inline std::vector<SceneShare> SceneShares(const float* map, const ArgbView& left)
{
    const int width = left.width, height = left.height;
    const std::vector<uint8_t> owner = SceneOwners(left);
    const auto objects = TestPatternScene::Objects();
    std::vector<SceneShare> shares(objects.size() + 1);
    std::vector<int> right(shares.size());
    for (size_t i = 0; i < objects.size(); ++i)
        shares[i] = {objects[i].name,
                     float(TestPatternScene::ParallaxPixels(objects[i].depth, width, height))};
    shares.back().name = "wall";
    for (size_t p = 0; p < owner.size(); ++p) {
        const size_t i = owner[p] == kSceneWall ? objects.size() : owner[p];
        if (i >= shares.size())
            continue;
        ++shares[i].pixels;
        right[i] +=
            std::isfinite(map[p]) && map[p] >= 0 && std::fabs(map[p] - shares[i].truth) <= 1;
    }
    for (size_t i = 0; i < shares.size(); ++i)
        shares[i].share = shares[i].pixels ? double(right[i]) / shares[i].pixels : 0;
    return shares;
}

} // namespace p3dtest
