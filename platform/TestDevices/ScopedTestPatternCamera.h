// The test-pattern camera beside the kernel's devices: while one of these lives, and when
// PARALLAX3D_TEST_CAMERAS=1 (or "still", the scene's first frame only), the seam lists
// TestPatternCamera::kNode after the real nodes and serves it. Programs hold one in main(), so a
// machine without cameras still has one to show.
#pragma once

#include <memory>

class FakeV4L2;
class ScopedV4L2System;
class TestPatternCamera;
class V4L2NodeRouter;

class ScopedTestPatternCamera
{
public:
    ScopedTestPatternCamera();
    ~ScopedTestPatternCamera();
    ScopedTestPatternCamera(const ScopedTestPatternCamera&) = delete;
    ScopedTestPatternCamera& operator=(const ScopedTestPatternCamera&) = delete;

    // Whether PARALLAX3D_TEST_CAMERAS asked for it, so that it is served.
    bool IsServed() const { return mScope != nullptr; }

private:
    std::unique_ptr<TestPatternCamera> mCamera;
    std::unique_ptr<FakeV4L2> mDriver;
    std::unique_ptr<V4L2NodeRouter> mRouter;
    std::unique_ptr<ScopedV4L2System> mScope;
};
