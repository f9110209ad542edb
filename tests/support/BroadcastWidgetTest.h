// The fixture of the widget suites that broadcast: the offscreen application, the suite's private
// channel namespace (skipped without it), and a clean start. A derived SetUp calls this one first
// and returns when the test was skipped.
#pragma once

#include <gtest/gtest.h>

#include "BroadcastReset.h"
#include "ChannelNamespace.h"
#include "WidgetApplication.h"

namespace p3dtest {

class BroadcastWidgetTest : public testing::Test
{
protected:
    void SetUp() override
    {
        WidgetApplication();
        if (!InPrivateChannelNamespace())
            GTEST_SKIP() << PrivateChannelNamespaceError();
        ResetBroadcast();
    }
};

} // namespace p3dtest
