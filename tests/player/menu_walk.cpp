#include "player/menu_walk.h"

#include <algorithm>
#include <deque>
#include <map>
#include <stdexcept>

namespace vcdalbum::playertest {
namespace {

using nlohmann::json;

// A link in `inspect --json`: a list number, or null for none.
int Link(const json& list, const char* name) {
    const json& link = list.at(name);
    return link.is_number_integer() ? link.get<int>() : 0;
}

class Planner {
public:
    explicit Planner(const json& disc) {
        for (const json& list : disc.at("lists")) lists_[list.at("lid").get<int>()] = list;
        for (const json& track : disc.at("tracks"))
            seconds_[track.at("track").get<int>()] = track.at("seconds").get<double>();
        if (lists_.empty()) throw std::runtime_error("the disc has no playback control");
        Intend();
    }

    Walk Plan() {
        walk_.firstList = at_ = lists_.begin()->first;
        walk_.firstItem = Item(at_);
        const int first = at_;

        // The menus: the selection lists the first list reaches over its
        // NEXT, PREV and RETURN links, the first one first.
        std::vector<int> menus;
        for (int lid : Reachable(first))
            if (IsMenu(lid)) menus.push_back(lid);

        for (int menu : menus) {
            const json& selections = lists_.at(menu).at("selections");
            const int bsn = lists_.at(menu).at("bsn").get<int>();
            for (size_t i = 0; i < selections.size(); ++i) {
                const int key = bsn + static_cast<int>(i);
                if (!selections[i].is_number_integer()) continue;
                GoTo(menu);
                const int target = selections[i].get<int>();
                Press(std::to_string(key), target,
                      "key " + std::to_string(key) + " of list " + std::to_string(menu));
                // RETURN where the list has one; where it has none, the
                // player stays and the NEXT pressed with it shows where.
                const json& list = lists_.at(target);
                if (Link(list, "return"))
                    Press("R", Link(list, "return"), "RETURN of list " + std::to_string(target));
                else if (Link(list, "next"))
                    Press("R+N", Link(list, "next"),
                          "RETURN (none) then NEXT of list " + std::to_string(target));
            }
        }

        GoTo(first);
        if (Link(lists_.at(first), "prev")) Press("P", Link(lists_.at(first), "prev"), "PREV of the first list");
        GoTo(first);
        if (Link(lists_.at(first), "next")) Press("N", Link(lists_.at(first), "next"), "NEXT of the first list");

        PlayToTheEnd(first);
        return walk_;
    }

private:
    // How a menu and its albums go together: its albums are offered in the
    // order they lie on the disc, each plays on to the next and the last
    // back to the menu, PREV goes the other way. What each key must lead to
    // follows from that, not from the albums' own links, so a disc whose
    // links break the layout fails where the player follows them.
    void Intend() {
        for (auto& [lid, list] : lists_) {
            if (!IsMenu(lid)) continue;
            json& selections = list.at("selections");
            std::vector<size_t> places;
            std::vector<int> albums;
            for (size_t i = 0; i < selections.size(); ++i)
                if (selections[i].is_number_integer() && lists_.count(selections[i].get<int>()) &&
                    !IsMenu(selections[i].get<int>())) {
                    places.push_back(i);
                    albums.push_back(selections[i].get<int>());
                }
            std::sort(albums.begin(), albums.end(), [&](int a, int b) { return FirstTrack(a) < FirstTrack(b); });
            for (size_t i = 0; i < albums.size(); ++i) {
                selections[places[i]] = albums[i];
                json& album = lists_.at(albums[i]);
                album["prev"] = i == 0 ? lid : albums[i - 1];
                album["next"] = i + 1 == albums.size() ? lid : albums[i + 1];
            }
        }
    }

    int FirstTrack(int lid) const {
        const json& items = lists_.at(lid).at("items");
        return items.empty() ? 0 : items[0].at("number").get<int>();
    }

    bool IsMenu(int lid) const { return lists_.at(lid).at("kind") == "selection"; }

    std::string Item(int lid) const {
        const json& items = lists_.at(lid).at("items");
        if (items.empty()) return "none";
        return items[0].at("kind").get<std::string>() + ":" + std::to_string(items[0].at("number").get<int>());
    }

    // Seconds a list's first item plays, when it is a track.
    double Seconds(int lid) const {
        const json& items = lists_.at(lid).at("items");
        if (items.empty() || items[0].at("kind") != "track") return 0;
        auto track = seconds_.find(items[0].at("number").get<int>());
        return track == seconds_.end() ? 0 : track->second;
    }

    void Press(const std::string& keys, int target, const std::string& why) {
        if (!lists_.count(target))
            throw std::runtime_error(why + " leads to list " + std::to_string(target) + ", which the disc lacks");
        walk_.steps.push_back({keys, target, Item(target), why});
        at_ = target;
    }

    // Lists reached from `from` over PREV, NEXT and RETURN, nearest first,
    // with the keys of the shortest way to each.
    std::map<int, std::string> Ways(int from) const {
        std::map<int, std::string> way{{from, ""}};
        std::deque<int> queue{from};
        while (!queue.empty()) {
            const int lid = queue.front();
            queue.pop_front();
            for (auto [key, name] : {std::pair{"P", "prev"}, std::pair{"N", "next"}, std::pair{"R", "return"}}) {
                const int to = Link(lists_.at(lid), name);
                if (!to || !lists_.count(to) || way.count(to)) continue;
                way[to] = way[lid] + key;
                queue.push_back(to);
            }
        }
        return way;
    }

    std::vector<int> Reachable(int from) const {
        std::vector<int> order;
        for (const auto& [lid, keys] : Ways(from)) order.push_back(lid);
        return order;
    }

    // Back to `lid` the shortest way, every link on it checked.
    void GoTo(int lid) {
        if (at_ == lid) return;
        const auto ways = Ways(at_);
        auto way = ways.find(lid);
        if (way == ways.end())
            throw std::runtime_error("list " + std::to_string(lid) + " cannot be reached from list " +
                                     std::to_string(at_) + " over PREV, NEXT and RETURN");
        for (char key : way->second) {
            const char* name = key == 'P' ? "prev" : key == 'N' ? "next" : "return";
            const char* word = key == 'P' ? "PREV" : key == 'N' ? "NEXT" : "RETURN";
            Press(std::string(1, key), Link(lists_.at(at_), name), std::string(word) + " of list " + std::to_string(at_));
        }
    }

    // The last album the first menu offers plays to its end and moves on
    // after its wait; a menu reached then plays on by itself as authored.
    void PlayToTheEnd(int first) {
        const json& selections = lists_.at(first).at("selections");
        const int bsn = lists_.at(first).at("bsn").get<int>();
        int key = 0, album = 0;
        for (size_t i = 0; i < selections.size(); ++i)
            if (selections[i].is_number_integer() && !IsMenu(selections[i].get<int>())) {
                key = bsn + static_cast<int>(i);
                album = selections[i].get<int>();
            }
        if (!album) return;
        GoTo(first);
        Press(std::to_string(key), album, "key " + std::to_string(key) + " of list " + std::to_string(first));
        const json& list = lists_.at(album);
        const int next = Link(list, "next");
        if (!next) return;
        const int wait = std::max(0, list.at("wait").get<int>());
        Wait(Seconds(album) + wait);
        Press("-", next,
              "list " + std::to_string(album) + " played to its end, NEXT after its " + std::to_string(wait) + " s wait");
        LeaveAlone(next);
    }

    void LeaveAlone(int lid) {
        const json& list = lists_.at(lid);
        if (!IsMenu(lid)) return;
        const int loop = list.at("loop").get<int>();
        const int wait = list.at("wait").get<int>();
        const int timeout = Link(list, "timeout");
        if (loop == 0) {
            // Repeats for ever: the wait and the timeout never come.
            for (int round = 1; round <= 2; ++round) {
                Wait(Seconds(lid));
                Press("-", lid, "list " + std::to_string(lid) + " left alone repeats (loop 0: for ever)");
            }
            return;
        }
        for (int round = 1; round < loop; ++round) {
            Wait(Seconds(lid));
            Press("-", lid, "list " + std::to_string(lid) + " plays again (loop " + std::to_string(loop) + ")");
        }
        if (timeout && wait >= 0) {
            Wait(Seconds(lid) + wait);
            Press("-", timeout,
                  "list " + std::to_string(lid) + " times out after " + std::to_string(wait) + " s");
        }
    }

    void Wait(double seconds) { walk_.longestWait = std::max(walk_.longestWait, seconds); }

    std::map<int, json> lists_;
    std::map<int, double> seconds_;
    Walk walk_;
    int at_ = 0;
};

}  // namespace

Walk PlanWalk(const json& disc) { return Planner(disc).Plan(); }

}  // namespace vcdalbum::playertest
