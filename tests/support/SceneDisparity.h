// The depth worker's maps waited for, and how much of a map of the test scene's frame 0 through
// the ideal rig is right: every object's parallax, and the wall's 0, is known.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "ArgbView.h"
#include "DepthWorker.h"
#include "TestPatternScene.h"

namespace p3dtest {

// Calls feed, a tick's pair for the worker, until the worker has a map newer than serial; null
// when none comes within a minute.
inline std::shared_ptr<const DepthSnapshot>
MapAfter(DepthWorker& worker, const std::function<void()>& feed, uint64_t serial = 0)
{
    for (int i = 0; i < 60000; ++i) {
        feed();
        std::shared_ptr<const DepthSnapshot> latest = worker.Latest();
        if (latest && latest->serial > serial)
            return latest;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return nullptr;
}

struct SceneShare
{
    std::string name;
    float truth = 0;
    double share = 0; // of its pixels within 1 px of the truth
};

// Each object's share in a map of the left eye (row by row, negative or not finite where
// unknown), then the wall's. Of an object's box (a disc's disc), the pixels it shows, less its
// borders (where the matcher's window straddles two depths) and the band its parallax hides from
// the right eye; of the wall, the pixels whose window has detail across (the sky is a gradient
// from top to bottom, which no matcher can place). The eyes are of frame 0; eyes grabbed apart,
// at frames nobody knows (stillOnly), are judged without the moving ball and the rows it crosses.
inline std::vector<SceneShare> SceneShares(const float* map, const ArgbView& left,
                                           bool stillOnly = false)
{
    const int width = left.width, height = left.height, m = 6;
    const auto objects = TestPatternScene::Objects();
    const uint8_t kWall = uint8_t(objects.size()), kNone = 255;
    std::vector<uint8_t> owner(size_t(width) * height, kNone);
    const auto fill = [&](int x0, int y0, int w, int h, uint8_t value) {
        for (int y = std::max(0, y0); y < std::min(height, y0 + h); ++y)
            for (int x = std::max(0, x0); x < std::min(width, x0 + w); ++x)
                owner[size_t(y) * width + x] = value;
    };
    const auto detailed = [&](int x0, int y0) {
        for (int y = std::max(0, y0 - 3); y <= std::min(height - 1, y0 + 3); ++y)
            for (int x = std::max(1, x0 - 3); x <= std::min(width - 1, x0 + 3); ++x)
                for (size_t c = 1, i = y * left.rowBytes + x * 4; c < 4; ++c)
                    if (std::abs(left.pixels[i + c] - left.pixels[i + c - 4]) >= 8)
                        return true;
        return false;
    };
    // The wall down to a little above the floor's horizon (330 of 480 rows).
    for (int y = m; y < height * 330 / 480 - m; ++y)
        for (int x = m; x < width - m; ++x)
            if (detailed(x, y))
                owner[size_t(y) * width + x] = kWall;
    std::vector<SceneShare> shares(objects.size() + 1, {"wall"});
    // Nearer objects hide farther ones: far to near.
    for (size_t i = 0; i < objects.size(); ++i) {
        const auto box =
            TestPatternScene::Place(objects[i], 0, TestPatternScene::kLeftEye, width, height);
        const int parallax = TestPatternScene::ParallaxPixels(objects[i].depth, width, height);
        shares[i] = {objects[i].name, float(parallax)};
        fill(box.x - m, box.y - m, box.width + 2 * m, box.height + 2 * m, kNone);
        const bool disc = objects[i].shape == TestPatternScene::Shape::kDisc;
        const double radius = box.width / 2.0 - m, cx = box.x + box.width / 2.0,
                     cy = box.y + box.height / 2.0;
        for (int y = std::max(0, box.y + m); y < std::min(height, box.y + box.height - m); ++y)
            for (int x = std::max(0, box.x + m + parallax);
                 x < std::min(width, box.x + box.width - m); ++x)
                if (!disc || std::hypot(x + 0.5 - cx, y + 0.5 - cy) <= radius)
                    owner[size_t(y) * width + x] = uint8_t(i);
    }
    if (stillOnly)
        for (size_t i = 0; i < objects.size(); ++i)
            if (objects[i].step != 0) {
                const auto box = TestPatternScene::Place(objects[i], 0, TestPatternScene::kLeftEye,
                                                         width, height);
                fill(0, box.y - m, width, box.height + 2 * m, kNone);
            }
    std::vector<int> pixels(shares.size()), right(shares.size());
    for (size_t p = 0; p < owner.size(); ++p) {
        const uint8_t i = owner[p];
        if (i == kNone)
            continue;
        ++pixels[i];
        right[i] += map[p] >= 0 && std::fabs(map[p] - shares[i].truth) <= 1;
    }
    for (size_t i = 0; i < shares.size(); ++i)
        shares[i].share = pixels[i] ? double(right[i]) / pixels[i] : 0;
    if (stillOnly)
        std::erase_if(shares, [](const SceneShare& s) {
            return s.name != "wall" && TestPatternScene::Find(s.name.c_str()).step != 0;
        });
    return shares;
}

} // namespace p3dtest
