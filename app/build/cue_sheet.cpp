#include "build/cue_sheet.h"

#include <fstream>
#include <sstream>
#include <string>

#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

// The file name of a FILE line: quoted, or up to the next blank.
std::optional<std::string> FileOfLine(const std::string& line) {
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, 5, "FILE ") != 0) return std::nullopt;
    at = line.find_first_not_of(" \t", at + 5);
    if (at == std::string::npos) return std::string();
    if (line[at] == '"') {
        const size_t end = line.find('"', at + 1);
        return end == std::string::npos ? std::string() : line.substr(at + 1, end - at - 1);
    }
    return line.substr(at, line.find_first_of(" \t", at) - at);
}

}  // namespace

fs::path BinNamedBy(const fs::path& cue) {
    std::error_code ec;
    if (fs::is_directory(cue, ec))
        throw InputError(cue.string() + " is a folder; give the .cue file of the disc image inside it");
    if (!fs::exists(cue, ec)) throw InputError("no such disc image: " + cue.string());
    std::ifstream in(cue, std::ios::binary);
    if (!in) throw InputError(cue.string() + ": cannot be read");
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        const std::optional<std::string> name = FileOfLine(line);
        if (!name) continue;
        if (name->empty()) throw InputError(cue.string() + ": its FILE line names no file");
        fs::path bin = fs::path(*name);
        if (bin.is_relative()) bin = cue.parent_path() / bin;
        if (!fs::is_regular_file(bin, ec))
            throw InputError(cue.string() + " names the image file " + *name + ", which is not there");
        return bin;
    }
    throw InputError(cue.string() + " is not a readable Video CD image (its CUE sheet names no FILE)");
}

OpenableCue::OpenableCue(const fs::path& cue) : path_(cue), bin_(BinNamedBy(cue)) {
    std::error_code ec;
    fs::path guessed = cue;
    guessed.replace_extension(".bin");
    if (fs::equivalent(guessed, bin_, ec)) return;
    folder_.emplace("vcdalbum-cue-", false);
    const fs::path link = folder_->path() / "disc.bin";
    fs::create_symlink(fs::absolute(bin_), link, ec);
    if (ec) throw RunError(cue.string() + ": cannot open its image file " + bin_.string() + " (" + ec.message() + ")");
    // The copy names the link; every other line stays as it was.
    std::ifstream in(cue, std::ios::binary);
    std::ostringstream text;
    std::string line;
    while (std::getline(in, line)) {
        const bool cr = !line.empty() && line.back() == '\r';
        if (FileOfLine(cr ? line.substr(0, line.size() - 1) : line)) line = "FILE \"" + link.string() + "\" BINARY";
        text << line << (cr && line.back() != '\r' ? "\r\n" : "\n");
    }
    path_ = folder_->path() / "disc.cue";
    std::ofstream out(path_, std::ios::binary);
    out << text.str();
    if (!out.flush()) throw RunError(path_.string() + ": cannot be written");
}

}  // namespace vcdalbum::host
