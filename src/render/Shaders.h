#pragma once

// Sources of the 3D view's three shader programs, written with
// attribute/varying and gl_FragColor so that they run on old desktop
// contexts, compatibility profiles and OpenGL ES 2.
namespace shaders {

// Mesh: attributes "position", "normal", "texcoord", "color"; uniforms
// "projMatrix", "mvMatrix", "normalMatrix", "shadeFactor". Chart colour with
// a UV checkerboard of 100 fields per unit, three directional lights, the
// unlit dark grey mixed in by (1 - shadeFactor), then gamma 1/2.2.
extern const char* const meshVertex;
extern const char* const meshFragment;

// Cone markers: attribute "position"; uniforms "projMatrix", "mvMatrix",
// "alpha". Red (0.8, 0, 0) with gamma 1/2.2.
extern const char* const markerVertex;
extern const char* const markerFragment;

// Edge tubes: attribute "position"; uniforms "projMatrix", "mvMatrix",
// "alpha". Grey 60/255 without gamma.
extern const char* const tubeVertex;
extern const char* const tubeFragment;

} // namespace shaders
