#include "readback/gallery.h"

#include <cstring>
#include <sstream>

#include <vcdalbum/Authoring.h>
#include <vcdalbum/codec.h>
#include <vcdalbum/transitions.h>

#include "picture/demo_content.h"
#include "project/effects.h"
#include "console/errors.h"

namespace vcdalbum::host {
namespace fs = std::filesystem;

std::string Base64(const std::vector<uint8_t>& bytes) {
    static const char* kDigits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const uint32_t v = uint32_t{bytes[i]} << 16 | uint32_t{bytes[i + 1]} << 8 | bytes[i + 2];
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += kDigits[(v >> 6) & 63];
        out += kDigits[v & 63];
    }
    if (i < bytes.size()) {
        const bool two = i + 1 < bytes.size();
        const uint32_t v = uint32_t{bytes[i]} << 16 | (two ? uint32_t{bytes[i + 1]} << 8 : 0);
        out += kDigits[v >> 18];
        out += kDigits[(v >> 12) & 63];
        out += two ? kDigits[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

std::vector<EffectFrames> RenderAllEffects(const fs::path& work, Progress& progress) {
    const OwnedImage from = DrawDemoPicture(1, 0, kGalleryWidth, kGalleryHeight);
    const OwnedImage to = DrawDemoPicture(0, 1, kGalleryWidth, kGalleryHeight);
    Image first = from.get(), second = to.get();  // the library only reads them
    Authoring renderer;
    std::vector<EffectFrames> out;
    const size_t stride = ImageStride(kGalleryWidth);
    for (int effect = 0; effect < kEffectCount; ++effect) {
        OwnedImage sprite = BlackPicture(kGalleryWidth, kGalleryHeight * TransitionFrames);
        for (int frame = 1; frame <= TransitionFrames; ++frame) {
            std::string path = (work / (std::to_string(effect) + "-" + std::to_string(frame) + ".jpg")).string();
            renderer.DoTransitionEffect(&first, &second, path.data(), static_cast<unsigned short>(effect), frame);
            Image decoded{};
            const CodecResult rc = DecodeJpegFile(path, decoded);
            if (!rc.ok() || decoded.width != kGalleryWidth || decoded.height != kGalleryHeight) {
                ReleaseImage(decoded);
                throw RunError("effect " + std::to_string(effect) + " (" + std::string(EffectName(effect)) +
                               "), frame " + std::to_string(frame) + ": no usable frame was rendered at " + path);
            }
            for (uint32_t y = 0; y < kGalleryHeight; ++y)
                std::memcpy(sprite.row(static_cast<uint32_t>(frame - 1) * kGalleryHeight + y),
                            decoded.data + y * stride, stride);
            ReleaseImage(decoded);
            std::error_code ec;
            fs::remove(path, ec);
        }
        EffectFrames e;
        e.effect = effect;
        const CodecResult rc = EncodeJpeg(sprite.get(), e.sprite);
        if (!rc.ok()) throw RunError("effect " + std::to_string(effect) + ": encoding its frames failed: " + rc.message);
        out.push_back(std::move(e));
        progress.Update(0, static_cast<double>(effect + 1) / kEffectCount, std::string(EffectName(effect)));
    }
    return out;
}

std::string GalleryHtml(const std::vector<EffectFrames>& effects) {
    const uint32_t w = kGalleryWidth, h = kGalleryHeight;
    std::ostringstream html;
    html << R"(<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<title>vcdalbum transition effects</title>
<style>
body { background: #15182a; color: #eee; font-family: "DejaVu Sans", sans-serif; margin: 24px; }
h1 { font-weight: normal; }
.grid { display: grid; grid-template-columns: repeat(auto-fill, minmax()"
         << (w * 2 + 40) << R"(px, 1fr)); gap: 16px; }
.effect { background: #232845; border-radius: 8px; padding: 10px; }
.effect h2 { font-size: 15px; margin: 0 0 8px 0; }
.effect h2 .number { display: inline-block; min-width: 2.2em; color: #f2c034; }
.play { width: )"
         << w << "px; height: " << h << R"(px; float: left; margin-right: 10px;
        animation: frames 1.6s steps()"
         << TransitionFrames << R"() infinite; }
@keyframes frames { from { background-position: 0 0; } to { background-position: 0 -)"
         << h * TransitionFrames << R"(px; } }
.strip { display: grid; grid-template-columns: repeat(3, )"
         << w / 3 << "px); gap: 3px; }\n.strip div { width: " << w / 3 << "px; height: " << h / 3
         << "px; background-size: " << w / 3 << "px " << h * TransitionFrames / 3 << R"(px; }
.strip span { font-size: 9px; color: #aaa; }
.effect:after { content: ""; display: block; clear: both; }
</style>
</head>
<body>
<h1>vcdalbum transition effects</h1>
<p>Every effect, by number and name: its 30 frames looping, and frames )";
    for (size_t i = 0; i < std::size(kGalleryStrip); ++i) html << (i ? ", " : "") << kGalleryStrip[i];
    html << R"( as a strip. Use the number or the name in a project file.</p>
<div class="grid" id="effects">
)";
    for (const auto& e : effects) {
        const std::string name(EffectName(e.effect));
        html << "<style>#e" << e.effect << " .play, #e" << e.effect << " .strip div { background-image: url(data:image/jpeg;base64,"
             << Base64(e.sprite) << "); }</style>\n";
        html << "<section class=\"effect\" id=\"e" << e.effect << "\" data-sprite=\"e" << e.effect << "\"><h2><span class=\"number\">"
             << e.effect << "</span>" << name << "</h2>\n<div class=\"play\" title=\"" << name << "\"></div>\n<div class=\"strip\">";
        for (int f : kGalleryStrip)
            html << "<div style=\"background-position: 0 -" << (f - 1) * h / 3 << "px\" title=\"frame " << f << "\"></div>";
        html << "</div></section>\n";
    }
    // A tiny check that every embedded sprite decodes: the count lands on
    // the page, and a broken one is reported on the console.
    html << R"(</div>
<script>
(function () {
  var sections = document.querySelectorAll('section.effect');
  var decoded = 0;
  sections.forEach(function (s) {
    var url = getComputedStyle(s.querySelector('.play')).backgroundImage.slice(5, -2);
    var img = new Image();
    img.onload = function () { document.body.dataset.decoded = ++decoded; };
    img.onerror = function () { console.error('frames of effect ' + s.id + ' do not decode'); };
    img.src = url;
  });
  document.body.dataset.effects = sections.length;
})();
</script>
</body>
</html>
)";
    return html.str();
}

}  // namespace vcdalbum::host
