// xine_remote: plays a Video CD image in libxine's Video CD plugin with
// playback control on, presses remote-control keys and prints what the
// player plays after each press, one line per step. It decides nothing
// itself; the player tests compare its lines with the disc's lists.
//
//   xine_remote [--speed X] [--timeout S] DISC.cue STEP...
//
// A step is one or more keys joined by '+', pressed together: a digit
// string ("2", "12") is the number keys then SELECT, N is NEXT, P PREV,
// R RETURN, D DEFAULT; "-" presses nothing and waits for the player to move
// on by itself (an item that ends, a menu that loops). After the keys, the
// step waits up to S seconds (default 10) for the player to start an item.
//
// Output, on standard output:
//   start list L item K:N
//   step I KEYS list L item K:N after T s
//   step I KEYS nothing after T s
//   then list L item K:N    (the player moved on by itself before the next keys)
//   message TEXT            (what the plugin logs: complaints, refusals)
// T is wall-clock time; X (default 4) speeds playback up, the time a menu
// or an album takes to play is divided by it, a wait after a list is not.
//
// Exit codes: 0 done, 1 the disc did not open, 2 bad arguments, 77 libxine's
// Video CD plugin cannot be loaded here.
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <regex>
#include <string>
#include <vector>

#include <xine.h>

namespace {

using Clock = std::chrono::steady_clock;

// What the plugin reports when it starts an item: the title format below
// turns its state into "item=<kind>:<number> list=<lid>".
constexpr const char* kTitleFormat = "item=%I:%N list=%L";

struct Started {
    std::string item;  // "track:3", "entry:0", "segment:1"
    int list = 0;      // 0 when playback control is off
    Clock::time_point at;
};

double Since(Clock::time_point start, Clock::time_point end) {
    return std::chrono::duration<double>(end - start).count();
}

// Lines come from the main thread and from libxine's log callback: each
// goes out whole.
void PrintLine(const std::string& line) {
    static std::mutex printing;
    std::lock_guard lock(printing);
    std::printf("%s\n", line.c_str());
    std::fflush(stdout);
}

// How long no other item may start for playback to count as settled.
constexpr double kQuiet = 0.15;

class Player {
public:
    explicit Player(xine_t* xine) : xine_(xine) {}

    // Items the plugin started, in order, as its title events say.
    void OnEvent(const xine_event_t* event) {
        if (event->type != XINE_EVENT_UI_SET_TITLE || !event->data) return;
        const auto* ui = static_cast<const xine_ui_data_t*>(event->data);
        static const std::regex title(R"(item=([A-Za-z ]+):(\d+) list=(?: List ID (\d+))?)");
        std::cmatch m;
        Started started;
        started.at = Clock::now();
        if (std::regex_search(ui->str, m, title)) {
            std::string kind = m[1].str();
            for (char& c : kind) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            if (kind == "list id") kind = "list";
            started.item = kind + ":" + m[2].str();
            started.list = m[3].matched ? std::stoi(m[3].str()) : 0;
        } else {
            started.item = std::string("untold(") + ui->str + ")";
        }
        std::lock_guard lock(mutex_);
        started_.push_back(started);
        changed_.notify_all();
    }

    // The plugin's log lines go out as "message" lines, as they come.
    void OnLog(int section) {
        const char* const* lines = xine_get_log(xine_, section);
        if (!lines || !lines[0] || !std::strstr(lines[0], "input_vcd")) return;
        std::string line = lines[0];
        while (!line.empty() && (line.back() == '\n' || line.back() == ' ')) line.pop_back();
        if (line.empty()) return;
        PrintLine("message " + line);
    }

    // The next item started after `since` items were seen, or nothing.
    std::optional<Started> WaitForStart(size_t since, double seconds) {
        std::unique_lock lock(mutex_);
        const bool arrived = changed_.wait_for(lock, std::chrono::duration<double>(seconds),
                                               [&] { return started_.size() > since; });
        if (!arrived) return std::nullopt;
        return started_[since];
    }

    // After a jump the player refills its buffers and may read a short menu
    // several times over in a burst. Waits until no item has started for a
    // moment: then playback goes at playing pace, and the item that started
    // last (the result of the step before) has only just begun. Gives that
    // item, or nothing when none has started within `seconds`.
    std::optional<Started> Settle(double seconds) {
        const Clock::time_point end = Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                         std::chrono::duration<double>(seconds));
        std::unique_lock lock(mutex_);
        while (true) {
            if (started_.empty()) {
                if (!changed_.wait_until(lock, end, [&] { return !started_.empty(); })) return std::nullopt;
                continue;
            }
            const size_t seen = started_.size();
            const Clock::time_point quietUntil =
                started_.back().at + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(kQuiet));
            if (!changed_.wait_until(lock, quietUntil, [&] { return started_.size() > seen; }))
                return started_.back();
            if (Clock::now() > end) return std::nullopt;
        }
    }

    size_t Count() {
        std::lock_guard lock(mutex_);
        return started_.size();
    }

private:
    xine_t* xine_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<Started> started_;
};

// Without a stream, only checks the keys.
void Send(xine_stream_t* stream, int type) {
    if (!stream) return;
    xine_event_t event{};
    event.type = type;
    event.stream = stream;
    xine_event_send(stream, &event);
}

bool PressKeys(xine_stream_t* stream, const std::string& step) {
    size_t begin = 0;
    while (begin <= step.size()) {
        const size_t end = std::min(step.find('+', begin), step.size());
        const std::string key = step.substr(begin, end - begin);
        begin = end + 1;
        if (key == "-") continue;
        if (key == "N") Send(stream, XINE_EVENT_INPUT_NEXT);
        else if (key == "P") Send(stream, XINE_EVENT_INPUT_PREVIOUS);
        else if (key == "R") Send(stream, XINE_EVENT_INPUT_MENU1);  // the plugin's RETURN
        else if (key == "D") Send(stream, XINE_EVENT_INPUT_MENU2);  // the plugin's DEFAULT
        else if (!key.empty() && key.find_first_not_of("0123456789") == std::string::npos) {
            for (char digit : key) Send(stream, XINE_EVENT_INPUT_NUMBER_0 + (digit - '0'));
            Send(stream, XINE_EVENT_INPUT_SELECT);
        } else {
            return false;
        }
    }
    return true;
}

void SetConfig(xine_t* xine, const char* key, const char* text, int number) {
    xine_cfg_entry_t entry;
    if (!xine_config_lookup_entry(xine, key, &entry)) return;
    if (text) entry.str_value = const_cast<char*>(text);
    else entry.num_value = number;
    xine_config_update_entry(xine, &entry);
}

bool HasVcdPlugin(xine_t* xine) {
    for (const char* const* id = xine_list_input_plugins(xine); id && *id; ++id)
        if (std::strcmp(*id, "VCD") == 0) return true;
    return false;
}

// The MRL names the image's file with its special characters escaped. With
// no item after it, the plugin starts playback control at the first list
// (an explicit "@P1" makes this plugin version forget the file and look
// for a drive instead).
std::string Mrl(const std::string& cue) {
    std::string mrl = "vcd://";
    static const char* hex = "0123456789ABCDEF";
    for (unsigned char c : cue) {
        if (std::isalnum(c) || std::strchr("/._-", c)) {
            mrl += static_cast<char>(c);
        } else {
            mrl += '%';
            mrl += hex[c >> 4];
            mrl += hex[c & 15];
        }
    }
    return mrl;
}

std::string Describe(const std::string& prefix, const Started& s) {
    return prefix + " list " + std::to_string(s.list) + " item " + s.item;
}

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", seconds);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    double speed = 4, timeout = 10;
    std::vector<std::string> args(argv + 1, argv + argc);
    while (args.size() >= 2 && (args[0] == "--speed" || args[0] == "--timeout")) {
        (args[0] == "--speed" ? speed : timeout) = std::atof(args[1].c_str());
        args.erase(args.begin(), args.begin() + 2);
    }
    if (args.empty() || speed <= 0 || timeout <= 0) {
        std::fprintf(stderr, "usage: xine_remote [--speed X] [--timeout S] DISC.cue STEP...\n");
        return 2;
    }
    for (size_t i = 1; i < args.size(); ++i)
        if (!PressKeys(nullptr, args[i]) && args[i] != "-") {
            std::fprintf(stderr, "xine_remote: unknown step '%s'\n", args[i].c_str());
            return 2;
        }

    // xine keeps its settings under $HOME/.xine; a run leaves no trace there
    // because it never saves them.
    xine_t* xine = xine_new();
    xine_init(xine);
    if (!HasVcdPlugin(xine)) {
        std::printf("skip: libxine's Video CD plugin (xineplug_inp_vcd) is not installed\n");
        xine_exit(xine);
        return 77;
    }
    Player player(xine);
    xine_engine_set_param(xine, XINE_ENGINE_PARAM_VERBOSITY, XINE_VERBOSITY_LOG);
    xine_register_log_cb(
        xine, [](void* p, int section) { static_cast<Player*>(p)->OnLog(section); }, &player);
    SetConfig(xine, "media.vcd.title_format", kTitleFormat, 0);
    SetConfig(xine, "media.vcd.autoplay", nullptr, 3);  // playback control
    // Small buffers. The plugin takes keys and reports items where it reads,
    // and with the default buffers it reads up to five seconds ahead of the
    // picture: after a jump it reads a short album to its end, and past it,
    // in one burst, and the next key acts on a list not yet on screen.
    // The engine registers these settings with the first stream; registered
    // here first, they keep these values.
    xine_config_register_num(xine, "engine.buffers.video_num_buffers", 40, "", "", 0, nullptr, nullptr);
    xine_config_register_num(xine, "engine.buffers.audio_num_buffers", 20, "", "", 0, nullptr, nullptr);

    xine_video_port_t* video = xine_open_video_driver(xine, "none", XINE_VISUAL_TYPE_NONE, nullptr);
    xine_audio_port_t* audio = xine_open_audio_driver(xine, "none", nullptr);
    xine_stream_t* stream = video && audio ? xine_stream_new(xine, audio, video) : nullptr;
    if (!stream) {
        std::printf("skip: libxine has no null video or audio driver here\n");
        xine_exit(xine);
        return 77;
    }
    xine_event_queue_t* queue = xine_event_new_queue(stream);
    xine_event_create_listener_thread(
        queue, [](void* p, const xine_event_t* e) { static_cast<Player*>(p)->OnEvent(e); }, &player);

    int status = 0;
    if (!xine_open(stream, Mrl(args[0]).c_str())) {
        PrintLine("error: libxine cannot open " + args[0] + " (error " + std::to_string(xine_get_error(stream)) + ")");
        status = 1;
    } else {
        xine_play(stream, 0, 0);
        xine_set_param(stream, XINE_PARAM_FINE_SPEED, static_cast<int>(speed * XINE_FINE_SPEED_NORMAL));
        std::optional<Started> current = player.Settle(timeout);
        if (!current) {
            PrintLine("error: the player started nothing within " + Seconds(timeout) + " s");
            status = 1;
        } else {
            int last = current->list;
            PrintLine(Describe("start", *current));
            for (size_t i = 1; i < args.size(); ++i) {
                // Keys go right after an item started at playing pace, far
                // from its end, so the item cannot end by itself before the
                // player reads them.
                const size_t before = player.Count();
                const std::optional<Started> settled = player.Settle(timeout);
                if (!settled) break;
                if (player.Count() > before && settled->list != last) {
                    // The player moved on by itself before the keys (a menu
                    // that starts its item again stays where it is): say so,
                    // the step's keys then act on another list.
                    PrintLine(Describe("then", *settled));
                }
                const size_t seen = player.Count();
                const Clock::time_point sent = Clock::now();
                PressKeys(stream, args[i]);
                const std::optional<Started> next = player.WaitForStart(seen, timeout);
                const std::string prefix = "step " + std::to_string(i) + " " + args[i];
                if (next) {
                    last = next->list;
                    PrintLine(Describe(prefix, *next) + " after " + Seconds(Since(sent, next->at)) + " s");
                } else {
                    PrintLine(prefix + " nothing after " + Seconds(Since(sent, Clock::now())) + " s");
                }
                if (!next) break;
            }
        }
        xine_stop(stream);
        xine_close(stream);
    }
    xine_event_dispose_queue(queue);
    xine_dispose(stream);
    xine_close_audio_driver(xine, audio);
    xine_close_video_driver(xine, video);
    xine_exit(xine);
    return status;
}
