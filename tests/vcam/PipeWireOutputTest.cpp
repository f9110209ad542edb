// The PipeWire camera where no daemon is needed: its node name, and what it refuses and says.
#include <gtest/gtest.h>

#include <vector>

#include "PipeWireOutput.h"
#include "TestSupport.h"

TEST(PipeWireOutputTest, NodeNamesKeepLettersDigitsAndPunctuationPipeWireTakes)
{
    for (const auto& [device, node] : {std::pair{"Parallax3D", "Parallax3D"},
                                       {"Parallax3D R", "Parallax3D_R"},
                                       {"Parallax3D (2).x_y-z", "Parallax3D__2_.x_y-z"},
                                       {"Parallax3D \xC3\xA9", "Parallax3D___"},
                                       {"", ""}})
        EXPECT_EQ(PipeWireOutput::NodeName(device), node) << device;
}

TEST(PipeWireOutputTest, WithoutADaemonOpenSaysSoAndWritesAreHarmless)
{
    p3dtest::TempDir runtime; // no PipeWire listens here
    p3dtest::ScopedEnv env("XDG_RUNTIME_DIR", runtime.path().c_str());
    const std::vector<uint8_t> frame(640 * 480 * 4, 0x80);
    std::string error, notice;
    PipeWireOutput unopened;
    EXPECT_TRUE(unopened.Write(frame.data(), frame.size(), error));

    PipeWireOutput output;
    OutputSettings settings;
    settings.format = OutputFormat::kARGB;
    EXPECT_FALSE(output.Open(settings, error, notice));
    EXPECT_EQ(error, "no PipeWire answers, so there is no PipeWire camera; is the user's PipeWire "
                     "running?");
    EXPECT_TRUE(output.Write(frame.data(), frame.size(), error));
    EXPECT_FALSE(output.IsStreaming());
}
