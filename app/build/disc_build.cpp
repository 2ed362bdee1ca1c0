#include "build/disc_build.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include <unistd.h>

#include <vcdalbum/Authoring.h>

#include "console/errors.h"
#include "build/free_space.h"
#include "build/image_install.h"
#include "picture/clip_frames.h"
#include "picture/menu_page.h"
#include "picture/pictures.h"
#include "platform/scoped_env.h"
#include "console/tool_messages.h"
#include "build/work_folder.h"
#include "console/work_pool.h"
#include "sound_check.h"
#include "support/utf8.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;
using platform::ScopedEnv;

namespace {

using burner::kRawSectorBytes;
// The most a prepared picture (and the picture a moving one is sampled
// from) takes in the work folder.
constexpr uint64_t kPreparedPictureBytes = 512 * 1024;
// A clip's frame: a frame-sized JPEG file at the work files' quality.
constexpr uint64_t kClipFrameBytes = 160 * 1024;

enum PhaseIndex : size_t { kPreparing, kMenus, kTransitions, kEncoding, kBuilding, kWriting };

// Where the albums' progress goes while the library makes them: each album
// reports its transitions up to 100, then its encoding from 0. The library
// makes these calls one at a time.
struct AlbumsProgress;
struct AlbumProgress {
    AlbumsProgress* all = nullptr;
    std::string label;
    size_t transitions = 0;
    bool inTransitions = false;
    double transitionsDone = 0, encoded = 0;
};
struct AlbumsProgress {
    Progress* progress = nullptr;
    size_t transitionsTotal = 0, streamsBefore = 0, streamsTotal = 0;
    std::vector<AlbumProgress> albums;
};

void OnAlbumProgress(void* context, int percent) {
    AlbumProgress& a = *static_cast<AlbumProgress*>(context);
    const AlbumsProgress& all = *a.all;
    const double f = std::clamp(percent, 0, 100) / 100.0;
    if (a.inTransitions) {
        a.transitionsDone = f * static_cast<double>(a.transitions);
        if (percent >= 100) a.inTransitions = false;
        double done = 0;
        for (const AlbumProgress& b : all.albums) done += b.transitionsDone;
        all.progress->Update(kTransitions, done / static_cast<double>(std::max<size_t>(1, all.transitionsTotal)), a.label);
        return;
    }
    a.encoded = f;
    double done = static_cast<double>(all.streamsBefore);
    for (const AlbumProgress& b : all.albums) done += b.encoded;
    all.progress->Update(kEncoding, done / static_cast<double>(all.streamsTotal), a.label);
}

std::string AlbumLabel(const Project& project, const AlbumPlan& a) {
    return "album \"" + project.albums[static_cast<size_t>(a.album)].title + "\"";
}

// Input files that cannot be used, one line each ("album \"x\", picture 2:
// file: reason"); a build lists them all at once, so that one run shows
// everything to mend.
using InputProblems = std::vector<std::string>;

// Music must give sound before anything is made (the encoder would skip a
// file it cannot read, and the album would be silent); pictures are judged
// when they are prepared.
void CheckMusic(const Project& project, InputProblems& problems) {
    std::map<fs::path, std::string> checked;  // a file named twice is read once
    auto check = [&](const std::string& who, const fs::path& file) {
        auto [at, fresh] = checked.try_emplace(file);
        if (fresh) at->second = components::picture_input::CheckSoundFile(file.string()).text;
        if (!at->second.empty()) problems.push_back(who + "music " + file.string() + ": " + at->second);
    };
    if (project.menuMusic) check("menu ", *project.menuMusic);
    for (const auto& album : project.albums)
        for (const auto& m : album.music) check("album \"" + album.title + "\": ", m);
}

void StopOnProblems(const Project& project, const InputProblems& problems) {
    if (problems.empty()) return;
    if (problems.size() == 1) throw InputError(project.file.string() + ": " + problems.front());
    std::string text = project.file.string() + ": " + std::to_string(problems.size()) + " files cannot be used:";
    for (const auto& p : problems) text += "\n  " + p;
    throw InputError(text);
}

void CheckOutputFolder(const fs::path& out) {
    std::error_code ec;
    fs::create_directories(out, ec);
    if (!fs::is_directory(out, ec)) throw InputError(out.string() + ": output folder cannot be made");
    // Asked of the file system rather than tried with a file of our own: a
    // stop between making and removing such a file would leave it behind in
    // the user's folder. access() also reports a read-only mount.
    if (::access(out.c_str(), W_OK | X_OK) != 0) throw InputError(out.string() + ": output folder is not writable");
}

struct PreparedPicture {
    fs::path source, prepared;
    const ClipSetting* clip = nullptr;  // set: `source` is a video clip, its frames go beside `prepared`
    long long clipSerial = 0;
    fs::path moving;  // set: the upright, square-pixel picture a moving picture is sampled from
    std::string label;  // album "x", picture n
    CaptionRequest caption;
    fs::path thumbnail;  // set for an album's first picture: its menu thumbnail goes there
};

// Decoding, fitting and writing run on `threads` threads. A picture that
// cannot be used does not stop the others: every such picture is added to
// `problems`, in the project's order. Everything made goes to files, so
// that memory holds only the pictures in work, however many there are.
void PreparePictures(const std::vector<PreparedPicture>& jobs, unsigned threads,
                     const VideoStandard& standard, Progress& progress, InputProblems& problems) {
    std::atomic<size_t> done{0};
    std::vector<std::string> refused(jobs.size());
    ForEachOnThreads(jobs.size(), threads, [&](size_t i) {
        const PreparedPicture& job = jobs[i];
        OwnedImage frame, thumbnail;
        try {
            if (job.clip != nullptr) {
                // A clip writes its own frames; its first is the thumbnail.
                PrepareClip(job.source, *job.clip, standard, job.prepared.parent_path(), job.clipSerial,
                            job.thumbnail.empty() ? nullptr : &thumbnail);
                if (!job.thumbnail.empty()) WriteJpeg(thumbnail.get(), job.thumbnail);
            } else {
                OwnedImage picture;
                frame = PrepareFrame(job.source, job.caption, !job.thumbnail.empty() ? &thumbnail : nullptr,
                                     job.moving.empty() ? nullptr : &picture, standard);
                // A moving picture is sampled from the picture as read: upright,
                // in square pixels, twice its size in the frame,
                // which holds every detail the closest view shows.
                if (!job.moving.empty()) WriteJpeg(picture.get(), job.moving);
            }
        } catch (const InputError& e) {
            refused[i] = job.label + ": " + e.what();
        }
        if (frame) {
            WriteJpeg(frame.get(), job.prepared);
            if (!job.thumbnail.empty()) WriteJpeg(thumbnail.get(), job.thumbnail);
        }
        progress.Update(kPreparing, static_cast<double>(++done) / static_cast<double>(jobs.size()),
                        job.source.filename().string());
    });
    for (auto& r : refused)
        if (!r.empty()) problems.push_back(std::move(r));
}

// Says how long a stage took (verbose runs), so that a slow build shows where
// its time goes.
class StageClock {
public:
    explicit StageClock(Progress& progress) : progress_(progress) {}
    void Lap(const std::string& stage) {
        const auto now = std::chrono::steady_clock::now();
        char text[32];
        std::snprintf(text, sizeof text, "%.2f s", std::chrono::duration<double>(now - last_).count());
        progress_.Note(stage + ": " + text);
        last_ = now;
    }

private:
    Progress& progress_;
    std::chrono::steady_clock::time_point last_ = std::chrono::steady_clock::now();
};

void CheckStream(const fs::path& stream, const std::string& what) {
    std::error_code ec;
    if (!fs::is_regular_file(stream, ec) || fs::file_size(stream, ec) == 0)
        throw RunError("encoding " + what + " failed: its stream " + stream.string() + " was not written");
}


// Moves the bar of `phase` while the library works without reporting: it
// creeps towards the end and never claims it. Stops when it goes out of
// scope, also when the work throws.
class ProgressTicker {
public:
    ProgressTicker(Progress& progress, size_t phase, std::string label)
        : progress_(progress), phase_(phase), label_(std::move(label)), thread_([this] { Tick(); }) {}
    ProgressTicker(const ProgressTicker&) = delete;
    ProgressTicker& operator=(const ProgressTicker&) = delete;
    ~ProgressTicker() {
        finished_ = true;
        thread_.join();
    }

private:
    void Tick() {
        double f = 0;
        while (!finished_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
            f += (0.95 - f) * 0.02;
            if (!finished_) progress_.Update(phase_, f, label_);
        }
    }

    Progress& progress_;
    const size_t phase_;
    const std::string label_;
    std::atomic<bool> finished_{false};
    std::thread thread_;  // last: it starts once the rest is in place
};

// The plan, printed on a dry run and checked against the disc, and the
// music checked. Returns false when the run ends here (a dry run).
bool PlanBuild(Project& project, const BuildOptions& options, BuildResult& result, InputProblems& problems) {
    MeasureClips(project, options.jobs ? options.jobs : DefaultJobs());
    result.plan = PlanDisc(project, options.seed, options.discMinutes);
    if (options.dryRun) {
        std::ostringstream text;
        PrintPlan(text, project, result.plan);
        std::cout << text.str() << std::flush;
    }
    CheckFits(project, result.plan);
    CheckMusic(project, problems);
    for (std::string& p : ClipProblems(project)) problems.push_back(std::move(p));
    if (!options.dryRun) return true;
    StopOnProblems(project, problems);
    return false;
}

// The work folder holds every stream and the image the tools lay out, and
// pictures as prepared; the image is then copied out.
void CheckSpaceFor(const Project& project, const DiscPlan& plan, const VideoStandard& standard, const WorkFolder& work,
                   const std::optional<WorkFolder>& staging, const fs::path& out) {
    const uint64_t image = static_cast<uint64_t>(plan.usedSectors) * kRawSectorBytes;
    uint64_t pictures = 0, clipFrames = 0;
    for (const Album& album : project.albums)
        for (size_t i = 0; i < album.pictures.size(); ++i)
            if (const ClipSetting* clip = ClipAt(album, i)) clipFrames += static_cast<uint64_t>(ClipFrameCount(*clip, standard));
            else ++pictures;
    std::vector<SpaceNeed> needs = {{work.path(), image * 2 + pictures * kPreparedPictureBytes + clipFrames * kClipFrameBytes,
                                     "the work folder"}};
    if (staging) needs.push_back({out, image, "the disc image"});
    CheckFreeSpace(needs);
}

void SayShortHolds(const Project& project, const DiscPlan& plan, Progress& progress) {
    for (const auto& a : plan.albums) {
        const Album& album = project.albums[static_cast<size_t>(a.album)];
        if (album.secondsPerPicture < static_cast<int>(kAlbumMinimumSecondsPerPicture))
            progress.Say(AlbumLabel(project, a) + ": each picture is held " +
                         std::to_string(kAlbumMinimumSecondsPerPicture) + " s, the shortest hold, not the " +
                         std::to_string(album.secondsPerPicture) + " s asked");
    }
}

// Every picture of the disc as a job for PreparePictures, with the files
// each album's stream is made from.
struct PictureJobs {
    std::vector<PreparedPicture> jobs;
    std::vector<size_t> firstJob;  // the job of each album's first picture
    std::vector<std::vector<std::string>> albumPictures, albumSources;
    // Per album, the place in its request of each picture's last entry: a
    // clip is a run of frames there.
    std::vector<std::vector<uint16_t>> lastEntry;
};

PictureJobs PlanPictureJobs(const Project& project, const DiscPlan& plan, const VideoStandard& standard,
                            const fs::path& work) {
    PictureJobs p;
    p.firstJob.resize(plan.albums.size());
    p.albumPictures.resize(plan.albums.size());
    p.albumSources.resize(plan.albums.size());
    p.lastEntry.resize(plan.albums.size());
    long long clipSerial = 0;
    for (size_t d = 0; d < plan.albums.size(); ++d) {
        const Album& album = project.albums[static_cast<size_t>(plan.albums[d].album)];
        for (size_t i = 0; i < album.pictures.size(); ++i) {
            PreparedPicture job;
            job.source = album.pictures[i];
            job.prepared = work / "pictures" / ("a" + std::to_string(d) + "_" + std::to_string(i) + ".jpg");
            job.label = "album \"" + album.title + "\", picture " + std::to_string(i + 1);
            if (i == 0) {
                p.firstJob[d] = p.jobs.size();
                job.thumbnail = work / "menus" / ("thumbnail" + std::to_string(d) + ".jpg");
            }
            if (const ClipSetting* clip = ClipAt(album, i)) {
                job.clip = clip->problem.empty() ? clip : nullptr;  // one that cannot be used is listed already
                job.clipSerial = clipSerial++;
                for (std::string& frame : ClipFramePaths(job.prepared.parent_path(), job.clipSerial,
                                                         ClipFrameCount(*clip, standard))) {
                    p.albumPictures[d].push_back(std::move(frame));
                    if (album.motion == Motion::PanZoom) p.albumSources[d].emplace_back();  // held as it is
                }
                if (p.albumPictures[d].size() > UINT16_MAX)
                    throw InputError(project.file.string() + ": album \"" + album.title +
                                     "\": its clips are too long for one album; put some in an album of their own");
                p.lastEntry[d].push_back(static_cast<uint16_t>(p.albumPictures[d].size() - 1));
                if (job.clip != nullptr) p.jobs.push_back(std::move(job));
                continue;
            }
            job.caption = CaptionFor(album, i);
            if (album.motion == Motion::PanZoom) {
                job.moving = work / "pictures" / ("a" + std::to_string(d) + "_" + std::to_string(i) + "_source.jpg");
                p.albumSources[d].push_back(job.moving.string());
            }
            p.albumPictures[d].push_back(job.prepared.string());
            p.lastEntry[d].push_back(static_cast<uint16_t>(p.albumPictures[d].size() - 1));
            p.jobs.push_back(std::move(job));
        }
    }
    return p;
}

// The menu pages as the library's JPEG files, one per page, in order.
std::vector<std::string> DrawMenus(const Project& project, const DiscPlan& plan, const PictureJobs& pictures,
                                   const VideoStandard& standard, unsigned threads, const fs::path& work,
                                   Progress& progress) {
    std::vector<std::string> menuPictures(plan.menus.size());
    std::atomic<size_t> menusDrawn{0};
    ForEachOnThreads(plan.menus.size(), threads, [&](size_t m) {
        MenuPage page;
        page.discTitle = project.title;
        page.page = static_cast<int>(m + 1);
        page.pages = static_cast<int>(plan.menus.size());
        int choice = 0;
        std::vector<OwnedImage> thumbnails;
        thumbnails.reserve(plan.menus[m].albums.size());
        for (int d : plan.menus[m].albums) {
            const AlbumPlan& a = plan.albums[static_cast<size_t>(d)];
            thumbnails.push_back(ReadPicture(pictures.jobs[pictures.firstJob[static_cast<size_t>(d)]].thumbnail));
            page.albums.push_back(
                MenuLine{++choice, project.albums[static_cast<size_t>(a.album)].title, &thumbnails.back().get()});
        }
        if (m + 1 < plan.menus.size()) page.nextMenuNumber = choice + 1;
        const fs::path file = work / "menus" / ("menu" + std::to_string(m) + ".jpg");
        WriteJpeg(DrawMenuPage(page, standard).get(), file);
        menuPictures[m] = file.string();
        progress.Update(kMenus, static_cast<double>(++menusDrawn) / static_cast<double>(plan.menus.size()));
    });
    return menuPictures;
}

void EncodeMenuPages(Authoring& disc, const Project& project, const std::vector<std::string>& menuFiles,
                     size_t streamsTotal, const fs::path& work, Progress& progress) {
    std::vector<std::string> menuPictures = menuFiles;
    std::string menuMusic = project.menuMusic ? project.menuMusic->string() : std::string();
    for (size_t m = 0; m < menuPictures.size(); ++m) {
        std::vector<char*> pages = {menuPictures[m].data(), nullptr};
        std::vector<char*> music = {project.menuMusic ? menuMusic.data() : nullptr, nullptr};
        disc.AppendMenuPage(static_cast<unsigned short>(m), pages.data(), music.data());
        CheckStream(work / ("menu" + std::to_string(m) + ".mpg"), "menu page " + std::to_string(m + 1));
        progress.Update(kEncoding, static_cast<double>(m + 1) / static_cast<double>(streamsTotal),
                        "menu " + std::to_string(m + 1));
    }
}

// The library's requests for all albums, in disc order, and everything they
// point at, which lives here until the library is done.
struct AlbumRequests {
    std::vector<size_t> order;  // the albums in disc order, which is the order of the menus' offers
    AlbumsProgress progress;
    std::vector<std::vector<std::string>> pictureNames, sourceNames, musicNames;
    std::vector<std::vector<char*>> pictures, sources, musicPtrs;
    std::vector<std::vector<uint16_t>> positions, effects;
    std::vector<AlbumRequest> requests;
    std::vector<AlbumMotion> motions;
};

void FillAlbumRequest(AlbumRequests& r, size_t i, const Project& project, const DiscPlan& plan,
                      const std::vector<uint16_t>& lastEntry) {
    const size_t d = r.order[i];
    const AlbumPlan& a = plan.albums[d];
    const Album& album = project.albums[static_cast<size_t>(a.album)];
    for (auto& p : r.pictureNames[i]) r.pictures[i].push_back(p.data());
    for (const auto& f : album.music) r.musicNames[i].push_back(f.string());
    for (auto& f : r.musicNames[i]) r.musicPtrs[i].push_back(f.data());
    r.musicPtrs[i].push_back(nullptr);
    for (uint16_t p : a.positions) r.positions[i].push_back(lastEntry[p]);
    r.effects[i] = a.effects;

    AlbumProgress& ap = r.progress.albums[i];
    ap.all = &r.progress;
    ap.label = AlbumLabel(project, a);
    ap.transitions = a.positions.size();
    ap.inTransitions = !a.positions.empty();

    AlbumRequest& q = r.requests[i];
    q.albumNo = static_cast<unsigned short>(d);
    q.pictureCount = static_cast<unsigned short>(r.pictures[i].size());
    q.pictures = r.pictures[i].data();
    q.extraCount = static_cast<unsigned short>(r.musicNames[i].size());
    q.extraFiles = r.musicPtrs[i].data();
    q.option4 = 2;
    q.option5 = static_cast<unsigned short>(album.secondsPerPicture);
    q.option6 = 0;
    q.transitionCount = static_cast<unsigned short>(r.positions[i].size());
    q.transitionPositions = r.positions[i].data();
    q.transitionEffects = r.effects[i].data();
    q.progress = &OnAlbumProgress;
    q.progressContext = &ap;

    if (!r.sourceNames[i].empty()) {
        for (auto& p : r.sourceNames[i]) r.sources[i].push_back(p.data());
        r.motions[i].kind = kAlbumMotionPanZoom;
        // Each album its own paths; the same seed, the same disc.
        r.motions[i].seed = plan.seed ^ (0x9E3779B9u * static_cast<uint32_t>(d + 1));
        r.motions[i].sources = r.sources[i].data();
    }
}

// Has the library make every album's transitions and stream at once, shared
// out over `threads` threads.
void EncodeAlbums(Authoring& disc, const Project& project, const DiscPlan& plan, const PictureJobs& pictures,
                  unsigned threads, const fs::path& work, Progress& progress, size_t transitionsTotal,
                  size_t streamsTotal) {
    AlbumRequests r;
    for (const auto& menu : plan.menus)
        for (int d : menu.albums) r.order.push_back(static_cast<size_t>(d));
    const size_t n = r.order.size();
    r.progress.progress = &progress;
    r.progress.transitionsTotal = transitionsTotal;
    r.progress.streamsBefore = plan.menus.size();
    r.progress.streamsTotal = streamsTotal;
    r.progress.albums.resize(n);
    r.pictureNames.resize(n), r.sourceNames.resize(n), r.musicNames.resize(n);
    r.pictures.resize(n), r.sources.resize(n), r.musicPtrs.resize(n);
    r.positions.resize(n), r.effects.resize(n), r.requests.resize(n), r.motions.resize(n);
    for (size_t i = 0; i < n; ++i) {
        r.pictureNames[i] = pictures.albumPictures[r.order[i]];
        r.sourceNames[i] = pictures.albumSources[r.order[i]];
        FillAlbumRequest(r, i, project, plan, pictures.lastEntry[r.order[i]]);
    }
    disc.AppendMovingAlbums(r.requests.data(), r.motions.data(), static_cast<unsigned short>(n),
                            static_cast<int>(threads));
    for (size_t d : r.order) {
        const AlbumPlan& a = plan.albums[d];
        CheckStream(work / ("album" + std::to_string(d) + ".mpg"), AlbumLabel(project, a));
        progress.Note("encoded " + AlbumLabel(project, a));
    }
}

// The library encodes each page and album into its stream: the pages one by
// one, then all albums at once, shared out over the threads.
void EncodeStreams(Authoring& disc, const Project& project, const DiscPlan& plan, const PictureJobs& pictures,
                   const std::vector<std::string>& menuPictures, unsigned threads, const fs::path& work,
                   Progress& progress, StageClock& clock) {
    size_t transitionsTotal = 0;
    for (const auto& a : plan.albums) transitionsTotal += a.positions.size();
    const size_t streamsTotal = plan.menus.size() + plan.albums.size();
    EncodeMenuPages(disc, project, menuPictures, streamsTotal, work, progress);
    clock.Lap("encoding menu pages");
    EncodeAlbums(disc, project, plan, pictures, threads, work, progress, transitionsTotal, streamsTotal);
    progress.Done(kTransitions, std::to_string(transitionsTotal) + " transitions");
    progress.Done(kEncoding, std::to_string(streamsTotal) + " streams");
    clock.Lap("transitions and album streams");
}

// Lays the disc out and writes it. The library reports nothing while it
// builds and writes, so the bar only shows that it is still working.
void LayOutDisc(Authoring& disc, const BuildOptions& options, Progress& progress) {
    try {
        const ProgressTicker ticker(progress, kBuilding, options.drive == 0 ? "image" : "drive " + std::to_string(options.drive));
        disc.StartBurning(options.drive, options.speed, 0, 0);
    } catch (const std::exception& e) {
        throw RunError(std::string("laying out the disc failed: ") + e.what());
    }
    progress.Done(kBuilding);
}

// Moves the finished image from the staging folder to its place; the
// returned guard takes it away again if the run is stopped before it ends.
std::unique_ptr<UndoOnStop> InstallBuiltImage(const BuildResult& result, const WorkFolder& staging,
                                              const fs::path& out, const std::string& name, Progress& progress) {
    const fs::path cue = staging.path() / result.cue.filename(), bin = staging.path() / result.bin.filename();
    std::error_code ec;
    if (!fs::is_regular_file(cue, ec) || !fs::is_regular_file(bin, ec))
        throw RunError(out.string() + ": the disc image " + name + ".cue/.bin was not written");
    const auto size = fs::file_size(bin, ec);
    auto installed = InstallImage(cue, bin, result.cue, result.bin, staging.path());
    progress.Done(kWriting, std::to_string(size / (1024 * 1024)) + " MB");
    return installed;
}

}  // namespace

void CheckInputs(const Project& projectFile, const BuildOptions& options, Progress& progress) {
    Project project = projectFile;
    if (options.video != nullptr) project.video = options.video;
    const unsigned threads = options.jobs ? options.jobs : DefaultJobs();
    MeasureClips(project, threads);
    InputProblems problems;
    CheckMusic(project, problems);
    std::vector<std::pair<const Album*, size_t>> stills;
    for (const Album& album : project.albums)
        for (size_t i = 0; i < album.pictures.size(); ++i)
            if (ClipAt(album, i) == nullptr) stills.emplace_back(&album, i);
    std::vector<std::string> refused(stills.size());
    std::atomic<size_t> done{0};
    progress.SetPhases({"checking pictures"});
    ForEachOnThreads(stills.size(), threads, [&](size_t k) {
        const auto [album, i] = stills[k];
        try {
            ReadPicture(album->pictures[i]);
        } catch (const InputError& e) {
            refused[k] = "album \"" + album->title + "\", picture " + std::to_string(i + 1) + ": " + e.what();
        }
        progress.Update(0, static_cast<double>(++done) / static_cast<double>(stills.size()),
                        album->pictures[i].filename().string());
    });
    progress.Done(0, std::to_string(stills.size()) + " pictures");
    // In the project's order, clips among the pictures.
    std::vector<std::string> clips = ClipProblems(project);
    size_t k = 0, c = 0;
    for (const Album& album : project.albums)
        for (size_t i = 0; i < album.pictures.size(); ++i) {
            if (ClipAt(album, i) == nullptr) {
                if (!refused[k].empty()) problems.push_back(std::move(refused[k]));
                ++k;
            } else if (!ClipAt(album, i)->problem.empty()) {
                problems.push_back(std::move(clips[c++]));
            }
        }
    StopOnProblems(project, problems);
}

std::string ImageName(const std::string& title) {
    std::string name;
    constexpr std::string_view kRefused = "/\\:*?\"<>|";
    for (unsigned char c : title) {
        const bool refused = c < 0x20 || c == 0x7F || kRefused.find(static_cast<char>(c)) != std::string_view::npos;
        name += refused ? '_' : static_cast<char>(c);
    }
    if (name.empty() || name == "." || name == "..") name = "disc";
    // A hidden image would not be seen; the burner component names it so too.
    if (name.front() == '.') name.front() = '_';
    return utf8::Truncate(name, 200);
}

BuildResult BuildDisc(const Project& projectFile, const BuildOptions& options, Progress& progress) {
    Project project = projectFile;
    if (options.video != nullptr) project.video = options.video;
    const VideoStandard& standard = *project.video;
    BuildResult result;
    InputProblems problems;
    if (!PlanBuild(project, options, result, problems)) return result;
    const DiscPlan& plan = result.plan;

    const fs::path out = fs::absolute(options.out).lexically_normal();
    const std::string name = ImageName(project.title);
    if (options.drive == 0) {
        CheckOutputFolder(out);
        result.cue = out / (name + ".cue");
        result.bin = out / (name + ".bin");
    }

    const ToolMessages toolMessages(progress);
    // The image is made beside its place, so that moving it in is a rename;
    // a stopped run takes the folder along.
    std::optional<WorkFolder> staging;
    if (options.drive == 0) staging.emplace(".vcdalbum-image-", false, out);
    WorkFolder work("vcdalbum-", options.keepWork);
    result.work = work.path();
    progress.Note("work folder: " + work.path().string());
    CheckSpaceFor(project, plan, standard, work, staging, out);
    fs::create_directories(work.path() / "pictures");
    fs::create_directories(work.path() / "menus");
    // The library writes its frame and stream files under TEMP.
    ScopedEnv temp("TEMP", work.path().string());
    ScopedEnv imageDir("VCDALBUM_IMAGE_DIR", staging ? staging->path().string() : out.string());
    // The image's file dates come from SOURCE_DATE_EPOCH when the image
    // builder honours it: unless the caller set one, the date of the newest
    // picture or music, so that the same project and seed give the same
    // image, whether it was built from a folder or from a project file.
    std::optional<ScopedEnv> epoch;
    if (!std::getenv("SOURCE_DATE_EPOCH")) epoch.emplace("SOURCE_DATE_EPOCH", std::to_string(NewestInputTime(project)));
    SayShortHolds(project, plan, progress);
    progress.SetPhases({"preparing pictures", "drawing menus", "transitions", "encoding", "building the image",
                        "writing"});

    // 1. Pictures, fitted into the frame, as the library's JPEG files.
    const unsigned threads = options.jobs ? options.jobs : DefaultJobs();
    StageClock clock(progress);
    const PictureJobs pictures = PlanPictureJobs(project, plan, standard, work.path());
    PreparePictures(pictures.jobs, threads, standard, progress, problems);
    StopOnProblems(project, problems);
    progress.Done(kPreparing, std::to_string(pictures.jobs.size()) + " pictures");
    clock.Lap("preparing pictures");

    // 2. Menu pages.
    const std::vector<std::string> menuPictures = DrawMenus(project, plan, pictures, standard, threads, work.path(), progress);
    progress.Done(kMenus, std::to_string(plan.menus.size()) + " pages");
    clock.Lap("drawing menus");

    // 3. Every page and album as its stream.
    std::vector<char> burnerName(name.begin(), name.end());
    burnerName.push_back('\0');
    Authoring disc(burnerName.data());
    disc.SetVideoStandard(standard == video::kPal ? VCD_VIDEO_PAL : VCD_VIDEO_NTSC);
    for (size_t m = 0; m < plan.menus.size(); ++m) disc.SetAlbumNoPerMenu(static_cast<int>(m), static_cast<int>(plan.menus[m].albums.size()));
    EncodeStreams(disc, project, plan, pictures, menuPictures, threads, work.path(), progress, clock);

    // 4. The disc laid out and written.
    LayOutDisc(disc, options, progress);
    clock.Lap("laying out and writing the disc");
    std::unique_ptr<UndoOnStop> installed;
    if (options.drive == 0)
        installed = InstallBuiltImage(result, *staging, out, name, progress);
    else
        progress.Done(kWriting, "drive " + std::to_string(options.drive));
    if (!options.keepWork) result.work.clear();
    return result;
}

}  // namespace vcdalbum::host
