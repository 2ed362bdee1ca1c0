// Authoring::AppendAlbums: the albums of a batch, their transitions and
// streams made on several threads, with the results of AppendAlbum calls in
// a row.
#include <algorithm>
#include <cstdlib>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "authoring/album_encoding.h"
#include "authoring/album_motion.h"
#include "authoring/video_standard_choice.h"
#include "authoring/transition_sequences.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/transitions.h"
#include "codec/picture_files.h"

namespace vcdalbum::authoring {
namespace {

// The encoder reports through a plain function without context: the album
// it is encoding on this thread says where the report goes.
struct EncoderTarget {
    const AlbumRequest* request = nullptr;
    std::mutex* lock = nullptr;
};
thread_local EncoderTarget t_encoderTarget;

void OnEncoderProgress(int percent) {
    const EncoderTarget& t = t_encoderTarget;
    if (t.request == nullptr || t.request->progress == nullptr) return;
    std::lock_guard guard(*t.lock);
    t.request->progress(t.request->progressContext, percent);
}

// One piece of work: a transition of an album, or (transition < 0) the
// album's stream, which waits for the album's transitions.
struct Task {
    size_t album;
    int transition;
    int serial;
};

class Batch {
public:
    Batch(const AlbumRequest* albums, const AlbumMotion* motions, unsigned short count,
          const video::VideoStandard& standard)
        : standard_(standard), requests_(albums, albums + count) {
        if (motions != nullptr) motions_.assign(motions, motions + count);
        motions_.resize(count);
        frames_.resize(count);
        pending_.assign(count, 0);
        finished_.assign(count, 0);
        outputs_.resize(count);
        int drawable = 0;
        for (AlbumRequest& r : requests_) {
            r = Normalised(r);
            for (unsigned short k = 0; k < r.transitionCount; ++k) drawable += HasFollowingPicture(r, k) ? 1 : 0;
        }
        // Serials in request order, whichever thread renders first.
        int serial = ReserveTransitionSerials(drawable);
        for (size_t a = 0; a < requests_.size(); ++a) {
            const AlbumRequest& r = requests_[a];
            frames_[a].resize(r.transitionCount);
            for (unsigned short k = 0; k < r.transitionCount; ++k)
                if (HasFollowingPicture(r, k)) {
                    tasks_.push_back(Task{a, k, serial++});
                    ++pending_[a];
                }
            // The stream comes after its transitions in the queue, so that
            // whoever waits for them waits for work already under way.
            tasks_.push_back(Task{a, -1, 0});
        }
    }

    // Works off the queue on `jobs` threads, this one included.
    void Run(int jobs) {
        if (tasks_.empty()) return;
        const size_t extra = std::min<size_t>(static_cast<size_t>(std::max(jobs, 1)), tasks_.size()) - 1;
        std::vector<std::thread> helpers;
        for (size_t t = 0; t < extra; ++t) {
            try {
                helpers.emplace_back([this] { Work(); });
            } catch (const std::system_error&) {
                break;  // fewer threads, same result
            }
        }
        Work();
        for (std::thread& t : helpers) t.join();
        if (error_) std::rethrow_exception(error_);
    }

    const std::vector<std::string>& outputs() const { return outputs_; }

private:
    void Work() {
        for (;;) {
            size_t i;
            {
                std::lock_guard guard(lock_);
                if (next_ >= tasks_.size() || error_) return;
                i = next_++;
            }
            const Task& task = tasks_[i];
            try {
                if (task.transition < 0)
                    Encode(task.album);
                else
                    Render(task);
            } catch (...) {
                std::lock_guard guard(lock_);
                if (!error_) error_ = std::current_exception();
            }
            if (task.transition >= 0) {
                std::lock_guard guard(lock_);
                --pending_[task.album];
                done_.notify_all();
            }
        }
    }

    void Render(const Task& task) {
        const AlbumRequest& r = requests_[task.album];
        const unsigned p = r.transitionPositions[task.transition];
        char* names[TransitionFrames] = {};
        const unsigned short effect = r.transitionEffects[task.transition];
        bool rendered = false;
        if (OwnedImage last, first; MovingEnds(task.album, p, last, first))
            rendered = RenderTransitionSequence(last.get(), first.get(), effect, task.serial, names) == 0;
        else
            rendered = RenderTransitionSequence(r.pictures[p], r.pictures[p + 1], effect, task.serial, names) == 0;
        frames_[task.album][static_cast<size_t>(task.transition)] = CompleteFrames(rendered, names);
        for (char* name : names) std::free(name);
        std::lock_guard guard(progressLock_);
        const unsigned finished = ++finished_[task.album];
        if (r.progress != nullptr) r.progress(r.progressContext, TransitionPercent(finished, r.transitionCount));
    }

    // For a transition between moving pictures: the last frame of picture
    // `p` and the first of the next, at the size of the request's pictures,
    // so that the transition starts and ends where the motion is. False when
    // either picture is held still or a source cannot be read: the
    // transition is then drawn from the request's pictures.
    bool MovingEnds(size_t album, unsigned p, OwnedImage& last, OwnedImage& first) const {
        const AlbumRequest& r = requests_[album];
        const AlbumMotion& m = motions_[album];
        if (!PictureMoves(&m, r, p) && !PictureMoves(&m, r, p + 1)) return false;
        OwnedImage size;
        codec::LoadJpegImage(r.pictures[p + 1], &size.get());
        if (!size) return false;
        auto end = [&](unsigned i, double t, OwnedImage& out) {
            if (PictureMoves(&m, r, i))
                out = MovingFrame(m, i, t, size.width(), size.height());
            else
                codec::LoadJpegImage(r.pictures[i], &out.get());
            return static_cast<bool>(out);
        };
        return end(p, 1.0, last) && end(p + 1, 0.0, first);
    }

    void Encode(size_t album) {
        {
            std::unique_lock guard(lock_);
            done_.wait(guard, [&] { return pending_[album] == 0; });
            if (error_) return;
        }
        const AlbumRequest& r = requests_[album];
        t_encoderTarget = EncoderTarget{&r, &progressLock_};
        outputs_[album] = EncodeAlbum(r, frames_[album], r.progress != nullptr ? &OnEncoderProgress : nullptr,
                                      standard_, &motions_[album]);
        t_encoderTarget = EncoderTarget{};
    }

    const video::VideoStandard& standard_;
    std::vector<AlbumRequest> requests_;
    std::vector<AlbumMotion> motions_;  // one per request; kind none when the host gave none
    std::vector<Task> tasks_;
    std::vector<std::vector<std::vector<std::string>>> frames_;  // album, transition, frame names
    std::vector<std::string> outputs_;
    std::vector<unsigned> finished_;  // transitions rendered per album, under progressLock_

    std::mutex lock_;  // the queue, pending_ and error_
    std::condition_variable done_;
    size_t next_ = 0;
    std::vector<int> pending_;
    std::exception_ptr error_;

    std::mutex progressLock_;  // progress calls come one at a time
};

}  // namespace
}  // namespace vcdalbum::authoring

int Authoring::AppendAlbums(const AlbumRequest* albums, unsigned short count, int jobs) {
    return AppendMovingAlbums(albums, nullptr, count, jobs);
}

int Authoring::AppendMovingAlbums(const AlbumRequest* albums, const AlbumMotion* motions, unsigned short count,
                                  int jobs) {
    if (albums == nullptr) return 0;
    vcdalbum::authoring::Batch batch(albums, motions, count, vcdalbum::authoring::StandardOf(*this));
    batch.Run(jobs);
    for (const std::string& output : batch.outputs()) {
        albumFiles.push_back(output);
        ++albumCount;
    }
    return 0;
}
