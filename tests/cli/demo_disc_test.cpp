// The demo disc, built once and read back with the disc tools.
#include <cmath>
#include <fstream>
#include <iterator>
#include <regex>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "cli/cli_runner.h"
#include "cli/disc_reader.h"

namespace vcdalbum::clitest {
namespace {
namespace fs = std::filesystem;

class DemoDisc : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        dir_ = new ScratchDir("vcdalbum-demo-disc-");
        run_ = new RunResult(RunCli({"demo", "--out", (*dir_ / "out").string()}));
        cue_ = *dir_ / "out" / "vcdalbum demo.cue";
        fs::create_directories(*dir_ / "rip");
        if (run_->exitCode == 0) disc_ = new Disc(RipDisc(cue_, *dir_ / "rip"));
    }
    static void TearDownTestSuite() {
        delete disc_;
        delete run_;
        delete dir_;
        disc_ = nullptr;
    }
    void SetUp() override {
        ASSERT_EQ(run_->exitCode, 0) << run_->err;
        ASSERT_NE(disc_, nullptr);
    }

    static ScratchDir* dir_;
    static RunResult* run_;
    static fs::path cue_;
    static Disc* disc_;
};
ScratchDir* DemoDisc::dir_ = nullptr;
RunResult* DemoDisc::run_ = nullptr;
fs::path DemoDisc::cue_;
Disc* DemoDisc::disc_ = nullptr;

TEST_F(DemoDisc, SaysWhereTheImageIsAndHowToUseIt) {
    EXPECT_NE(run_->out.find(cue_.string()), std::string::npos) << run_->out;
    EXPECT_NE(run_->out.find("Play it"), std::string::npos);
    EXPECT_NE(run_->out.find("Burn it"), std::string::npos);
    EXPECT_NE(run_->out.find("vcdalbum preview \"" + cue_.string()), std::string::npos);
    EXPECT_TRUE(fs::exists(*dir_ / "out" / "vcdalbum demo.bin"));
    EXPECT_TRUE(fs::exists(*dir_ / "out" / "project" / "project.json"));  // rebuildable with `vcdalbum build`
}

// One album shows captions, given picture by picture in the project.
TEST_F(DemoDisc, OneAlbumHasCaptions) {
    std::ifstream file(*dir_ / "out" / "project" / "project.json");
    const nlohmann::json project = nlohmann::json::parse(file);
    int captioned = 0;
    for (const auto& album : project.at("albums"))
        for (const auto& picture : album.at("pictures"))
            captioned += picture.is_object() && !picture.value("caption", "").empty();
    EXPECT_EQ(captioned, 4);
}

TEST_F(DemoDisc, ReadBackAsVcd20WithTwoMenusAndSixAlbums) {
    const RunResult info = RunProgram("vcd-info", {"-B", "-c", cue_.string(), "-f", "-I", "-L", "-p", "-E", "-T", "-F"});
    EXPECT_EQ(info.exitCode, 0) << info.err;
    EXPECT_TRUE(std::regex_search(info.out, std::regex("VCD 2\\.0"))) << info.out.substr(0, 2000);
    const RunResult inspect = RunCli({"inspect", cue_.string()});
    EXPECT_EQ(inspect.exitCode, 0) << inspect.err;
    EXPECT_TRUE(std::regex_search(inspect.out, std::regex("VCD 2\\.0"))) << inspect.out.substr(0, 2000);

    EXPECT_EQ(disc_->discClass, "vcd");
    EXPECT_EQ(disc_->version, "2.0");
    // The lead clip, then menu 1 and its four albums, menu 2 and its two.
    ASSERT_EQ(disc_->tracks.size(), 9u);
    ASSERT_EQ(disc_->nodes.size(), 8u);
    const DiscNode& menu1 = disc_->nodes[0];
    const DiscNode& menu2 = disc_->nodes[1];
    EXPECT_TRUE(menu1.selectionList);
    EXPECT_TRUE(menu2.selectionList);
    EXPECT_EQ(menu1.selections, (std::vector<int>{2, 3, 4, 5, 1}));
    EXPECT_EQ(menu2.selections, (std::vector<int>{6, 7}));
    EXPECT_EQ(menu1.track, 1);
    EXPECT_EQ(menu2.track, 6);
    for (int a = 2; a < 8; ++a) EXPECT_FALSE(disc_->nodes[static_cast<size_t>(a)].selectionList) << a;
}

// One line per list, in a form both vcd-info's dump of VCD/PSD.VCD and
// `inspect --json` can be brought to.
std::vector<std::string> ListsFromVcdInfo(const std::string& dump) {
    const size_t from = dump.find("VCD/PSD.VCD"), to = dump.find("EXT/PSD_X.VCD");
    const std::string psd = dump.substr(from, to == std::string::npos ? std::string::npos : to - from);
    std::vector<std::string> lines;
    const std::regex block(R"(PSD\[\d+\] \(LID\[(\d+)\][^)]*\): (selection|extended selection|play) list descriptor([\s\S]*?)(?=\n\s*PSD\[|$))");
    auto link = [](const std::string& body, const std::string& name) {
        std::smatch m;
        if (!std::regex_search(body, m, std::regex(name + R"(: (LID\[(\d+)\]|\S+))"))) return std::string("?");
        return m[2].matched ? m[2].str() : std::string("-");
    };
    auto number = [](const std::string& body, const std::string& pattern) {
        std::smatch m;
        return std::regex_search(body, m, std::regex(pattern)) ? m[1].str() : std::string("?");
    };
    for (auto it = std::sregex_iterator(psd.begin(), psd.end(), block); it != std::sregex_iterator(); ++it) {
        const std::string body = (*it)[3];
        const bool play = (*it)[2] == "play";
        std::string items, selections;
        const std::regex item(R"(play-item(?:\[\d+\])?: SEQUENCE\[(\d+)\])");
        for (auto i = std::sregex_iterator(body.begin(), body.end(), item); i != std::sregex_iterator(); ++i)
            items += "track" + std::to_string(std::stoi((*i)[1]) + 1) + " ";
        const std::regex ofs(R"(ofs\[\d+\]: LID\[(\d+)\])");
        for (auto o = std::sregex_iterator(body.begin(), body.end(), ofs); o != std::sregex_iterator(); ++o)
            selections += (*o)[1].str() + " ";
        std::string line = "list " + (*it)[1].str() + (play ? " play" : " selection") + " items=" + items +
                           "prev=" + link(body, "prev") + " next=" + link(body, "next") +
                           " return=" + link(body, "return") + " wait=" + number(body, R"(wait: (-?\d+) ?s)");
        if (!play)
            line += " bsn=" + number(body, R"(BSN: (\d+))") + " selections=" + selections + "default=" +
                    link(body, "default") + " timeout=" + link(body, "timeout") + " loop=" + number(body, R"(loop: (\d+))");
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> ListsFromJson(const nlohmann::json& disc) {
    auto link = [](const nlohmann::json& v) { return v.is_number() ? std::to_string(v.get<int>()) : std::string("-"); };
    std::vector<std::string> lines;
    for (const auto& l : disc.at("lists")) {
        const bool play = l.at("kind") == "play";
        std::string items, selections;
        for (const auto& i : l.at("items")) items += i.at("kind").get<std::string>() + std::to_string(i.at("number").get<int>()) + " ";
        std::string line = "list " + std::to_string(l.at("lid").get<int>()) + " " + l.at("kind").get<std::string>() +
                           " items=" + items + "prev=" + link(l.at("prev")) + " next=" + link(l.at("next")) +
                           " return=" + link(l.at("return")) + " wait=" + std::to_string(l.at("wait").get<int>());
        if (!play) {
            for (const auto& s : l.at("selections")) selections += link(s) + " ";
            line += " bsn=" + std::to_string(l.at("bsn").get<int>()) + " selections=" + selections +
                    "default=" + link(l.at("default")) + " timeout=" + link(l.at("timeout")) +
                    " loop=" + std::to_string(l.at("loop").get<int>());
        }
        lines.push_back(line);
    }
    return lines;
}

TEST_F(DemoDisc, InspectJsonAgreesWithVcdInfoListByList) {
    const RunResult info = RunProgram("vcd-info", {"-B", "-c", cue_.string(), "-p"});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    const RunResult inspect = RunCli({"inspect", "--json", cue_.string()});
    ASSERT_EQ(inspect.exitCode, 0) << inspect.err;
    const nlohmann::json disc = nlohmann::json::parse(inspect.out);
    const std::vector<std::string> expected = ListsFromVcdInfo(info.out);
    ASSERT_EQ(expected.size(), 8u) << info.out;
    EXPECT_EQ(ListsFromJson(disc), expected);
    // Tracks: the ripped files in the same order, with the image's lengths.
    ASSERT_EQ(disc.at("tracks").size(), disc_->tracks.size());
    for (size_t t = 0; t < disc_->tracks.size(); ++t) {
        const double ripped = static_cast<double>(fs::file_size(disc_->tracks[t])) / 2324 / 75;
        EXPECT_NEAR(disc.at("tracks")[t].at("seconds").get<double>(), ripped, 0.05) << "track " << t + 1;
    }
}

// The preview: every track in a form browsers play, as long as the disc's
// track, shown at 4:3; the page carries the disc's lists and needs nothing
// from the network.
TEST_F(DemoDisc, PreviewTranscodesEveryTrackAndWritesAnOfflinePage) {
    const fs::path out = *dir_ / "preview";
    const RunResult run = RunCli({"preview", cue_.string(), "--out", out.string()});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find((out / "index.html").string()), std::string::npos) << run.out;
    std::ifstream pageFile(out / "index.html");
    const std::string page(std::istreambuf_iterator<char>(pageFile), {});
    EXPECT_EQ(page.find("http"), std::string::npos) << "the page reaches for the network";
    EXPECT_FALSE(std::regex_search(page, std::regex("<script[^>]*\\ssrc="))) << "the page loads a script";
    EXPECT_NE(page.find("\"selections\":[3,4,5,6,2]"), std::string::npos) << "the first menu's lists are missing";

    const RunResult inspect = RunCli({"inspect", "--json", cue_.string()});
    std::ifstream json(out / "disc.json");
    EXPECT_EQ(nlohmann::json::parse(json), nlohmann::json::parse(inspect.out));

    for (size_t t = 0; t < disc_->tracks.size(); ++t) {
        char name[32];
        std::snprintf(name, sizeof name, "track%02zu.webm", t + 1);
        SCOPED_TRACE(name);
        const auto probe = [](const fs::path& file) {
            return RunProgram("ffprobe", {"-v", "error", "-show_entries",
                                          "stream=codec_name,width,height,display_aspect_ratio:format=duration", "-of",
                                          "default=noprint_wrappers=1", file.string()})
                .out;
        };
        const std::string o = probe(out / name);
        EXPECT_NE(o.find("codec_name=vp8"), std::string::npos) << o;
        EXPECT_NE(o.find("codec_name=opus"), std::string::npos) << o;
        EXPECT_NE(o.find("width=352\nheight=240"), std::string::npos) << o;
        EXPECT_NE(o.find("display_aspect_ratio=4:3"), std::string::npos) << o;
        std::smatch webm, mpeg;
        const std::string m = probe(disc_->tracks[t]);
        const std::regex duration("duration=([0-9.]+)");
        ASSERT_TRUE(std::regex_search(o, webm, duration)) << o;
        ASSERT_TRUE(std::regex_search(m, mpeg, duration)) << m;
        EXPECT_NEAR(std::stod(webm[1]), std::stod(mpeg[1]), 0.15);
        // Frame by frame, at the disc's rate, the picture is the disc's: a
        // frame left out that differed, or a shift in time, shows up as a
        // frame far from its original.
        const RunResult psnr = RunProgram(
            "ffmpeg", {"-nostdin", "-i", (out / name).string(), "-i", disc_->tracks[t].string(), "-lavfi",
                       "[0:v]fps=30000/1001,setpts=PTS-STARTPTS[a];[1:v]setpts=PTS-STARTPTS[b];[a][b]psnr", "-f",
                       "null", "-"});
        std::smatch worst;
        ASSERT_TRUE(std::regex_search(psnr.err, worst, std::regex("PSNR y:.* min:([0-9.]+|inf)"))) << psnr.err;
        EXPECT_TRUE(worst[1] == "inf" || std::stod(worst[1]) > 30) << "worst frame " << worst[1] << " dB";
    }
}

TEST_F(DemoDisc, TheSunsetsMoveWhileTheirNeighboursHoldStill) {
    ASSERT_EQ(disc_->tracks.size(), 9u);
    // Mean luma change from the first to the last frame of an album's first
    // picture: its fourth track moves ("motion": "pan-zoom"), the third does not.
    const auto change = [](const fs::path& track) {
        const RunResult frames = RunProgram("ffmpeg", {"-nostdin", "-v", "error", "-i", track.string(), "-an", "-vf",
                                                       "select='eq(n\\,0)+eq(n\\,88)'", "-vsync", "0", "-f",
                                                       "rawvideo", "-pix_fmt", "gray", "-"});
        constexpr size_t kPlane = 352 * 240;
        if (frames.out.size() != 2 * kPlane) return -1.0;
        double sum = 0;
        for (size_t i = 0; i < kPlane; ++i)
            sum += std::abs(static_cast<unsigned char>(frames.out[i]) - static_cast<unsigned char>(frames.out[kPlane + i]));
        return sum / kPlane;
    };
    const double still = change(disc_->tracks[2]), moving = change(disc_->tracks[3]);
    EXPECT_GE(still, 0);
    EXPECT_LT(still, 1.0);
    EXPECT_GT(moving, 5.0);
}

TEST_F(DemoDisc, EveryTrackIsAConformantNtscVcdStream) {
    ASSERT_FALSE(disc_->tracks.empty());
    for (const auto& track : disc_->tracks) {
        const RunResult probe = RunProgram("ffprobe", {"-v", "error", "-show_entries",
                                                "stream=codec_name,width,height,r_frame_rate,sample_aspect_ratio,"
                                                "sample_rate,channels,bit_rate:format=format_name",
                                                "-of", "default=noprint_wrappers=1", track.string()});
        ASSERT_EQ(probe.exitCode, 0) << track << "\n" << probe.err;
        const std::string& o = probe.out;
        EXPECT_NE(o.find("codec_name=mpeg1video"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("width=352"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("height=240"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("r_frame_rate=30000/1001"), std::string::npos) << track << "\n" << o;
        // MPEG-1 codes pixel shape by table: the 525-line 4:3 entry reads back as 200:219.
        EXPECT_TRUE(std::regex_search(o, std::regex("sample_aspect_ratio=(10:11|200:219)"))) << track << "\n" << o;
        EXPECT_NE(o.find("codec_name=mp2"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("sample_rate=44100"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("channels=2"), std::string::npos) << track << "\n" << o;
        EXPECT_NE(o.find("format_name=mpeg"), std::string::npos) << track << "\n" << o;
    }
}

}  // namespace
}  // namespace vcdalbum::clitest
