#include "render/Shaders.h"

namespace shaders {

// Fragment programs ask for high precision where the language has precision
// qualifiers: the checkerboard's floor(100 * u) needs more than mediump.
#define TARNWICK_FRAGMENT_PRECISION \
    "#ifdef GL_ES\n"                \
    "#ifdef GL_FRAGMENT_PRECISION_HIGH\n" \
    "precision highp float;\n"      \
    "#else\n"                       \
    "precision mediump float;\n"    \
    "#endif\n"                      \
    "#endif\n"

const char* const meshVertex =
    "attribute vec3 position;\n"
    "attribute vec3 normal;\n"
    "attribute vec2 texcoord;\n"
    "attribute vec4 color;\n"
    "uniform mat4 projMatrix;\n"
    "uniform mat4 mvMatrix;\n"
    "uniform mat3 normalMatrix;\n"
    "varying vec3 viewPosition;\n"
    "varying vec3 viewNormal;\n"
    "varying vec2 uv;\n"
    "varying vec4 chartColor;\n"
    "void main() {\n"
    "    vec4 p = mvMatrix * vec4(position, 1.0);\n"
    "    viewPosition = p.xyz;\n"
    "    viewNormal = normalMatrix * normal;\n"
    "    uv = texcoord;\n"
    "    chartColor = color;\n"
    "    gl_Position = projMatrix * p;\n"
    "}\n";

const char* const meshFragment =
    TARNWICK_FRAGMENT_PRECISION
    "uniform float shadeFactor;\n"
    "uniform float textureMix;\n"
    "uniform sampler2D surfaceTexture;\n"
    "uniform vec4 uvTransform;\n"
    "uniform float twoSided;\n"
    "varying vec3 viewPosition;\n"
    "varying vec3 viewNormal;\n"
    "varying vec2 uv;\n"
    "varying vec4 chartColor;\n"
    "float inside = 0.0;\n"
    "vec3 light(vec3 n, vec3 l, float weight, vec3 base) {\n"
    "    float d = inside > 0.5 ? abs(dot(n, l)) : max(dot(n, l), 0.0);\n"
    "    return clamp(weight * 0.9 * base * d, 0.0, 1.0);\n"
    "}\n"
    "void main() {\n"
    "    float k = mod(floor(100.0 * uv.x) + floor(100.0 * uv.y), 2.0) < 1.0 ? 0.8 : 0.2;\n"
    "    vec3 c = chartColor.rgb;\n"
    "    vec3 base = 0.7 * (c * k) + 0.3 * c;\n"
    "    if (textureMix > 0.5)\n"
    "        base = pow(texture2D(surfaceTexture, uv * uvTransform.xy + uvTransform.zw).rgb, vec3(2.2));\n"
    "    vec3 n = normalize(viewNormal);\n"
    "    vec3 v = normalize(-viewPosition);\n"
    "    if (dot(v, n) < 0.0) {\n"
    "        n = -n;\n"
    "        inside = twoSided;\n"
    "    }\n"
    "    vec3 lit = light(n, vec3(0.0, 0.0, 1.0), 0.8, base)\n"
    "             + light(n, vec3(1.0, 0.0, 0.0), 0.4, base)\n"
    "             + light(n, vec3(0.0, 1.0, 0.0), 0.2, base);\n"
    "    lit += inside * 0.15 * base;\n"
    "    vec4 colour = vec4(clamp(lit, 0.0, 1.0), 1.0);\n"
    "    vec4 result = vec4(base, 1.0) * (1.0 - shadeFactor) + colour * shadeFactor;\n"
    "    gl_FragColor = vec4(pow(result.rgb, vec3(1.0 / 2.2)), result.a);\n"
    "}\n";

const char* const markerVertex =
    "attribute vec3 position;\n"
    "uniform mat4 projMatrix;\n"
    "uniform mat4 mvMatrix;\n"
    "void main() {\n"
    "    gl_Position = projMatrix * (mvMatrix * vec4(position, 1.0));\n"
    "}\n";

const char* const markerFragment =
    TARNWICK_FRAGMENT_PRECISION
    "uniform float alpha;\n"
    "void main() {\n"
    "    vec4 colour = vec4(0.8, 0.0, 0.0, alpha);\n"
    "    gl_FragColor = vec4(pow(colour.rgb, vec3(1.0 / 2.2)), colour.a);\n"
    "}\n";

const char* const tubeVertex = markerVertex;

const char* const tubeFragment =
    TARNWICK_FRAGMENT_PRECISION
    "uniform float alpha;\n"
    "void main() {\n"
    "    gl_FragColor = vec4(60.0 / 255.0, 60.0 / 255.0, 60.0 / 255.0, alpha);\n"
    "}\n";

#undef TARNWICK_FRAGMENT_PRECISION

} // namespace shaders
