#pragma once

#include "render/MarkerGeometry.h"
#include "render/MeshCornerBuffers.h"
#include "render/SnapshotCamera.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// What one frame of the 3D view shows.
struct SnapshotScene {
    CornerBuffers mesh;        // drawn with its smooth buffer (shading mode 1)
    TriangleGeometry tubes;    // boundary and seam edges
    SnapshotCamera camera;
    bool hasMesh = false;
};

// Draws frames of the 3D view without any window system: an OpenGL context of
// Mesa's EGL (surfaceless, or a small pbuffer where that is missing) renders
// into a framebuffer object that is read back. Needs no display and ignores
// DISPLAY.
class OffscreenRenderer {
public:
    OffscreenRenderer();
    ~OffscreenRenderer();
    OffscreenRenderer(const OffscreenRenderer&) = delete;
    OffscreenRenderer& operator=(const OffscreenRenderer&) = delete;

    // Creates the context and the programs on first use. False (with the
    // reason) when no offscreen context can be made; the answer is kept.
    bool ready(std::string& whyNot);

    // Renders the scene at width x height into rgba (rows from the top, four
    // bytes per pixel). The frame is cleared to transparent white and the
    // drawn pixels are opaque, as in the window. False with the reason when
    // nothing could be rendered.
    bool render(const SnapshotScene& scene, int width, int height, std::vector<uint8_t>& rgba,
                std::string& whyNot);

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Puts the frame over the window's background colour (238, 238, 238), as the
// window's own snapshot of its 3D view does, and drops the alpha channel.
std::vector<uint8_t> overWindowBackground(const std::vector<uint8_t>& rgba);
