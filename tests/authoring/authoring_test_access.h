// Test-only view of an Authoring object: reads its collected state and
// appends stream paths as the page and album encoders do, so that the
// burning run can be tested without encoding anything.
#pragma once

#include <string>
#include <vector>

#include "platform/heap_string.h"
#include "vcdalbum/Authoring.h"

struct AuthoringTestAccess {
    static void AppendMenuStream(Authoring& a, const std::string& path) {
        a.menuFiles.push_back(path);
        ++a.menuCount;
    }
    static void AppendAlbumStream(Authoring& a, const std::string& path) {
        a.albumFiles.push_back(path);
        ++a.albumCount;
    }
    static int menuCount(const Authoring& a) { return a.menuCount; }
    static int albumCount(const Authoring& a) { return a.albumCount; }
    static const std::vector<std::string>& menuFiles(const Authoring& a) { return a.menuFiles; }
    static const std::vector<std::string>& albumFiles(const Authoring& a) { return a.albumFiles; }
    static int albumsOfMenu(const Authoring& a, int menu) { return a.albumNoPerMenu[menu]; }
    static std::string burnerName(const Authoring& a) { return a.burnerName; }
    static int vcdMode(const Authoring& a) { return a.vcdMode; }
    static ProgressCallBack progress(const Authoring& a) { return a.progressCallBack; }
    static char* frameFile(const Authoring& a, int slot) { return a.frameFiles[slot]; }
    // Puts a heap copy of `name` in a slot, as a transition does.
    static void SetFrameFile(Authoring& a, int slot, const char* name) {
        std::free(a.frameFiles[slot]);
        a.frameFiles[slot] = vcdalbum::platform::HeapCopy(name);
    }
};
