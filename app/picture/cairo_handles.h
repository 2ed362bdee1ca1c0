// Owning handles of cairo's surfaces and drawing contexts, for the menu
// pages and the demo album's pictures.
#pragma once

#include <cairo.h>

#include <memory>

namespace vcdalbum::host {

struct SurfaceFreer {
    void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoFreer {
    void operator()(cairo_t* c) const { cairo_destroy(c); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFreer>;
using CairoContext = std::unique_ptr<cairo_t, CairoFreer>;

}  // namespace vcdalbum::host
