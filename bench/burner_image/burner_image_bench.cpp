// Builds the two-menu example disc (three and two albums, eight 4-second
// streams) through VRX_Burner into a BIN/CUE image, as a host would.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "vcdalbum/VRX_Burner.h"

namespace fs = std::filesystem;

namespace {

struct Folder {
    fs::path path;
    Folder() {
        std::string pattern = (fs::temp_directory_path() / "burner-bench-XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~Folder() {
        std::error_code ec;
        fs::remove_all(path, ec);
    }
};

bool MakeStreams(const fs::path& dir) {
    const char* colours[] = {"black", "navy", "red", "orange", "yellow", "maroon", "green", "purple"};
    for (int i = 0; i < 8; ++i) {
        const std::string command = "ffmpeg -nostdin -v error -y -f lavfi -i color=c=" + std::string(colours[i]) +
                                    ":s=352x240:r=30000/1001 -f lavfi -i anullsrc=r=44100:cl=stereo -target ntsc-vcd "
                                    "-t 4 '" + (dir / ("s" + std::to_string(i) + ".mpg")).string() + "'";
        if (std::system(command.c_str()) != 0) return false;
    }
    return true;
}

// One disc: the fixed first stream, two menu pages, five albums, linked as
// the authoring run links them.
bool BurnExample(const fs::path& streams) {
    VRX_Burner burner;
    unsigned char name[] = "Bench Example";
    if (burner.init(4, name) != VRX_OK) return false;
    unsigned long size = 0, isDat = 0;
    auto stream = [&](int i) { return (streams / ("s" + std::to_string(i) + ".mpg")).string(); };
    burner.addSequenceItem(stream(0).c_str(), "default", "defaultentry", &size, &isDat);
    const int perMenu[] = {3, 2};
    std::vector<_pbc_t*> menus, albums;
    int a = 0;
    for (int m = 0; m < 2; ++m) {
        std::string item = "MenuItem" + std::to_string(m), node = "Menu" + std::to_string(m);
        burner.addSequenceItem(stream(1 + m).c_str(), item.c_str(), std::to_string(m).c_str(), &size, &isDat);
        menus.push_back(burner.getSelectionListNode(node.data()));
        if (m > 0) burner.addSelectionID(menus[m - 1], node.data());
        burner.setSelectionItemID(menus[m], item.data());
        for (int i = 0; i < perMenu[m]; ++i, ++a) {
            std::string albumNode = "Album" + std::to_string(a), albumItem = "AlbumItem" + std::to_string(a);
            albums.push_back(burner.getPlayListNode(albumNode.data()));
            burner.addSelectionID(menus[m], albumNode.data());
            burner.addSequenceItem(stream(3 + a).c_str(), albumItem.c_str(), std::to_string(a).c_str(), &size, &isDat);
            burner.addPlayItemID(albums[a], albumItem.data());
            burner.setWaitTime(albums[a], 3);
        }
    }
    for (int m = 0; m < 2; ++m) {
        std::string prev = "Menu" + std::to_string(m > 0 ? m - 1 : 0), next = "Menu" + std::to_string(m < 1 ? m + 1 : m);
        burner.setPrevNode(menus[m], prev.data());
        burner.setNextNode(menus[m], next.data());
        burner.AddNode(menus[m]);
    }
    const int firstOf[] = {0, 0, 0, 3, 3}, lastOf[] = {2, 2, 2, 4, 4}, menuOf[] = {0, 0, 0, 1, 1};
    for (int i = 0; i < 5; ++i) {
        std::string menu = "Menu" + std::to_string(menuOf[i]);
        std::string next = i == lastOf[i] ? menu : "Album" + std::to_string(i + 1);
        std::string prev = i == firstOf[i] ? menu : "Album" + std::to_string(i - 1);
        burner.setNextNode(albums[i], next.data());
        burner.setPrevNode(albums[i], prev.data());
        burner.AddNode(albums[i]);
    }
    burner.selectDrive(false, 0);
    return burner.burn(0, nullptr, 8) == VRX_OK;
}

void BM_ExampleDiscImage(benchmark::State& state) {
    Folder streams, images;
    if (!MakeStreams(streams.path)) {
        state.SkipWithError("ffmpeg could not make the streams");
        return;
    }
    setenv("VCDALBUM_IMAGE_DIR", images.path.c_str(), 1);
    for (auto _ : state) {
        if (!BurnExample(streams.path)) {
            state.SkipWithError("the burn failed");
            return;
        }
    }
    const fs::path bin = images.path / "Bench Example.bin";
    std::error_code ec;
    state.counters["image_bytes"] = static_cast<double>(fs::file_size(bin, ec));
    state.counters["image_sectors"] = static_cast<double>(fs::file_size(bin, ec) / 2352);
}
BENCHMARK(BM_ExampleDiscImage)->Unit(benchmark::kMillisecond)->MinTime(2.0);

}  // namespace

BENCHMARK_MAIN();
