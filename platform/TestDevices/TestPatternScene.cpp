#include "TestPatternScene.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "BitmapFont5x7.h"

namespace {

// Colours for red-cyan glasses: every one has light in red and in green or blue, so nothing
// vanishes from either eye.
constexpr TestPatternScene::Object kObjects[] = {
    // On the wall, so the counter reads cleanly in the anaglyph too.
    {"plaque", TestPatternScene::Shape::kBox, 6.0, {40, 45, 70}, 200, 38, 240, 46, 0},
    {"sun", TestPatternScene::Shape::kDisc, 4.0, {245, 200, 80}, 470, 50, 100, 100, 0},
    // Boxes stand on the floor where it is as far away as they are.
    {"tower", TestPatternScene::Shape::kBox, 4.0, {80, 165, 110}, 60, 150, 80, 199, 0},
    {"ball", TestPatternScene::Shape::kDisc, 2.0, {240, 130, 50}, 164, 190, 72, 72, 4},
    {"crate", TestPatternScene::Shape::kBox, 1.5, {90, 120, 210}, 40, 362, 110, 81, 0},
    {"pillar", TestPatternScene::Shape::kBox, 1.2, {200, 120, 190}, 430, 170, 56, 310, 0},
};
constexpr const char* kMoving = "ball";
constexpr const char* kCounterPlaque = "plaque";
constexpr const char* kTitle = "PARALLAX3D TEST PATTERN";
constexpr int kTitleScale = 2;
constexpr int kCounterScale = 3;
constexpr int kCounterDigits = 6;
constexpr char kCounterPrefix[] = "FRAME ";
constexpr int kCounterChars = int(sizeof kCounterPrefix) - 1 + kCounterDigits;
constexpr uint8_t kInk[3] = {240, 235, 210};
constexpr uint8_t kTitleInk[3] = {35, 45, 85};
constexpr uint8_t kSkyTop[3] = {110, 155, 215};
constexpr uint8_t kSkyHorizon[3] = {185, 205, 225};
constexpr uint8_t kMountains[3] = {130, 140, 180};
constexpr uint8_t kTiles[2][3] = {{150, 120, 90}, {210, 195, 160}};

// The floor runs from the wall's foot at the horizon to the bottom edge at the nearest depth:
// depth = kFloorScale / (y - kFloorVanishing) in layout rows.
constexpr double kHorizon = 330.0;
constexpr double kFloorVanishing = 292.5;
constexpr double kFloorScale = 225.0;
constexpr double kFloorFocal = 240.0; // layout pixels per metre across, at 1 m
constexpr double kTileMetres = 0.5;
constexpr int kFloorSamples = 4; // per side of a pixel: the far tiles are finer than a pixel

constexpr int kGlyphAdvance = BitmapFont5x7::kWidth + 1;

uint8_t Decimetres(double in_depth)
{
    return uint8_t(std::clamp(std::lround(in_depth * 10.0), 0L, 255L));
}

uint8_t Mix(uint8_t in_a, uint8_t in_b, double in_t)
{
    return uint8_t(std::lround(in_a + (in_b - in_a) * in_t));
}

void Blend(uint8_t* io_pixel, const uint8_t* in_rgb, double in_cover)
{
    for (int c = 0; c < 3; ++c)
        io_pixel[c] = Mix(io_pixel[c], in_rgb[c], in_cover);
}

// Bitmap text with its top left at x, y, clipped to the frame.
void DrawText(const char* in_text, int in_count, int in_x, int in_y, int in_scale,
              const uint8_t* in_rgb, uint8_t* io_rgb, size_t in_rowBytes, int in_width,
              int in_height)
{
    for (int i = 0; i < in_count; ++i) {
        const BitmapFont5x7::Glyph* glyph = BitmapFont5x7::Find(in_text[i]);
        if (glyph == nullptr)
            continue;
        const int left = in_x + i * kGlyphAdvance * in_scale;
        for (int row = 0; row < BitmapFont5x7::kHeight * in_scale; ++row) {
            const int y = in_y + row;
            if (y < 0 || y >= in_height)
                continue;
            for (int col = 0; col < BitmapFont5x7::kWidth * in_scale; ++col) {
                const int x = left + col;
                if (x >= 0 && x < in_width &&
                    (glyph->rows[row / in_scale] & (0x10 >> (col / in_scale))))
                    std::memcpy(io_rgb + size_t(y) * in_rowBytes + size_t(x) * 3, in_rgb, 3);
            }
        }
    }
}

int TextWidth(int in_chars, int in_scale)
{
    return (in_chars * kGlyphAdvance - 1) * in_scale;
}

int CounterScale(double in_scale)
{
    return std::max(1, int(kCounterScale * in_scale));
}

// Calls in_paint(pixel, cover, x, y) for each pixel of the frame the shape covers.
template <typename Paint>
void Cover(TestPatternScene::Shape in_shape, const TestPatternScene::Box& in_box, int in_width,
           int in_height, Paint in_paint)
{
    const int x0 = std::max(in_box.x, 0), x1 = std::min(in_box.x + in_box.width, in_width);
    const int y0 = std::max(in_box.y, 0), y1 = std::min(in_box.y + in_box.height, in_height);
    const double cx = in_box.x + in_box.width / 2.0, cy = in_box.y + in_box.height / 2.0;
    const double r = in_box.width / 2.0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            double cover = 1.0;
            if (in_shape == TestPatternScene::Shape::kDisc) {
                // A soft one-pixel rim rather than stair steps.
                const double d =
                    std::hypot(x + 0.5 - cx, (y + 0.5 - cy) * in_box.width / double(in_box.height));
                cover = std::clamp(r - d + 0.5, 0.0, 1.0);
            }
            if (cover > 0.0)
                in_paint(cover, x, y);
        }
}

} // namespace

std::span<const TestPatternScene::Object> TestPatternScene::Objects()
{
    return kObjects;
}

const TestPatternScene::Object& TestPatternScene::Find(const char* in_name)
{
    for (const Object& object : kObjects)
        if (std::strcmp(object.name, in_name) == 0)
            return object;
    return kObjects[0];
}

double TestPatternScene::Scale(int in_width, int in_height)
{
    return std::min(double(in_width) / kLayoutWidth, double(in_height) / kLayoutHeight);
}

int TestPatternScene::ParallaxPixels(double in_depth, int in_width, int in_height)
{
    return int(std::lround(kParallaxScale * Scale(in_width, in_height) *
                           (1.0 / in_depth - 1.0 / kWallDepth)));
}

const std::vector<TestPatternPoint>& TestPatternScene::KnownPoints()
{
    static const std::vector<TestPatternPoint> points = [] {
        // Layout positions back through the left eye at the object's depth.
        const auto point = [](double in_x, double in_y, double in_depth) {
            const double f = TestPatternOptics::kFocalLength;
            return TestPatternPoint{(in_x - kLayoutWidth / 2.0) * in_depth / f,
                                    (in_y - kLayoutHeight / 2.0) * in_depth / f, in_depth};
        };
        std::vector<TestPatternPoint> known;
        for (const Object& object : kObjects) {
            if (object.step != 0)
                continue;
            if (object.shape == Shape::kDisc) {
                known.push_back(point(object.x + object.width / 2.0, object.y + object.height / 2.0,
                                      object.depth));
                continue;
            }
            for (const int x : {object.x, object.x + object.width})
                for (const int y : {object.y, object.y + object.height})
                    if (x > 0 && x < kLayoutWidth && y > 0 && y < kLayoutHeight)
                        known.push_back(point(x, y, object.depth));
        }
        return known;
    }();
    return points;
}

void TestPatternScene::SetRig(const TestPatternRig& in_rig)
{
    mRig = in_rig;
    mWarpsReady = false;
}

bool TestPatternScene::Project(Eye in_eye, const TestPatternPoint& in_point, int in_width,
                               int in_height, double& out_x, double& out_y) const
{
    return TestPatternOptics(mRig, in_width, in_height).Project(in_eye, in_point, out_x, out_y);
}

TestPatternScene::Box TestPatternScene::Place(const Object& in_object, uint64_t in_frame,
                                              Eye in_eye, int in_width, int in_height)
{
    const double s = Scale(in_width, in_height);
    const double originX = (in_width - kLayoutWidth * s) / 2.0;
    const double originY = (in_height - kLayoutHeight * s) / 2.0;
    Box box;
    box.x = int(std::lround(originX + in_object.x * s));
    box.y = int(std::lround(originY + in_object.y * s));
    box.width = std::max(1, int(std::lround(in_object.width * s)));
    box.height = std::max(1, int(std::lround(in_object.height * s)));
    if (in_object.step != 0) {
        // Enters on the left as it leaves on the right.
        const int64_t step = std::max(1L, std::lround(in_object.step * s));
        const int64_t span = int64_t(in_width) + box.width;
        const int64_t travelled = int64_t(in_frame % uint64_t(span)) * step;
        box.x = int((box.x + box.width + travelled) % span - box.width);
    }
    if (in_eye == kRightEye)
        box.x -= ParallaxPixels(in_object.depth, in_width, in_height);
    return box;
}

TestPatternScene::Box TestPatternScene::CounterBox(Eye in_eye, int in_width, int in_height)
{
    const Box plaque = Place(Find(kCounterPlaque), 0, in_eye, in_width, in_height);
    const int scale = CounterScale(Scale(in_width, in_height));
    Box box;
    box.width = TextWidth(kCounterChars, scale);
    box.height = BitmapFont5x7::kHeight * scale;
    box.x = plaque.x + (plaque.width - box.width) / 2;
    box.y = plaque.y + (plaque.height - box.height) / 2;
    return box;
}

void TestPatternScene::Prepare(int in_width, int in_height)
{
    if (in_width != mWidth || in_height != mHeight) {
        mWidth = in_width;
        mHeight = in_height;
        for (Layer& layer : mLayers) {
            layer.rgb.resize(size_t(in_width) * size_t(in_height) * 3);
            layer.depth.resize(size_t(in_width) * size_t(in_height));
        }
        DrawStatic(kLeftEye);
        DrawStatic(kRightEye);
        mWarpsReady = false;
    }
    if (mWarpsReady || mRig.IsIdeal())
        return;
    const TestPatternOptics optics(mRig, in_width, in_height);
    for (Eye eye : {kLeftEye, kRightEye})
        mWarps[eye].Prepare(optics, eye, in_width, in_height);
    mWarpsReady = true;
}

void TestPatternScene::DrawStatic(Eye in_eye)
{
    Layer& layer = mLayers[in_eye];
    const double s = Scale(mWidth, mHeight);
    const double originX = (mWidth - kLayoutWidth * s) / 2.0;
    const double originY = (mHeight - kLayoutHeight * s) / 2.0;
    const size_t rowBytes = size_t(mWidth) * 3;
    const uint8_t wall = Decimetres(kWallDepth);
    for (int y = 0; y < mHeight; ++y) {
        const double layoutY = (y + 0.5 - originY) / s;
        uint8_t* row = &layer.rgb[size_t(y) * rowBytes];
        uint8_t* depth = &layer.depth[size_t(y) * size_t(mWidth)];
        if (layoutY < kHorizon) {
            // Sky and mountains on the wall: no parallax, the screen's own plane.
            const double t = std::clamp(layoutY / kHorizon, 0.0, 1.0);
            for (int x = 0; x < mWidth; ++x) {
                const double layoutX = (x + 0.5 - originX) / s;
                const double ridge = 300.0 - 30.0 * std::sin(layoutX * 0.021) -
                                     18.0 * std::sin(layoutX * 0.047 + 1.3) -
                                     8.0 * std::sin(layoutX * 0.11 + 0.5);
                for (int c = 0; c < 3; ++c)
                    row[x * 3 + c] =
                        layoutY >= ridge ? kMountains[c] : Mix(kSkyTop[c], kSkyHorizon[c], t);
                depth[x] = wall;
            }
            continue;
        }
        // The floor: each row a little nearer, so shifted a little more in the right eye.
        const double rowDepth = kFloorScale / (layoutY - kFloorVanishing);
        const int shift = in_eye == kRightEye ? ParallaxPixels(rowDepth, mWidth, mHeight) : 0;
        const double fog = 0.6 * (rowDepth - 1.2) / (kWallDepth - 1.2);
        for (int x = 0; x < mWidth; ++x) {
            double sum[3] = {};
            for (int sy = 0; sy < kFloorSamples; ++sy) {
                const double sampleY = (y + (sy + 0.5) / kFloorSamples - originY) / s;
                const double d = kFloorScale / std::max(sampleY - kFloorVanishing, 1.0);
                const int along = int(std::floor(d / kTileMetres));
                for (int sx = 0; sx < kFloorSamples; ++sx) {
                    const double sampleX = (x + shift + (sx + 0.5) / kFloorSamples - originX) / s;
                    const double across = (sampleX - kLayoutWidth / 2.0) * d / kFloorFocal;
                    const uint8_t* tile =
                        kTiles[(int(std::floor(across / kTileMetres)) + along) & 1];
                    for (int c = 0; c < 3; ++c)
                        sum[c] += tile[c];
                }
            }
            for (int c = 0; c < 3; ++c)
                row[x * 3 + c] = Mix(uint8_t(std::lround(sum[c] / (kFloorSamples * kFloorSamples))),
                                     kSkyHorizon[c], fog);
            depth[x] = Decimetres(rowDepth);
        }
    }

    DrawText(kTitle, int(std::strlen(kTitle)),
             (mWidth - TextWidth(int(std::strlen(kTitle)), std::max(1, int(kTitleScale * s)))) / 2,
             int(std::lround(originY + 14 * s)), std::max(1, int(kTitleScale * s)), kTitleInk,
             layer.rgb.data(), rowBytes, mWidth, mHeight);

    for (const Object& object : kObjects) {
        if (object.step != 0)
            continue;
        const uint8_t near = Decimetres(object.depth);
        Cover(object.shape, Place(object, 0, in_eye, mWidth, mHeight), mWidth, mHeight,
              [&](double in_cover, int in_x, int in_y) {
                  const size_t at = size_t(in_y) * size_t(mWidth) + size_t(in_x);
                  Blend(&layer.rgb[at * 3], object.rgb, in_cover);
                  layer.depth[at] = std::min(layer.depth[at], near);
              });
    }
}

bool TestPatternScene::Render(uint64_t in_frame, Eye in_eye, int in_width, int in_height,
                              uint8_t* out_rgb, size_t in_rowBytes)
{
    if (in_width <= 0 || in_height <= 0 || in_width > 8192 || in_height > 8192 ||
        in_rowBytes < size_t(in_width) * 3)
        return false;
    Prepare(in_width, in_height);
    const Layer& layer = mLayers[in_eye];
    const size_t packed = size_t(in_width) * 3;
    const bool warped = !mRig.IsIdeal();
    uint8_t* const target = warped ? mWarps[in_eye].ideal() : out_rgb;
    const size_t rowBytes = warped ? packed : in_rowBytes;
    for (int y = 0; y < in_height; ++y)
        std::memcpy(target + size_t(y) * rowBytes, &layer.rgb[size_t(y) * packed], packed);

    // The moving object, behind whatever static part is nearer.
    const Object& moving = Find(kMoving);
    const uint8_t near = Decimetres(moving.depth);
    Cover(moving.shape, Place(moving, in_frame, in_eye, in_width, in_height), in_width, in_height,
          [&](double in_cover, int in_x, int in_y) {
              if (layer.depth[size_t(in_y) * size_t(in_width) + size_t(in_x)] > near)
                  Blend(target + size_t(in_y) * rowBytes + size_t(in_x) * 3, moving.rgb, in_cover);
          });

    char text[kCounterChars + 1];
    std::memcpy(text, kCounterPrefix, sizeof kCounterPrefix - 1);
    uint64_t number = in_frame;
    for (int i = kCounterChars - 1; i >= int(sizeof kCounterPrefix) - 1; --i) {
        text[i] = char('0' + number % 10);
        number /= 10;
    }
    const Box counter = CounterBox(in_eye, in_width, in_height);
    DrawText(text, kCounterChars, counter.x, counter.y, CounterScale(Scale(in_width, in_height)),
             kInk, target, rowBytes, in_width, in_height);
    // Nearer than anything of the scene.
    if (mChessboard)
        mBoard.Draw(in_frame, in_eye, TestPatternOptics(TestPatternRig(), in_width, in_height),
                    in_width, in_height, target, rowBytes);
    if (warped)
        mWarps[in_eye].Apply(out_rgb, in_rowBytes);
    return true;
}
