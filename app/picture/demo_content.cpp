#include "picture/demo_content.h"

#include <cairo.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <random>
#include <vector>

#include <nlohmann/json.hpp>

#include "console/errors.h"
#include "picture/cairo_handles.h"
#include "picture/pictures.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

namespace {

struct DemoAlbum {
    const char* title;
    int width, height;  // picture size in square pixels
    double hue;         // the album's colour
    const char* motif;  // what the pictures show
    nlohmann::json transitions;
    bool png;
    // The captions the disc draws on the pictures; without them the album
    // shows its title and number, drawn into the picture itself.
    std::vector<const char*> captions;
};

void Hsv(double h, double s, double v, double& r, double& g, double& b) {
    h = std::fmod(h, 1.0) * 6;
    const int i = static_cast<int>(h);
    const double f = h - i, p = v * (1 - s), q = v * (1 - s * f), t = v * (1 - s * (1 - f));
    switch (i) {
        case 0: r = v, g = t, b = p; break;
        case 1: r = q, g = v, b = p; break;
        case 2: r = p, g = v, b = t; break;
        case 3: r = p, g = q, b = v; break;
        case 4: r = t, g = p, b = v; break;
        default: r = v, g = p, b = q; break;
    }
}

void SetHsv(cairo_t* cr, double h, double s, double v, double a = 1) {
    double r, g, b;
    Hsv(h, s, v, r, g, b);
    cairo_set_source_rgba(cr, r, g, b, a);
}

void DrawPicture(cairo_t* cr, const DemoAlbum& album, int index, int count, std::mt19937& rng, double w, double h) {
    const double hue = album.hue + index * 0.07;
    std::uniform_real_distribution<double> u(0, 1);

    // Sky-to-ground gradient in the album's colour.
    cairo_pattern_t* bg = cairo_pattern_create_linear(0, 0, 0, h);
    double r, g, b;
    Hsv(hue, 0.55, 0.95, r, g, b);
    cairo_pattern_add_color_stop_rgb(bg, 0, r, g, b);
    Hsv(hue + 0.5, 0.7, 0.35, r, g, b);
    cairo_pattern_add_color_stop_rgb(bg, 1, r, g, b);
    cairo_set_source(cr, bg);
    cairo_paint(cr);
    cairo_pattern_destroy(bg);

    const std::string motif = album.motif;
    if (motif == "circles") {
        for (int i = 0; i < 14; ++i) {
            SetHsv(cr, hue + u(rng) * 0.3, 0.7, 1, 0.55);
            cairo_arc(cr, u(rng) * w, u(rng) * h, (0.05 + u(rng) * 0.15) * std::min(w, h), 0, 2 * M_PI);
            cairo_fill(cr);
        }
    } else if (motif == "sunset") {
        SetHsv(cr, 0.1, 0.8, 1);
        cairo_arc(cr, w * (0.3 + 0.1 * index), h * (0.35 + 0.08 * index), std::min(w, h) * 0.16, 0, 2 * M_PI);
        cairo_fill(cr);
        SetHsv(cr, hue + 0.5, 0.6, 0.2);
        cairo_move_to(cr, 0, h);
        for (int x = 0; x <= 20; ++x) cairo_line_to(cr, w * x / 20, h * (0.62 + 0.12 * u(rng)));
        cairo_line_to(cr, w, h);
        cairo_fill(cr);
    } else if (motif == "stripes") {
        cairo_save(cr);
        cairo_translate(cr, w / 2, h / 2);
        cairo_rotate(cr, 0.3 * index);
        for (int i = -12; i < 12; i += 2) {
            SetHsv(cr, hue + i * 0.03, 0.8, 0.9, 0.7);
            cairo_rectangle(cr, i * w / 20, -h, w / 20, 2 * h);
            cairo_fill(cr);
        }
        cairo_restore(cr);
    } else if (motif == "stars") {
        cairo_set_source_rgb(cr, 0.02, 0.02, 0.1);
        cairo_paint(cr);
        for (int i = 0; i < 120; ++i) {
            cairo_set_source_rgba(cr, 1, 1, 0.9, 0.4 + 0.6 * u(rng));
            cairo_arc(cr, u(rng) * w, u(rng) * h, 0.5 + 2 * u(rng), 0, 2 * M_PI);
            cairo_fill(cr);
        }
        SetHsv(cr, 0.15, 0.2, 1);
        cairo_arc(cr, w * 0.75, h * 0.25, std::min(w, h) * 0.1, 0, 2 * M_PI);
        cairo_fill(cr);
    } else {  // "wheel"
        const double cx = w / 2, cy = h / 2, rad = std::min(w, h) * 0.42;
        for (int i = 0; i < 24; ++i) {
            SetHsv(cr, i / 24.0 + index * 0.1, 0.85, 1);
            cairo_move_to(cr, cx, cy);
            cairo_arc(cr, cx, cy, rad, i * M_PI / 12, (i + 1) * M_PI / 12);
            cairo_close_path(cr);
            cairo_fill(cr);
        }
    }

    // A label, so that every picture can be told apart on screen.
    if (!album.captions.empty()) return;
    const std::string caption = std::string(album.title) + "  " + std::to_string(index + 1) + "/" + std::to_string(count);
    cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
    cairo_set_font_size(cr, std::min(w, h) * 0.09);
    cairo_text_extents_t e;
    cairo_text_extents(cr, caption.c_str(), &e);
    const double x = (w - e.x_advance) / 2, y = h * 0.88;
    cairo_set_source_rgba(cr, 0, 0, 0, 0.5);
    cairo_rectangle(cr, x - 10, y + e.y_bearing - 8, e.x_advance + 20, e.height + 16);
    cairo_fill(cr);
    cairo_set_source_rgb(cr, 1, 1, 1);
    cairo_move_to(cr, x, y);
    cairo_show_text(cr, caption.c_str());
}

OwnedImage ToImage(cairo_surface_t* surface) {
    const int w = cairo_image_surface_get_width(surface), h = cairo_image_surface_get_height(surface);
    OwnedImage image = BlackPicture(static_cast<uint32_t>(w), static_cast<uint32_t>(h));
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    for (int y = 0; y < h; ++y) {
        const auto* src = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
        unsigned char* dst = image.row(static_cast<uint32_t>(y));
        for (int x = 0; x < w; ++x) {
            dst[3 * x] = static_cast<unsigned char>(src[x]);
            dst[3 * x + 1] = static_cast<unsigned char>(src[x] >> 8);
            dst[3 * x + 2] = static_cast<unsigned char>(src[x] >> 16);
        }
    }
    return image;
}

void SavePicture(cairo_surface_t* surface, const fs::path& file, bool png) {
    if (png) {
        if (cairo_surface_write_to_png(surface, file.string().c_str()) != CAIRO_STATUS_SUCCESS)
            throw RunError(file.string() + ": cannot write the demo picture");
        return;
    }
    WriteJpeg(ToImage(surface).get(), file);
}

const std::vector<DemoAlbum>& DemoAlbums() {
    // Between them the albums use every effect family: push, squeeze,
    // slide/wipe, blinds, cross-fade, shape reveals, diagonal and tiled
    // wipes, zoom and dissolve; one album draws its own at random.
    static const std::vector<DemoAlbum> albums = {
        {"Bubbles", 640, 480, 0.55, "circles", {"PushFromLeft", "SqueezeFromTop", "SlideInFromLeft"}, true, {}},
        {"Sunsets", 800, 450, 0.02, "sunset", {"VerticalBlinds", "CrossFade", "IrisOpen"}, false, {}},
        {"Stripes", 480, 640, 0.30, "stripes", {"DiagonalWipeFromTopLeft", "TiledWipeFromTopLeft", "ZoomFromTopLeft"}, true, {}},
        // Captions on dark pictures, in three scripts, one too long for the screen.
        {"Night sky", 640, 480, 0.65, "stars", {"DissolveFromTop", "NoisyCrossFade", "BoxOpen"}, false,
         {"Moonrise over the valley", "Ωρίων · Орион",
          "The Milky Way from the campsite, long after everyone else had gone to sleep", "Last light"}},
        {"Colour wheel", 600, 600, 0.0, "wheel", "random", true, {}},
        {"Tall stripes", 360, 640, 0.8, "stripes", {"PushFromBottom", "HorizontalBlinds", "DissolveFromRight"}, false, {}},
    };
    return albums;
}

void PutLE(std::ofstream& out, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

void WriteTune(const fs::path& file, const std::vector<int>& notes, double beat) {
    constexpr int kRate = 44100;
    const auto beatSamples = static_cast<size_t>(beat * kRate);
    const size_t total = beatSamples * notes.size();
    std::vector<int16_t> samples(total * 2);
    for (size_t n = 0; n < notes.size(); ++n) {
        for (size_t i = 0; i < beatSamples; ++i) {
            const double t = static_cast<double>(i) / kRate;
            const double whole = static_cast<double>(n * beatSamples + i) / kRate;
            double v = 0;
            if (notes[n] > -99) {
                const double f = 440.0 * std::pow(2.0, notes[n] / 12.0);
                // A plucked tone: quick attack, gentle decay, two overtones.
                const double env = std::min(1.0, t * 200) * std::exp(-3.0 * t);
                v = env * (std::sin(2 * M_PI * f * t) + 0.3 * std::sin(4 * M_PI * f * t) + 0.1 * std::sin(6 * M_PI * f * t));
            }
            const double bass = 0.25 * std::sin(2 * M_PI * 110.0 * whole);
            const double left = 0.45 * v + bass, right = 0.35 * v + bass;
            samples[2 * (n * beatSamples + i)] = static_cast<int16_t>(std::clamp(left, -1.0, 1.0) * 20000);
            samples[2 * (n * beatSamples + i) + 1] = static_cast<int16_t>(std::clamp(right, -1.0, 1.0) * 20000);
        }
    }
    std::ofstream out(file, std::ios::binary);
    const auto bytes = static_cast<uint32_t>(samples.size() * 2);
    out.write("RIFF", 4);
    PutLE(out, 36 + bytes, 4);
    out.write("WAVEfmt ", 8);
    PutLE(out, 16, 4);
    PutLE(out, 1, 2);  // PCM
    PutLE(out, 2, 2);
    PutLE(out, kRate, 4);
    PutLE(out, kRate * 4, 4);
    PutLE(out, 4, 2);
    PutLE(out, 16, 2);
    out.write("data", 4);
    PutLE(out, bytes, 4);
    out.write(reinterpret_cast<const char*>(samples.data()), static_cast<std::streamsize>(bytes));
    if (!out) throw RunError(file.string() + ": cannot write the demo music");
}

OwnedImage DrawDemoPicture(size_t album, int index, uint32_t width, uint32_t height) {
    const DemoAlbum& a = DemoAlbums().at(album);
    std::mt19937 rng(static_cast<uint32_t>(album * 31 + static_cast<size_t>(index)));
    Surface surface(
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, static_cast<int>(width), static_cast<int>(height)));
    CairoContext cr(cairo_create(surface.get()));
    DrawPicture(cr.get(), a, index, 4, rng, width, height);
    cairo_surface_flush(surface.get());
    return ToImage(surface.get());
}

Project MakeDemoProject(const fs::path& folder) {
    std::error_code ec;
    fs::create_directories(folder / "pictures", ec);
    if (!fs::is_directory(folder / "pictures", ec)) throw InputError(folder.string() + ": cannot make the demo folder");

    const std::vector<DemoAlbum>& albums = DemoAlbums();
    constexpr int kPictures = 4;

    // Ode to Joy for the albums, a slow arpeggio for the menus.
    WriteTune(folder / "album-tune.wav", {7, 7, 8, 10, 10, 8, 7, 5, 3, 3, 5, 7, 7, 5, 5, -99}, 0.4);
    WriteTune(folder / "menu-tune.wav", {3, 7, 10, 15, 10, 7}, 0.5);

    std::mt19937 rng(7);
    nlohmann::json project = {{"title", "vcdalbum demo"},
                              {"menu_music", "menu-tune.wav"},
                              {"seconds_per_picture", 3},
                              {"music", "album-tune.wav"}};
    nlohmann::json list = nlohmann::json::array();
    for (size_t a = 0; a < albums.size(); ++a) {
        const DemoAlbum& album = albums[a];
        nlohmann::json pictures = nlohmann::json::array();
        for (int i = 0; i < kPictures; ++i) {
            Surface surface(
                cairo_image_surface_create(CAIRO_FORMAT_RGB24, album.width, album.height));
            CairoContext cr(cairo_create(surface.get()));
            DrawPicture(cr.get(), album, i, kPictures, rng, album.width, album.height);
            cairo_surface_flush(surface.get());
            const std::string name =
                "pictures/" + std::to_string(a + 1) + "-" + std::to_string(i + 1) + (album.png ? ".png" : ".jpg");
            SavePicture(surface.get(), folder / name, album.png);
            if (album.captions.empty()) pictures.push_back(name);
            else pictures.push_back({{"file", name}, {"caption", album.captions.at(static_cast<size_t>(i))}});
        }
        list.push_back({{"title", album.title}, {"pictures", pictures}, {"transitions", album.transitions}});
    }
    // The sunsets drift and zoom slowly while they are held.
    list[1]["motion"] = "pan-zoom";
    project["albums"] = list;
    project["menus"] = {{1, 2, 3, 4}, {5, 6}};
    const fs::path file = folder / "project.json";
    std::ofstream(file) << project.dump(2) << "\n";
    return LoadProject(file);
}

}  // namespace vcdalbum::host
