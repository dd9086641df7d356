#include <gtest/gtest.h>

#include <sstream>

#include "cli/Output.h"
#include "cli/ProgressView.h"
#include "update/Messages.h"

namespace lut::cli {
namespace {

namespace d = dialogue;

TEST(ProgressView, TalliesComeFromTheEventsAlone) {
    std::ostringstream out;
    ProgressView view(out, ProgressView::Style::Quiet);
    for (const DialogueEvent& event : std::vector<DialogueEvent>{
             d::RequestSent{{"SN", "127.0.0.2", "S1"}, "S1", 5, false},
             d::Accepted{3},
             d::RunBegins{5, 3, false},
             d::BlockSent{3, false, false},
             d::BlockSent{4, false, true},
             d::QuerySent{1, false},
             d::ResendAsked{{1, 2}},
             d::RunBegins{2, 0, true},
             d::BlockSent{1, true, false},
             d::BlockSent{2, true, false},
             d::QuerySent{1, true},
         }) {
        view.Apply(event);
    }
    EXPECT_EQ(view.BlockCount(), 5);
    EXPECT_EQ(view.BlocksSent(), 4);
    EXPECT_EQ(view.BlocksResent(), 2);
    EXPECT_EQ(view.SendFailures(), 2);
    EXPECT_EQ(view.CurrentStage(), ProgressView::Stage::Querying);
    EXPECT_EQ(out.str(), "");
}

TEST(ProgressView, LinesNameEachStageOnce) {
    std::ostringstream out;
    ProgressView view(out, ProgressView::Style::Lines);
    for (const DialogueEvent& event : std::vector<DialogueEvent>{
             d::RequestSent{}, d::Accepted{0}, d::RunBegins{2, 0, false}, d::BlockSent{0}, d::BlockSent{1},
             d::QuerySent{1}, d::QuerySent{2}, d::QueriesUnanswered{}, d::RunEnds{}}) {
        view.Apply(event);
    }
    EXPECT_EQ(out.str(), "Request Update\nUpdating\nQuery Update result\nUpdate Fail\n");
}

TEST(ProgressView, BarCountsDownTheBlocksAndTheFinalPause) {
    std::ostringstream out;
    ProgressView view(out, ProgressView::Style::Bar);
    view.Apply(d::Accepted{100});
    view.Apply(d::RunBegins{400, 100, false});
    EXPECT_TRUE(
        out.str().ends_with("\r[#######.......................] 100/400 blocks, 1:05 left  Updating\x1b[K"))
        << out.str();
    view.Apply(d::QuerySent{1});
    view.Apply(d::QuerySent{2});
    EXPECT_TRUE(out.str().ends_with("400/400 blocks  Query Update result (query 2)\x1b[K")) << out.str();
    view.Close();
    EXPECT_TRUE(out.str().ends_with("\x1b[K\n"));
}

// The workers' last reports come after the attempt has ended: they count, but never reopen its line, so
// that what follows has the terminal line to itself.
TEST(ProgressView, AnEndedLineStaysEnded) {
    for (const auto style : {ProgressView::Style::Bar, ProgressView::Style::Lines}) {
        std::ostringstream out;
        ProgressView view(out, style);
        view.Apply(d::Accepted{0});
        view.Apply(d::RunBegins{2, 0, false});
        view.Apply(d::BlockSent{0});
        view.End();
        view.End();
        const std::string ended = out.str();
        EXPECT_TRUE(ended.ends_with("\n")) << ended;
        view.Apply(d::BlockSent{1});
        view.Apply(d::QueriesUnanswered{});
        view.Apply(d::RunEnds{});
        EXPECT_EQ(out.str(), ended);
        EXPECT_EQ(view.BlocksSent(), 2);
    }
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
