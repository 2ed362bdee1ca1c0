#include "console/progress.h"

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

namespace vcdalbum::host {
namespace {

std::string Captured(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string text;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
    return text;
}

TEST(Progress, PlainLinesEveryQuarterAndNeverBackwards) {
    std::FILE* f = std::tmpfile();
    {
        Progress p(f, false, Verbosity::Normal);
        p.SetPhases({"preparing pictures", "encoding"});
        for (int i = 1; i <= 8; ++i) p.Update(0, i / 8.0, "p" + std::to_string(i) + ".jpg");
        p.Done(0, "8 pictures");
        p.Update(1, 0.6);
        p.Update(1, 0.3);  // a smaller value does not take it back
        p.Update(1, 0.7);
        p.Done(1);
        p.Done(1);  // once only
    }
    const std::string text = Captured(f);
    std::fclose(f);
    EXPECT_EQ(text,
              "preparing pictures: 0% (p1.jpg)\n"  // the start
              "preparing pictures: 25% (p2.jpg)\n"
              "preparing pictures: 50% (p4.jpg)\n"
              "preparing pictures: 75% (p6.jpg)\n"
              "preparing pictures: done (8 pictures)\n"
              "encoding: 50%\n"  // began at 60%: one line for the quarter reached
              "encoding: done\n");
    EXPECT_EQ(text.find('\x1b'), std::string::npos);  // no terminal codes in a log
}

TEST(Progress, QuietSaysNothingAndVerboseSaysMore) {
    std::FILE* f = std::tmpfile();
    {
        Progress quiet(f, true, Verbosity::Quiet);
        quiet.SetPhases({"encoding"});
        quiet.Update(0, 0.5, "album");
        quiet.Done(0);
        quiet.Say("hello");
        quiet.Note("detail");
    }
    EXPECT_EQ(Captured(f), "");
    std::fclose(f);

    f = std::tmpfile();
    {
        Progress verbose(f, false, Verbosity::Verbose);
        verbose.SetPhases({"encoding"});
        verbose.Update(0, 0.1, "menu 1");
        verbose.Update(0, 0.2, "album \"Beach\"");
        verbose.Note("work folder: /tmp/x");
    }
    EXPECT_EQ(Captured(f), "encoding: 0% (menu 1)\nencoding: album \"Beach\"\nwork folder: /tmp/x\n");
    std::fclose(f);
}

TEST(Progress, TerminalRedrawsEachPhaseLineInPlace) {
    std::FILE* f = std::tmpfile();
    {
        Progress p(f, true, Verbosity::Normal);
        p.SetPhases({"one", "two", "three"});
        p.Update(1, 0.5, "x");
    }
    const std::string text = Captured(f);
    std::fclose(f);
    EXPECT_EQ(text.substr(0, 3), "\n\n\n");  // room for the three bars
    // The update of phase "two" goes up two lines, draws, comes back down.
    const std::string last = text.substr(text.rfind("\x1b[2A"));
    EXPECT_NE(last.find("two"), std::string::npos);
    EXPECT_NE(last.find(Bar(0.5, 24)), std::string::npos);
    EXPECT_NE(last.find("\x1b[2B"), std::string::npos);
    EXPECT_EQ(Bar(0, 4), "[....]   0%");
    EXPECT_EQ(Bar(1, 4), "[####] 100%");
    EXPECT_EQ(Bar(2, 4), "[####] 100%");
}

}  // namespace
}  // namespace vcdalbum::host
