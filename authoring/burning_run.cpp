// Authoring::StartBurning: lays the collected menu and album streams out as
// a Video CD with playback control and burns it.
//
// Every menu is a selection list showing its page; its numbered selections
// are its albums and, for every menu but the last, the next menu. Every
// album is a play list that moves on to the next album of its menu; the
// last one returns to the menu.
#include <memory>
#include <string>
#include <vector>

#include "authoring/first_sequence_item.h"
#include "authoring/video_standard_choice.h"
#include "vcdalbum/Authoring.h"
#include "vcdalbum/VRX_Burner.h"

namespace {

constexpr unsigned char kProjectKindVcd = 4;
constexpr int kAlbumWaitTime = 3;
constexpr int kMenuTimeoutTime = -1;
constexpr int kMenuLoopCount = 0;

// Streams are looked up with a range check. A table that asks for a stream
// that was never appended gets null: no exception may cross the library's
// boundary, since a host built with another runtime (or a 32-bit Windows
// host, whose unwinder is not the DLL's) cannot catch it.
const std::string* StreamAt(const std::vector<std::string>& files, std::size_t index) {
    return index < files.size() ? &files[index] : nullptr;
}

std::string Name(const char* prefix, int number) { return prefix + std::to_string(number); }

// Where an album sits in the layout.
struct AlbumPlace {
    int menu;
    int first;  // first album of that menu
    int last;   // last album of that menu
};

}  // namespace

int Authoring::StartBurning(int drive, int speed, int, int) {
    auto burner = std::make_unique<VRX_Burner>();
    burner->init(kProjectKindVcd, reinterpret_cast<unsigned char*>(burnerName));

    // The component fills these for every sequence item; the layout needs neither.
    unsigned long size = 0;
    unsigned long isDat = 0;
    const std::string first = vcdalbum::authoring::FirstSequenceItemPath(vcdalbum::authoring::StandardOf(*this));
    burner->addSequenceItem(first.c_str(), "default", "defaultentry", &size, &isDat);

    // Growable tables: the disc format's own limits are the burner
    // component's to enforce.
    std::vector<_pbc_t*> menuNodes;
    std::vector<_pbc_t*> albumNodes;
    std::vector<AlbumPlace> places;

    for (int m = 0; m < menuCount; ++m) {
        std::string menuItem = Name("MenuItem", m);
        std::string menuName = Name("Menu", m);
        const std::string* menuFile = StreamAt(menuFiles, m);
        if (!menuFile) return VRX_FAIL;  // the burner closes its project; nothing was burnt
        burner->addSequenceItem(menuFile->c_str(), menuItem.c_str(), std::to_string(m).c_str(), &size, &isDat);
        _pbc_t* menu = burner->getSelectionListNode(menuName.data());
        menuNodes.push_back(menu);
        if (m > 0) burner->addSelectionID(menuNodes[m - 1], menuName.data());
        burner->setSelectionItemID(menu, menuItem.data());
        burner->setTimeoutTime(menu, kMenuTimeoutTime);

        // Menus past the table and negative counts offer no albums.
        const int count = m < kMenuTableSize && albumNoPerMenu[m] > 0 ? albumNoPerMenu[m] : 0;
        const int firstAlbum = static_cast<int>(albumNodes.size());
        for (int i = 0; i < count; ++i) {
            const int a = firstAlbum + i;
            std::string albumName = Name("Album", a);
            std::string albumItem = Name("AlbumItem", a);
            _pbc_t* album = burner->getPlayListNode(albumName.data());
            albumNodes.push_back(album);
            places.push_back({m, firstAlbum, firstAlbum + count - 1});
            burner->addSelectionID(menu, albumName.data());
            const std::string* albumFile = StreamAt(albumFiles, a);
            if (!albumFile) return VRX_FAIL;  // the burner closes its project; nothing was burnt
            burner->addSequenceItem(albumFile->c_str(), albumItem.c_str(), std::to_string(a).c_str(), &size, &isDat);
            burner->addPlayItemID(album, albumItem.data());
            burner->setWaitTime(album, kAlbumWaitTime);
        }
    }

    for (int m = 0; m < menuCount; ++m) {
        _pbc_t* menu = menuNodes[m];
        std::string prev = Name("Menu", m > 0 ? m - 1 : 0);
        std::string next = Name("Menu", m < menuCount - 1 ? m + 1 : m);
        burner->setPrevNode(menu, prev.data());
        burner->setNextNode(menu, next.data());
        burner->setLoopCount(menu, kMenuLoopCount);
        burner->AddNode(menu);
    }

    // Only albums that a menu offers are laid out; with fewer offered than
    // appended, the rest stay off the disc.
    for (int a = 0; a < static_cast<int>(albumNodes.size()); ++a) {
        const AlbumPlace& place = places[a];
        std::string menuName = Name("Menu", place.menu);
        std::string next = a == place.last ? menuName : Name("Album", a + 1);
        std::string prev = a == place.first ? menuName : Name("Album", a - 1);
        burner->setNextNode(albumNodes[a], next.data());
        burner->setPrevNode(albumNodes[a], prev.data());
        burner->AddNode(albumNodes[a]);
    }

    burner->selectDrive(false, drive);
    burner->burn(0, nullptr, static_cast<short>(speed));
    burner->ejectDisc(true);
    return 0;
}
