#include "project/project.h"

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>

#include <sys/stat.h>

#include <nlohmann/json.hpp>

#include "project/effects.h"
#include "console/errors.h"
#include "platform/utf8.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;
using nlohmann::json;

namespace {

// Collects the context of a message: "project.json: album "Beach": ...".
class Context {
public:
    explicit Context(const fs::path& file) : file_(file.string()) {}
    [[noreturn]] void Fail(const std::string& what) const { throw InputError(file_ + ": " + where_ + what); }
    Context Album(const std::string& title, size_t index) const {
        Context c = *this;
        c.where_ = title.empty() ? "album " + std::to_string(index + 1) + ": "
                                 : "album \"" + title + "\": ";
        return c;
    }

private:
    std::string file_;
    std::string where_;
};

const std::set<std::string> kProjectKeys = {"title", "menu_music", "albums", "menus", "albums_per_menu",
                                            "seconds_per_picture", "transitions", "music", "captions", "motion",
                                            "video"};
const std::set<std::string> kAlbumKeys = {"title", "pictures", "seconds_per_picture", "music", "transitions",
                                          "captions", "motion"};
const std::set<std::string> kPictureKeys = {"file", "caption"};

void CheckKeys(const json& object, const std::set<std::string>& known, const Context& ctx) {
    for (auto it = object.begin(); it != object.end(); ++it)
        if (!known.count(it.key())) ctx.Fail("unknown setting \"" + it.key() + "\"");
}

fs::path Resolve(const fs::path& base, const std::string& text) {
    fs::path p(text);
    return (p.is_absolute() ? p : base / p).lexically_normal();
}

std::string RequireString(const json& value, const std::string& what, const Context& ctx) {
    if (!value.is_string()) ctx.Fail(what + " must be a text");
    return value.get<std::string>();
}

Motion MotionFromJson(const json& value, const Context& ctx) {
    const std::string text = RequireString(value, "\"motion\"", ctx);
    if (text == "pan-zoom") return Motion::PanZoom;
    if (text == "none") return Motion::Still;
    ctx.Fail("\"motion\" must be \"pan-zoom\" or \"none\", not \"" + text + "\"");
}

int RequireInt(const json& value, const std::string& what, int low, int high, const Context& ctx) {
    if (!value.is_number_integer())
        ctx.Fail(what + " must be a whole number from " + std::to_string(low) + " to " + std::to_string(high));
    const auto v = value.get<int64_t>();
    if (v < low || v > high)
        ctx.Fail(what + " is " + std::to_string(v) + "; it must be from " + std::to_string(low) + " to " +
                 std::to_string(high));
    return static_cast<int>(v);
}

std::optional<int> EffectFromJson(const json& value, const Context& ctx) {
    if (value.is_number_integer()) {
        const auto v = value.get<int64_t>();
        if (v < 0 || v >= kEffectCount)
            ctx.Fail("effect number " + std::to_string(v) + " does not exist (0 to 37)");
        return static_cast<int>(v);
    }
    if (value.is_string()) {
        const auto text = value.get<std::string>();
        if (text == "none") return std::nullopt;
        if (auto e = ParseEffect(text)) return e;
        ctx.Fail("unknown effect \"" + text + "\" (see `vcdalbum effects`)");
    }
    ctx.Fail("an effect is a number 0 to 37 or a name");
}

TransitionSetting TransitionsFromJson(const json& value, const Context& ctx) {
    TransitionSetting t;
    if (value.is_string() && value.get<std::string>() == "random") {
        t.kind = TransitionSetting::Kind::Random;
    } else if (value.is_string() && value.get<std::string>() == "none") {
        t.kind = TransitionSetting::Kind::None;
    } else if (value.is_array()) {
        t.kind = TransitionSetting::Kind::PerGap;
        for (const auto& item : value) t.gaps.push_back(item.is_null() ? std::nullopt : EffectFromJson(item, ctx));
    } else {
        t.kind = TransitionSetting::Kind::Every;
        t.effect = *EffectFromJson(value, ctx);  // "none" was taken above
    }
    return t;
}

CaptionSource CaptionsFromJson(const json& value, const Context& ctx) {
    if (value == "name") return CaptionSource::Name;
    if (value == "date") return CaptionSource::Date;
    if (value == "none") return CaptionSource::None;
    ctx.Fail("\"captions\" must be \"name\", \"date\" or \"none\"");
}

// An album's list of pictures, each a file name or {"file": ..., "caption": ...}.
void PicturesFromJson(const json& list, const fs::path& base, Album& album, const Context& ctx) {
    for (const auto& item : list) {
        std::optional<std::string> caption;
        if (item.is_object()) {
            const std::string where = "picture " + std::to_string(album.pictures.size() + 1) + ": ";
            for (auto it = item.begin(); it != item.end(); ++it)
                if (!kPictureKeys.count(it.key())) ctx.Fail(where + "unknown setting \"" + it.key() + "\"");
            if (!item.contains("file")) ctx.Fail(where + "needs a \"file\"");
            album.pictures.push_back(Resolve(base, RequireString(item["file"], where + "\"file\"", ctx)));
            if (item.contains("caption")) caption = RequireString(item["caption"], where + "\"caption\"", ctx);
        } else {
            album.pictures.push_back(Resolve(base, RequireString(item, "\"pictures\"", ctx)));
        }
        album.pictureCaptions.push_back(std::move(caption));
    }
}

std::vector<fs::path> PathList(const json& value, const fs::path& base, const std::string& what,
                               const Context& ctx) {
    std::vector<fs::path> out;
    if (value.is_string()) {
        out.push_back(Resolve(base, value.get<std::string>()));
    } else if (value.is_array()) {
        for (const auto& item : value) out.push_back(Resolve(base, RequireString(item, what, ctx)));
    } else {
        ctx.Fail(what + " must be a file name or a list of file names");
    }
    return out;
}

}  // namespace

bool IsPictureFile(const fs::path& p) {
    std::string ext = p.extension().string();
    std::transform(ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return std::tolower(c); });
    static const std::set<std::string> kExtensions = {".jpg", ".jpeg", ".jpe", ".png", ".bmp", ".gif",
                                                      ".tif", ".tiff", ".webp", ".ppm", ".pgm", ".tga",
                                                      ".heic", ".heif", ".avif"};
    return kExtensions.count(ext) != 0;
}

std::vector<fs::path> PicturesInFolder(const fs::path& folder) {
    std::vector<fs::path> out;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec))
        if (entry.is_regular_file(ec) && IsPictureFile(entry.path())) out.push_back(entry.path());
    std::sort(out.begin(), out.end());
    return out;
}

const video::VideoStandard* VideoStandardNamed(const std::string& name) {
    std::string lower;
    for (char c : name) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == "ntsc") return &video::kNtsc;
    if (lower == "pal") return &video::kPal;
    return nullptr;
}

Project ParseProject(const std::string& text, const fs::path& file) {
    const Context ctx(file);
    json root;
    try {
        root = json::parse(text);
    } catch (const json::exception& e) {
        ctx.Fail(std::string("not valid JSON: ") + e.what());
    }
    if (!root.is_object()) ctx.Fail("the project must be a JSON object");
    CheckKeys(root, kProjectKeys, ctx);

    Project project;
    project.file = file;
    const fs::path base = file.parent_path().empty() ? fs::path(".") : file.parent_path();

    if (!root.contains("title")) ctx.Fail("the disc needs a \"title\"");
    project.title = RequireString(root["title"], "\"title\"", ctx);
    if (project.title.empty() || utf8::Decode(project.title).size() > 255)
        ctx.Fail("\"title\" must have 1 to 255 characters");
    if (root.contains("menu_music"))
        project.menuMusic = Resolve(base, RequireString(root["menu_music"], "\"menu_music\"", ctx));
    if (root.contains("albums_per_menu"))
        project.albumsPerMenu = RequireInt(root["albums_per_menu"], "\"albums_per_menu\"", 1, kMaxAlbumsPerMenu, ctx);

    if (root.contains("video")) {
        project.video = VideoStandardNamed(RequireString(root["video"], "\"video\"", ctx));
        if (project.video == nullptr) ctx.Fail("\"video\" must be \"ntsc\" or \"pal\"");
    }

    // Project-wide defaults that every album may override.
    int defaultSeconds = 5;
    if (root.contains("seconds_per_picture"))
        defaultSeconds = RequireInt(root["seconds_per_picture"], "\"seconds_per_picture\"", 1, kMaxSecondsPerPicture, ctx);
    TransitionSetting defaultTransitions;
    if (root.contains("transitions")) defaultTransitions = TransitionsFromJson(root["transitions"], ctx);
    const Motion defaultMotion = root.contains("motion") ? MotionFromJson(root["motion"], ctx) : Motion::Still;
    std::vector<fs::path> defaultMusic;
    if (root.contains("music")) defaultMusic = PathList(root["music"], base, "\"music\"", ctx);
    const CaptionSource defaultCaptions =
        root.contains("captions") ? CaptionsFromJson(root["captions"], ctx) : CaptionSource::None;

    if (!root.contains("albums") || !root["albums"].is_array() || root["albums"].empty())
        ctx.Fail("the disc needs a non-empty list of \"albums\"");
    const json& albums = root["albums"];
    for (size_t i = 0; i < albums.size(); ++i) {
        const json& a = albums[i];
        if (!a.is_object()) ctx.Album("", i).Fail("must be a JSON object");
        Album album;
        if (a.contains("title")) album.title = RequireString(a["title"], "\"title\"", ctx.Album("", i));
        const Context actx = ctx.Album(album.title, i);
        CheckKeys(a, kAlbumKeys, actx);
        if (album.title.empty()) actx.Fail("needs a \"title\"");

        if (!a.contains("pictures")) actx.Fail("needs \"pictures\"");
        const json& pics = a["pictures"];
        if (pics.is_string() && fs::is_directory(Resolve(base, pics.get<std::string>()))) {
            album.pictures = PicturesInFolder(Resolve(base, pics.get<std::string>()));
            if (album.pictures.empty()) actx.Fail("folder " + pics.get<std::string>() + " holds no pictures");
        } else if (pics.is_array()) {
            PicturesFromJson(pics, base, album, actx);
        } else {
            album.pictures = PathList(pics, base, "\"pictures\"", actx);
        }
        album.captions = a.contains("captions") ? CaptionsFromJson(a["captions"], actx) : defaultCaptions;
        if (album.pictures.empty()) actx.Fail("is empty: it needs at least one picture");

        album.secondsPerPicture = a.contains("seconds_per_picture")
            ? RequireInt(a["seconds_per_picture"], "\"seconds_per_picture\"", 1, kMaxSecondsPerPicture, actx)
            : defaultSeconds;
        album.music = a.contains("music") ? PathList(a["music"], base, "\"music\"", actx) : defaultMusic;
        album.transitions = a.contains("transitions") ? TransitionsFromJson(a["transitions"], actx)
                                                      : defaultTransitions;
        album.motion = a.contains("motion") ? MotionFromJson(a["motion"], actx) : defaultMotion;
        const size_t gaps = album.pictures.size() - 1;
        if (album.transitions.kind == TransitionSetting::Kind::PerGap && album.transitions.gaps.size() != gaps)
            actx.Fail("lists " + std::to_string(album.transitions.gaps.size()) + " transitions for " +
                      std::to_string(gaps) + " gaps between its " + std::to_string(album.pictures.size()) +
                      " pictures");
        project.albums.push_back(std::move(album));
    }

    if (root.contains("menus")) {
        // Explicit groups: each menu lists albums by title or by 1-based number.
        const json& menus = root["menus"];
        if (!menus.is_array() || menus.empty()) ctx.Fail("\"menus\" must be a non-empty list of album lists");
        std::vector<int> seen(project.albums.size(), 0);
        for (size_t m = 0; m < menus.size(); ++m) {
            const std::string where = "menu " + std::to_string(m + 1) + ": ";
            if (!menus[m].is_array()) ctx.Fail(where + "must be a list of album titles or numbers");
            std::vector<int> group;
            for (const auto& ref : menus[m]) {
                int index = -1;
                if (ref.is_number_integer()) {
                    const auto n = ref.get<int64_t>();
                    if (n < 1 || n > static_cast<int64_t>(project.albums.size()))
                        ctx.Fail(where + "there is no album number " + std::to_string(n));
                    index = static_cast<int>(n - 1);
                } else if (ref.is_string()) {
                    const auto title = ref.get<std::string>();
                    for (size_t i = 0; i < project.albums.size(); ++i)
                        if (project.albums[i].title == title) {
                            if (index >= 0) ctx.Fail(where + "two albums are called \"" + title + "\"; use numbers");
                            index = static_cast<int>(i);
                        }
                    if (index < 0) ctx.Fail(where + "there is no album called \"" + title + "\"");
                } else {
                    ctx.Fail(where + "albums are named by title or number");
                }
                if (seen[static_cast<size_t>(index)]++)
                    ctx.Fail(where + "album \"" + project.albums[static_cast<size_t>(index)].title +
                             "\" is in more than one menu");
                group.push_back(index);
            }
            if (group.empty()) ctx.Fail(where + "offers no albums");
            if (group.size() > static_cast<size_t>(kMaxAlbumsPerMenu))
                ctx.Fail(where + "offers " + std::to_string(group.size()) + " albums; at most " +
                         std::to_string(kMaxAlbumsPerMenu) + " fit one menu");
            project.menus.push_back(std::move(group));
        }
        for (size_t i = 0; i < seen.size(); ++i)
            if (!seen[i]) ctx.Album(project.albums[i].title, i).Fail("is in no menu");
    } else {
        PageMenus(project);
    }
    return project;
}

void PageMenus(Project& project) {
    project.menus.clear();
    const int n = static_cast<int>(project.albums.size());
    for (int first = 0; first < n; first += project.albumsPerMenu) {
        std::vector<int> group;
        for (int a = first; a < std::min(n, first + project.albumsPerMenu); ++a) group.push_back(a);
        project.menus.push_back(std::move(group));
    }
}

int64_t NewestInputTime(const Project& project) {
    int64_t newest = 0;
    const auto consider = [&](const fs::path& file) {
        struct stat st {};
        if (stat(file.string().c_str(), &st) == 0) newest = std::max<int64_t>(newest, st.st_mtime);
    };
    if (project.menuMusic) consider(*project.menuMusic);
    for (const Album& album : project.albums) {
        for (const auto& p : album.pictures) consider(p);
        for (const auto& m : album.music) consider(m);
    }
    return newest;
}

Project LoadProject(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw InputError(file.string() + ": cannot read the project file");
    std::ostringstream text;
    text << in.rdbuf();
    if (in.bad()) throw InputError(file.string() + ": cannot read the project file");
    return ParseProject(text.str(), file);
}

// The writer: the same format as the parser above, in the order a person
// reads it (disc, then albums with their pictures last).
namespace {

using ordered_json = nlohmann::ordered_json;

std::string PathText(const fs::path& path, const fs::path& base) {
    const fs::path absolute = fs::absolute(path).lexically_normal();
    const fs::path relative = absolute.lexically_relative(base);
    if (!relative.empty() && *relative.begin() != "..") return relative.generic_string();
    return absolute.string();
}

ordered_json PathsJson(const std::vector<fs::path>& paths, const fs::path& base) {
    ordered_json list = ordered_json::array();
    for (const auto& p : paths) list.push_back(PathText(p, base));
    return list;
}

// The album's pictures: a file name each, or {"file", "caption"} for one
// with a caption of its own.
ordered_json PicturesJson(const Album& album, const fs::path& base) {
    ordered_json list = ordered_json::array();
    for (size_t i = 0; i < album.pictures.size(); ++i) {
        const std::string file = PathText(album.pictures[i], base);
        if (i < album.pictureCaptions.size() && album.pictureCaptions[i])
            list.push_back({{"file", file}, {"caption", *album.pictureCaptions[i]}});
        else
            list.push_back(file);
    }
    return list;
}

ordered_json EffectJson(std::optional<int> effect) {
    return effect ? ordered_json(std::string(EffectName(*effect))) : ordered_json("none");
}

ordered_json TransitionsJson(const TransitionSetting& t) {
    switch (t.kind) {
        case TransitionSetting::Kind::None: return "none";
        case TransitionSetting::Kind::Random: return "random";
        case TransitionSetting::Kind::Every: return EffectJson(t.effect);
        case TransitionSetting::Kind::PerGap: break;
    }
    ordered_json gaps = ordered_json::array();
    for (const auto& gap : t.gaps) gaps.push_back(EffectJson(gap));
    return gaps;
}

// Whether the menus are what paging by `albumsPerMenu` gives, so the file
// need not list them.
bool PagedMenus(const Project& project) {
    size_t next = 0;
    for (const auto& menu : project.menus) {
        if (menu.empty() || menu.size() > static_cast<size_t>(project.albumsPerMenu)) return false;
        if (menu.size() < static_cast<size_t>(project.albumsPerMenu) && &menu != &project.menus.back()) return false;
        for (int album : menu)
            if (album != static_cast<int>(next++)) return false;
    }
    return next == project.albums.size();
}

// The first name in the project that is not UTF-8, shown with U+FFFD.
std::optional<std::string> NotUtf8(const Project& project) {
    auto bad = [](const std::string& text) { return utf8::Valid(text) != text; };
    if (bad(project.title)) return "the disc title \"" + utf8::Valid(project.title) + "\"";
    if (project.menuMusic && bad(project.menuMusic->string())) return "the name " + utf8::Valid(project.menuMusic->string());
    for (const Album& album : project.albums) {
        if (bad(album.title)) return "the album title \"" + utf8::Valid(album.title) + "\"";
        for (const auto* files : {&album.pictures, &album.music})
            for (const fs::path& f : *files)
                if (bad(f.string())) return "the name " + utf8::Valid(f.string());
        for (const auto& caption : album.pictureCaptions)
            if (caption && bad(*caption)) return "the caption \"" + utf8::Valid(*caption) + "\"";
    }
    return std::nullopt;
}

}  // namespace

std::string ProjectJson(const Project& project, const fs::path& file) {
    const fs::path base = fs::absolute(file).lexically_normal().parent_path();
    ordered_json root;
    root["title"] = project.title;
    if (project.menuMusic) root["menu_music"] = PathText(*project.menuMusic, base);
    if (*project.video == video::kPal) root["video"] = "pal";
    if (PagedMenus(project)) {
        if (project.albumsPerMenu != Project{}.albumsPerMenu) root["albums_per_menu"] = project.albumsPerMenu;
    } else {
        ordered_json menus = ordered_json::array();
        for (const auto& menu : project.menus) {
            ordered_json numbers = ordered_json::array();
            for (int album : menu) numbers.push_back(album + 1);
            menus.push_back(numbers);
        }
        root["menus"] = menus;
    }
    ordered_json albums = ordered_json::array();
    for (const Album& album : project.albums) {
        ordered_json a;
        a["title"] = album.title;
        a["seconds_per_picture"] = album.secondsPerPicture;
        a["transitions"] = TransitionsJson(album.transitions);
        if (!album.music.empty()) a["music"] = PathsJson(album.music, base);
        if (album.captions != CaptionSource::None)
            a["captions"] = album.captions == CaptionSource::Name ? "name" : "date";
        if (album.motion == Motion::PanZoom) a["motion"] = "pan-zoom";
        a["pictures"] = PicturesJson(album, base);
        albums.push_back(std::move(a));
    }
    root["albums"] = std::move(albums);
    // A project file is UTF-8 text: a name in another encoding could only be
    // written changed, and would then name no file.
    if (const std::optional<std::string> name = NotUtf8(project))
        throw InputError(file.string() + ": cannot be written: " + *name +
                         " is not UTF-8 and a project file cannot hold it; rename it, or build from the folder");
    return root.dump(2, ' ', false, ordered_json::error_handler_t::replace) + "\n";
}

}  // namespace vcdalbum::host
