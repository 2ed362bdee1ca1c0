#include "host/disc_build.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <mutex>
#include <sstream>
#include <thread>

#include <sys/stat.h>
#include <unistd.h>

#include <vcdalbum/Authoring.h>

#include "host/errors.h"
#include "host/menu_page.h"
#include "host/pictures.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

enum PhaseIndex : size_t { kPreparing, kMenus, kTransitions, kEncoding, kBuilding, kWriting };

// What the library's progress callback (a plain function) reports into.
// AppendAlbum first reports its transitions up to 100, then the encoder
// reports the album's encoding from 0.
struct CallbackState {
    Progress* progress = nullptr;
    size_t transitionsBefore = 0, transitionsInAlbum = 0, transitionsTotal = 0;
    bool inTransitions = false;
    size_t streamsBefore = 0, streamsTotal = 0;
    std::string album;
};
CallbackState g_callback;

void OnLibraryProgress(int percent) {
    CallbackState& s = g_callback;
    if (!s.progress) return;
    const double f = std::clamp(percent, 0, 100) / 100.0;
    if (s.inTransitions) {
        const double done = static_cast<double>(s.transitionsBefore) + f * static_cast<double>(s.transitionsInAlbum);
        s.progress->Update(kTransitions, done / static_cast<double>(std::max<size_t>(1, s.transitionsTotal)), s.album);
        if (percent >= 100) s.inTransitions = false;
        return;
    }
    s.progress->Update(kEncoding, (static_cast<double>(s.streamsBefore) + f) / static_cast<double>(s.streamsTotal),
                       s.album);
}

class WorkFolder {
public:
    explicit WorkFolder(bool keep) : keep_(keep) {
        std::string pattern = (fs::temp_directory_path() / "vcdalbum-XXXXXX").string();
        if (!mkdtemp(pattern.data())) throw RunError("cannot make a work folder in " + fs::temp_directory_path().string());
        path_ = pattern;
    }
    ~WorkFolder() {
        if (keep_) return;
        std::error_code ec;
        fs::remove_all(path_, ec);
    }
    const fs::path& path() const { return path_; }

private:
    fs::path path_;
    bool keep_;
};

// Sets an environment variable for the run and restores it afterwards.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const std::string& value) : name_(name) {
        if (const char* old = std::getenv(name)) old_ = old;
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnv() {
        if (old_) setenv(name_, old_->c_str(), 1);
        else unsetenv(name_);
    }

private:
    const char* name_;
    std::optional<std::string> old_;
};

std::string AlbumLabel(const Project& project, const AlbumPlan& a) {
    return "album \"" + project.albums[static_cast<size_t>(a.album)].title + "\"";
}

void CheckInputsExist(const Project& project) {
    std::error_code ec;
    if (project.menuMusic && !fs::is_regular_file(*project.menuMusic, ec))
        throw InputError(project.file.string() + ": menu music " + project.menuMusic->string() + " not found");
    for (const auto& album : project.albums) {
        for (size_t i = 0; i < album.pictures.size(); ++i)
            if (!fs::is_regular_file(album.pictures[i], ec))
                throw InputError(project.file.string() + ": album \"" + album.title + "\", picture " +
                                 std::to_string(i + 1) + ": " + album.pictures[i].string() + " not found");
        for (const auto& m : album.music)
            if (!fs::is_regular_file(m, ec))
                throw InputError(project.file.string() + ": album \"" + album.title + "\": music " + m.string() +
                                 " not found");
    }
}

void CheckOutputFolder(const fs::path& out) {
    std::error_code ec;
    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) throw InputError(out.string() + ": output folder cannot be made");
    const fs::path probe = out / (".vcdalbum-probe-" + std::to_string(getpid()));
    {
        std::ofstream f(probe);
        if (!f) throw InputError(out.string() + ": output folder is not writable");
    }
    fs::remove(probe, ec);
}

struct PreparedPicture {
    fs::path source, prepared;
    std::string label;  // album "x", picture n
    size_t thumbnailOf = SIZE_MAX;  // disc album index when this is its first picture
};

// Decoding and fitting run on every core; the library's JPEG encoder keeps
// module-wide buffers, so writing is one at a time.
void PreparePictures(const std::vector<PreparedPicture>& jobs, std::vector<OwnedImage>& thumbnails,
                     Progress& progress) {
    std::atomic<size_t> next{0}, done{0};
    std::mutex encoderLock, errorLock;
    std::exception_ptr error;
    auto worker = [&] {
        for (;;) {
            const size_t i = next++;
            if (i >= jobs.size()) return;
            {
                std::lock_guard l(errorLock);
                if (error) return;
            }
            try {
                const PreparedPicture& job = jobs[i];
                OwnedImage frame;
                try {
                    const OwnedImage picture = ReadPicture(job.source);
                    frame = FitToFrame(picture.get());
                } catch (const InputError& e) {
                    throw InputError(job.label + ": " + e.what());
                }
                {
                    std::lock_guard l(encoderLock);
                    WriteJpeg(frame.get(), job.prepared);
                }
                if (job.thumbnailOf != SIZE_MAX) thumbnails[job.thumbnailOf] = std::move(frame);
                progress.Update(kPreparing, static_cast<double>(++done) / static_cast<double>(jobs.size()),
                                job.source.filename().string());
            } catch (...) {
                std::lock_guard l(errorLock);
                if (!error) error = std::current_exception();
                return;
            }
        }
    };
    const unsigned threads = std::clamp(std::thread::hardware_concurrency(), 1u, 4u);
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < threads; ++t) pool.emplace_back(worker);
    worker();
    for (auto& t : pool) t.join();
    if (error) std::rethrow_exception(error);
}

std::optional<fs::file_time_type> ModifiedTime(const fs::path& p) {
    std::error_code ec;
    auto t = fs::last_write_time(p, ec);
    if (ec) return std::nullopt;
    return t;
}

void CheckStream(const fs::path& stream, const std::string& what) {
    std::error_code ec;
    if (!fs::is_regular_file(stream, ec) || fs::file_size(stream, ec) == 0)
        throw RunError("encoding " + what + " failed: its stream " + stream.string() + " was not written");
}

}  // namespace

std::string ImageName(const std::string& title) {
    std::string name;
    constexpr std::string_view kRefused = "/\\:*?\"<>|";
    for (unsigned char c : title) {
        const bool refused = c < 0x20 || c == 0x7F || kRefused.find(static_cast<char>(c)) != std::string_view::npos;
        name += refused ? '_' : static_cast<char>(c);
    }
    if (name == "." || name == "..") name = "disc";
    return TruncateUtf8(name, 200);
}

BuildResult BuildDisc(const Project& project, const BuildOptions& options, Progress& progress) {
    BuildResult result;
    result.plan = PlanDisc(project, options.seed, options.discMinutes);
    const DiscPlan& plan = result.plan;
    if (options.dryRun) {
        std::ostringstream text;
        PrintPlan(text, project, plan);
        std::cout << text.str() << std::flush;
    }
    CheckFits(project, plan);
    if (options.dryRun) return result;

    CheckInputsExist(project);
    const fs::path out = fs::absolute(options.out).lexically_normal();
    const std::string name = ImageName(project.title);
    if (options.drive == 0) {
        CheckOutputFolder(out);
        result.cue = out / (name + ".cue");
        result.bin = out / (name + ".bin");
    }

    WorkFolder work(options.keepWork);
    result.work = work.path();
    progress.Note("work folder: " + work.path().string());
    fs::create_directories(work.path() / "pictures");
    fs::create_directories(work.path() / "menus");
    // The library writes its frame and stream files under TEMP.
    ScopedEnv temp("TEMP", work.path().string());
    ScopedEnv imageDir("VCDALBUM_IMAGE_DIR", out.string());
    // The image's file dates come from SOURCE_DATE_EPOCH when the image
    // builder honours it: unless the caller set one, the project file's own
    // date, so that the same project and seed give the same image.
    std::optional<ScopedEnv> epoch;
    if (!std::getenv("SOURCE_DATE_EPOCH")) {
        struct stat st {};
        const long when = stat(project.file.c_str(), &st) == 0 ? static_cast<long>(st.st_mtime) : 0;
        epoch.emplace("SOURCE_DATE_EPOCH", std::to_string(when));
    }

    size_t transitionsTotal = 0;
    for (const auto& a : plan.albums) transitionsTotal += a.positions.size();
    progress.SetPhases({"preparing pictures", "drawing menus", "transitions", "encoding", "building the image",
                        "writing"});

    // 1. Pictures, fitted into the frame, as the library's JPEG files.
    std::vector<PreparedPicture> jobs;
    std::vector<std::vector<std::string>> albumPictures(plan.albums.size());
    for (size_t d = 0; d < plan.albums.size(); ++d) {
        const Album& album = project.albums[static_cast<size_t>(plan.albums[d].album)];
        for (size_t i = 0; i < album.pictures.size(); ++i) {
            PreparedPicture job;
            job.source = album.pictures[i];
            job.prepared = work.path() / "pictures" / ("a" + std::to_string(d) + "_" + std::to_string(i) + ".jpg");
            job.label = project.file.string() + ": album \"" + album.title + "\", picture " + std::to_string(i + 1);
            if (i == 0) job.thumbnailOf = d;
            albumPictures[d].push_back(job.prepared.string());
            jobs.push_back(std::move(job));
        }
    }
    std::vector<OwnedImage> thumbnails(plan.albums.size());
    PreparePictures(jobs, thumbnails, progress);
    progress.Done(kPreparing, std::to_string(jobs.size()) + " pictures");

    // 2. Menu pages.
    std::vector<std::string> menuPictures;
    int albumNumber = 0;
    for (size_t m = 0; m < plan.menus.size(); ++m) {
        MenuPage page;
        page.discTitle = project.title;
        page.page = static_cast<int>(m + 1);
        page.pages = static_cast<int>(plan.menus.size());
        int choice = 0;
        for (int d : plan.menus[m].albums) {
            const AlbumPlan& a = plan.albums[static_cast<size_t>(d)];
            page.albums.push_back(
                MenuLine{++choice, project.albums[static_cast<size_t>(a.album)].title, &thumbnails[static_cast<size_t>(d)].get()});
            ++albumNumber;
        }
        if (m + 1 < plan.menus.size()) page.nextMenuNumber = choice + 1;
        const fs::path file = work.path() / "menus" / ("menu" + std::to_string(m) + ".jpg");
        WriteJpeg(DrawMenuPage(page).get(), file);
        menuPictures.push_back(file.string());
        progress.Update(kMenus, static_cast<double>(m + 1) / static_cast<double>(plan.menus.size()));
    }
    progress.Done(kMenus, std::to_string(plan.menus.size()) + " pages");

    // 3. The library encodes each page and album into its stream.
    std::vector<char> burnerName(name.begin(), name.end());
    burnerName.push_back('\0');
    Authoring disc(burnerName.data());
    g_callback = CallbackState{};
    g_callback.progress = &progress;
    g_callback.transitionsTotal = transitionsTotal;
    g_callback.streamsTotal = plan.menus.size() + plan.albums.size();
    disc.SetProgressCallBack(reinterpret_cast<void*>(&OnLibraryProgress));
    for (size_t m = 0; m < plan.menus.size(); ++m) disc.SetAlbumNoPerMenu(static_cast<int>(m), static_cast<int>(plan.menus[m].albums.size()));

    std::string menuMusic = project.menuMusic ? project.menuMusic->string() : std::string();
    for (size_t m = 0; m < plan.menus.size(); ++m) {
        g_callback.album = "menu " + std::to_string(m + 1);
        std::vector<char*> pages = {menuPictures[m].data(), nullptr};
        std::vector<char*> music = {project.menuMusic ? menuMusic.data() : nullptr, nullptr};
        disc.AppendMenuPage(static_cast<unsigned short>(m), pages.data(), music.data());
        CheckStream(work.path() / ("menu" + std::to_string(m) + ".mpg"), "menu page " + std::to_string(m + 1));
        ++g_callback.streamsBefore;
        progress.Update(kEncoding, static_cast<double>(g_callback.streamsBefore) / static_cast<double>(g_callback.streamsTotal));

        for (int d : plan.menus[m].albums) {
            const AlbumPlan& a = plan.albums[static_cast<size_t>(d)];
            const Album& album = project.albums[static_cast<size_t>(a.album)];
            std::vector<char*> pictures;
            for (auto& p : albumPictures[static_cast<size_t>(d)]) pictures.push_back(p.data());
            std::vector<std::string> musicNames;
            for (const auto& f : album.music) musicNames.push_back(f.string());
            std::vector<char*> musicPtrs;
            for (auto& f : musicNames) musicPtrs.push_back(f.data());
            musicPtrs.push_back(nullptr);
            std::vector<uint16_t> positions = a.positions, effects = a.effects;

            g_callback.album = AlbumLabel(project, a);
            g_callback.transitionsInAlbum = a.positions.size();
            g_callback.inTransitions = !a.positions.empty();
            disc.AppendAlbum(0, static_cast<unsigned short>(d), static_cast<unsigned short>(pictures.size()),
                             pictures.data(), static_cast<unsigned short>(musicNames.size()), musicPtrs.data(), 2,
                             static_cast<unsigned short>(album.secondsPerPicture), 0,
                             static_cast<unsigned short>(positions.size()), positions.data(), effects.data());
            g_callback.inTransitions = false;
            g_callback.transitionsBefore += a.positions.size();
            if (transitionsTotal)
                progress.Update(kTransitions, static_cast<double>(g_callback.transitionsBefore) / static_cast<double>(transitionsTotal));
            CheckStream(work.path() / ("album" + std::to_string(d) + ".mpg"), AlbumLabel(project, a));
            ++g_callback.streamsBefore;
            progress.Update(kEncoding, static_cast<double>(g_callback.streamsBefore) / static_cast<double>(g_callback.streamsTotal));
            progress.Note("encoded " + AlbumLabel(project, a));
        }
    }
    progress.Done(kTransitions, std::to_string(transitionsTotal) + " transitions");
    progress.Done(kEncoding, std::to_string(g_callback.streamsTotal) + " streams");
    g_callback = CallbackState{};

    // 4. Lay the disc out and write it. The library reports nothing while it
    // builds and writes, so the bar only shows that it is still working.
    const auto cueBefore = ModifiedTime(result.cue), binBefore = ModifiedTime(result.bin);
    std::atomic<bool> finished{false};
    std::thread ticker([&] {
        double f = 0;
        while (!finished) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            f += (0.95 - f) * 0.02;  // creeps towards the end, never claims it
            if (!finished) progress.Update(kBuilding, f, options.drive == 0 ? "image" : "drive " + std::to_string(options.drive));
        }
    });
    try {
        disc.StartBurning(options.drive, options.speed, 0, 0);
    } catch (const std::exception& e) {
        finished = true;
        ticker.join();
        throw RunError(std::string("laying out the disc failed: ") + e.what());
    }
    finished = true;
    ticker.join();
    progress.Done(kBuilding);
    if (options.drive == 0) {
        const auto cueAfter = ModifiedTime(result.cue), binAfter = ModifiedTime(result.bin);
        if (!cueAfter || !binAfter || cueAfter == cueBefore || binAfter == binBefore) {
            // Half an image is no image: take away whatever this run wrote.
            std::error_code ec;
            if (cueAfter && cueAfter != cueBefore) fs::remove(result.cue, ec);
            if (binAfter && binAfter != binBefore) fs::remove(result.bin, ec);
            throw RunError(out.string() + ": the disc image " + name + ".cue/.bin was not written");
        }
        std::error_code ec;
        const auto size = fs::file_size(result.bin, ec);
        progress.Done(kWriting, std::to_string(size / (1024 * 1024)) + " MB");
    } else {
        progress.Done(kWriting, "drive " + std::to_string(options.drive));
    }
    if (!options.keepWork) result.work.clear();
    return result;
}

}  // namespace vcdalbum::host
