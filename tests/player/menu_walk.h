// A walk over a disc's playback control with a remote control, and what a
// player must do at each step, worked out from the lists that
// `vcdalbum inspect --json` reads back from the image: its menus, their
// keys and links as they are; its albums as the layout puts them (in disc
// order behind a menu's keys, each playing on to the next and the last
// back to its menu).
#pragma once

#include <string>
#include <vector>

#include <nlohmann/json.hpp>

namespace vcdalbum::playertest {

struct WalkStep {
    std::string keys;   // as xine_remote takes them: "2", "P", "R+N", "-"
    int list = 0;       // the list the player must start next
    std::string item;   // and its first item, "track:5"
    std::string why;    // what the step checks, for the table
};

struct Walk {
    int firstList = 0;
    std::string firstItem;
    std::vector<WalkStep> steps;
    double longestWait = 0;  // seconds the slowest step may take at normal speed
};

// Every number key of every menu (a selection list reached by NEXT, PREV or
// RETURN from the first list), each followed by RETURN and NEXT on the list
// it leads to and by the way back over PREV, NEXT and RETURN links; PREV and
// NEXT of the first list; the last album of the first menu played to its
// end; and the list it then reaches left alone, to loop or time out.
// Throws std::runtime_error when a list cannot be reached back.
Walk PlanWalk(const nlohmann::json& disc);

}  // namespace vcdalbum::playertest
