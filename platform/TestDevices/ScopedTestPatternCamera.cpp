#include "ScopedTestPatternCamera.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "FakeV4L2.h"
#include "TestPatternCamera.h"
#include "V4L2NodeRouter.h"

ScopedTestPatternCamera::ScopedTestPatternCamera()
{
    const char* wanted = getenv("PARALLAX3D_TEST_CAMERAS");
    const bool still = wanted != nullptr && strcmp(wanted, "still") == 0;
    if (wanted == nullptr || (strcmp(wanted, "1") != 0 && !still))
        return;
    // Still: every frame shows the scene's first, the same picture in every run.
    mCamera = std::make_unique<TestPatternCamera>();
    if (still)
        mCamera->holdScene();
    mDriver = std::make_unique<FakeV4L2>();
    mCamera->Configure(mDriver->AddDevice(TestPatternCamera::kNode));
    // Whatever seam is in force stays underneath: the kernel in a program, a test's own in tests.
    mRouter = std::make_unique<V4L2NodeRouter>(V4L2Sys(), *mDriver);
    mScope = std::make_unique<ScopedV4L2System>(*mRouter);
}

// Members go in reverse order: the seam is put back before the router and driver go.
ScopedTestPatternCamera::~ScopedTestPatternCamera() = default;
