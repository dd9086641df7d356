#include <gtest/gtest.h>

#include <sstream>

#include "cli/Output.h"
#include "cli/ProgressView.h"
#include "update/Messages.h"

namespace lut::cli {
namespace {

using Kind = DisplayEvent::Kind;

TEST(ProgressView, FirstRunGivesTheBlockCountLaterRunsAreResends) {
    std::ostringstream out;
    ProgressView view(out, ProgressView::Style::Quiet);
    view.Status(std::string(text::Updating));
    for (const DisplayEvent& event : std::vector<DisplayEvent>{{Kind::ProgressMax, 5},
                                                               {Kind::ProgressPosition, 3},
                                                               {Kind::Advance},
                                                               {Kind::Advance},
                                                               {Kind::ProgressMax, 2},
                                                               {Kind::ProgressPosition, 0},
                                                               {Kind::Advance},
                                                               {Kind::ProgressPosition, 0},
                                                               {Kind::Advance},
                                                               {Kind::ProgressMax, 1},
                                                               {Kind::Advance}}) {
        view.Apply(event);
    }
    EXPECT_EQ(view.BlockCount(), 5);
    EXPECT_EQ(view.BlocksSent(), 5);
    EXPECT_EQ(view.BlocksResent(), 3);
    EXPECT_TRUE(view.Resending());
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressView, BarCountsDownTheBlocksAndTheFinalPause) {
    std::ostringstream out;
    ProgressView view(out, ProgressView::Style::Bar);
    view.Status(std::string(text::Updating));
    view.Apply({Kind::ProgressMax, 400});
    view.Apply({Kind::ProgressPosition, 100});
    EXPECT_TRUE(
        out.str().ends_with("\r[#######.......................] 100/400 blocks, 1:05 left  Updating\x1b[K"))
        << out.str();
    view.Status(std::string(text::QueryUpdateResult));
    view.Status(std::string(text::QueryUpdateResult));
    EXPECT_TRUE(out.str().ends_with("400/400 blocks  Query Update result (query 2)\x1b[K")) << out.str();
    view.Close();
    EXPECT_TRUE(out.str().ends_with("\x1b[K\n"));
}

TEST(Output, ControlCharactersOfALoggerNeverReachTheTerminal) {
    const struct {
        std::string_view raw;
        std::string shown;
    } cases[] = {
        {"S1.02", "S1.02"},
        {"A\x01"
         "B",
         "A\\x01B"},
        {"\x1b[2J", "\\x1B[2J"},
        {"tab\there\x7f", "tab\\x09here\\x7F"},
        {"\xB5\xE4", "\xB5\xE4"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Printable(c.raw), c.shown);
    }
}

}  // namespace
}  // namespace lut::cli
