// The demo disc's content, made on the spot: drawn pictures (PNG and JPEG,
// landscape and portrait), two synthesized tunes and a project file that
// uses two menus, several albums and effects from every family.
#pragma once

#include <filesystem>

#include "picture/pictures.h"
#include "project/project.h"

namespace vcdalbum::host {

// Writes the pictures, music and project.json into `folder` and returns the
// project as loaded from that file.
Project MakeDemoProject(const std::filesystem::path& folder);

// Picture `index` (0..3) of demo album `album` (0..5), drawn at any size.
OwnedImage DrawDemoPicture(size_t album, int index, uint32_t width, uint32_t height);

// A tune as 16-bit stereo WAV at 44.1 kHz: `notes` are semitones from A4
// (-99 = rest), each `beat` seconds long, under a soft bass drone.
void WriteTune(const std::filesystem::path& file, const std::vector<int>& notes, double beat);

}  // namespace vcdalbum::host
