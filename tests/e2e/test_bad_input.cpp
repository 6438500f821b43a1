// Malformed and hostile input through the real program (models, textures, cone and glTF files, options,
// output folders, signals): each row ends with its messages in order and a defined exit status, without a
// sanitizer report; refused runs write nothing, and no run leaves a half-written file.
#include "app/output_folder.h"
#include "e2e_support.h"
#include "support/gltf_files.h"

#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include <csignal>

#include <sys/stat.h>
#include <zlib.h>

using namespace e2e;

namespace {

struct Case {
    std::string name;
    // Written into the run's folder first; "<folder>" and "<fifo>" make those.
    std::vector<std::pair<std::string, std::string>> files;
    std::vector<std::string> args;
    int status;
    std::vector<std::string> messages; // on standard error, then output; "{dir}" stands for the run's folder
    std::vector<std::string> written;  // result files ("!name": not written); none at all when empty
    std::string lock = "";             // a folder this process holds locked
    std::vector<std::string> env = {};
    std::string signalWhen = ""; // the signal goes once standard output holds this
    int signal = 0;
};

const char* const kNotLoaded = "Batch run stopped: the input was not loaded.";

Case obj(const std::string& name, const std::string& content, const std::string& message)
{
    return {name, {{"model.obj", content}}, {"model.obj", "--batchmode"}, 2, {message, kNotLoaded}, {}};
}

std::string modelText(const std::string& name, const meshgen::MeshData& mesh)
{
    return testsupport::readTextFile(generatedModel(name, mesh));
}

// A PNG file of one black pixel, written by Qt, and the same with a header of 100000 x 100000.
std::pair<std::string, std::string> pngFiles()
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImage image(1, 1, QImage::Format_RGB32);
    image.fill(Qt::black);
    image.save(&buffer, "PNG");
    std::string png = bytes.toStdString(), huge = png;
    for (int k = 0; k < 4; ++k)
        huge[size_t(16 + k)] = huge[size_t(20 + k)] = char(100000u >> (24 - 8 * k));
    const uLong crc = crc32(0, reinterpret_cast<const Bytef*>(huge.data() + 12), 17);
    for (int k = 0; k < 4; ++k)
        huge[size_t(29 + k)] = char(crc >> (24 - 8 * k));
    return {png, huge};
}

std::vector<Case> cases()
{
    const std::string tri = "v 0 0 0\nv 1 0 0\nv 0 1 0\n", uvs = "vt 0 0\nvt 1 0\nvt 0 1\n";
    std::string garbage;
    for (int i = 0; i < 4096; ++i)
        garbage.push_back(char((i * 7919 + 13) % 256));
    const std::string cube = modelText("cube1", meshgen::cubeNet(1));
    const std::string cube2 = modelText("cube2", meshgen::cubeNet(2));
    const std::string cylinder = modelText("cylinder", meshgen::openCylinder(8, 2));
    meshgen::MeshData flat = meshgen::flatGrid(3, 3, meshgen::Outline::Rectangle);
    meshgen::dropUVs(flat);
    const auto [png, hugePng] = pngFiles();
    testsupport::GltfMesh g;
    g.positions = {0, 0, 0, 1, 0, 0, 1, 1, 0, 0, 1, 0};
    g.texcoords = {0, 1, 1, 1, 1, 0, 0, 0};
    g.indices = {0, 1, 2, 0, 2, 3};
    const std::string gltf = testsupport::gltfText(g), glb = testsupport::glbBytes(g);
    const std::string noWindow = TARNWICK_PROGRAM_HAS_GUI ? "No display available; run with --batchmode."
                                                          : "Interactive mode is not available in this build; use --batchmode.";
    const std::vector<std::string> noDisplay = {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="};
    const std::string badTexture = "Cannot read the texture t.png: ";
    auto texture = [&](const std::string& name, const std::string& content, const std::string& message) {
        Case c{name, {{"model.obj", cube}}, {"model.obj", "--batchmode", "--texture", "t.png"}, 2, {badTexture + message}, {}};
        if (content != "<missing>")
            c.files.push_back({"t.png", content});
        return c;
    };
    auto option = [&](const std::string& name, std::vector<std::string> extra, const std::string& message) {
        Case c{name, {{"model.obj", cube}, {"plain_file", "x\n"}}, {"model.obj", "--batchmode"}, 2, {message}, {}};
        c.args.insert(c.args.end(), extra.begin(), extra.end());
        return c;
    };
    return {
        obj("garbage", garbage, "Input must have at least one triangle."),
        obj("huge_index", tri + "f 1 2 99999999999\n", "The file holds faces that refer to vertices that do not exist."),
        obj("two_parts", "o a\n" + tri + "f 1 2 3\no b\nf 1 3 2\n", "Input must be a single chart."),
        obj("untextured_closed", tri + "v 0 0 1\nf 1 3 2\nf 1 2 4\nf 2 3 4\nf 3 1 4\n",
            "Input without texture coordinates must have a boundary."),
        // What is not a regular file is refused without reading from it.
        {"no_such_file", {}, {"none/model.obj", "--batchmode"}, 2,
         {"Cannot open none/model.obj: No such file or directory.\nFailed to load/parse .obj.\n", kNotLoaded}, {}},
        {"folder", {{"m.obj", "<folder>"}}, {"m.obj", "--batchmode"}, 2,
         {"Cannot open m.obj: it is a directory, not a regular file.\nFailed to load/parse .obj.\n"}, {}},
        {"fifo", {{"m.obj", "<fifo>"}}, {"m.obj", "--batchmode"}, 2,
         {"Cannot open m.obj: it is a pipe (FIFO), not a regular file.\nFailed to load/parse .obj.\n"}, {}},
        {"device", {}, {"/dev/zero", "--batchmode"}, 2,
         {"Cannot open /dev/zero: it is a device, not a regular file.\nFailed to load/parse .obj.\n"}, {}},
        texture("texture_missing", "<missing>", "the file does not exist."),
        texture("texture_folder", "<folder>", "it is a folder, not a file."),
        texture("texture_empty", "", "the file is empty."),
        texture("texture_text", "just some words\n", "the file is not a PNG or JPEG image."),
        texture("texture_truncated", png.substr(0, 60), "the image cannot be decoded"),
        texture("texture_huge", hugePng, "the image is too large (100000 x 100000 pixels; at most 16384 x 16384)."),
        {"texture_untextured_model", {{"model.obj", modelText("flat", flat)}, {"t.png", png}},
         {"model.obj", "--batchmode", "--texture", "t.png"}, 2,
         {"Batch run stopped: the input has no texture coordinates to carry the texture"}, {}},
        {"truncated_glb", {{"m.glb", glb.substr(0, glb.size() - 9)}}, {"m.glb", "--batchmode"}, 2, {"Failed to load/parse glTF."}, {}},
        {"bad_cone_file", {{"m.gltf", gltf}, {"c.txt", "1\n9\n"}}, {"m.gltf", "--batchmode", "--cones", "c.txt"}, 2,
         {"Cone file c.txt, line 2: '9' is not a vertex number"}, {}},
        {"missing_cone_file", {{"m.gltf", gltf}}, {"m.gltf", "--batchmode", "--cones", "none.txt"}, 2,
         {"Cannot read the cone file none.txt."}, {}},
        // glTF input writes a glb beside every OBJ by default.
        {"gltf_with_cones", {{"m.gltf", gltf}, {"c.txt", "# a corner\n1\n"}}, {"m.gltf", "--batchmode", "--cones", "c.txt"},
         0, {"Model with singularities"}, {"input.glb", "bl_200.glb", "export.glb", "export.obj"}},
        {"unknown_options_and_bad_format", {{"model.obj", cube}},
         {"model.obj", "--batchmode", "--bogus", "extra", "--format", "fbx"}, 2,
         {"Ignoring unknown option --bogus.\nIgnoring extra argument extra.\n",
          "Invalid value 'fbx' for --format: expected obj or glb."}, {}},
        // One row per kind of refused option value.
        option("value_missing", {"--threads"}, "Option --threads needs a value (N)."),
        option("output_without_name", {"--output", ""}, "Invalid value '' for --output: the folder name is empty."),
        option("cones_without_name", {"--cones", ""}, "Invalid value '' for --cones: the file name is empty."),
        option("texture_without_name", {"--texture", ""}, "Invalid value '' for --texture: the file name is empty."),
        option("texel_scale_too_large", {"--texel-scale", "65"},
               "Invalid value '65' for --texel-scale: expected a number above 0 and at most 64."),
        option("padding_not_a_number", {"--padding", "abc"}, "Invalid value 'abc' for --padding: expected a number."),
        option("padding_negative", {"--padding", "-1"}, "Invalid value '-1' for --padding: expected a value from 0 to 1e+06."),
        option("resolution_not_whole", {"--resolution", "51.2"},
               "Invalid value '51.2' for --resolution: expected a whole number."),
        option("padding_above_a_quarter", {"--padding", "200", "--resolution", "512"},
               "Invalid padding 200 for resolution 512: the padding may be at most a quarter of the resolution."),
        option("threads_out_of_range", {"--threads", "2x"}, "Invalid value '2x' for --threads: expected a whole number from 1 to 64."),
        option("output_is_a_file", {"--output", "plain_file"}, "Cannot create the output folder plain_file: "),
        option("output_below_a_file", {"--output", "plain_file/sub"}, "Cannot create the output folder plain_file/sub: "),
        {"output_locked", {{"model.obj", cube}, {"out", "<folder>"}}, {"model.obj", "--batchmode", "--output", "out"}, 2,
         {"The output folder out is in use by another run."}, {}, "out"},
        {"working_folder_locked", {{"model.obj", cube}}, {"model.obj", "--batchmode"}, 2,
         {"The output folder {dir} is in use by another run."}, {}, "."},
        // Hostile but usable: the run goes through and says what it did.
        {"usage", {}, {}, 0, {"Usage:\n" TARNWICK_PROGRAM " <model-file-obj> [--batchmode] [--square]\n"}, {}},
        {"help", {}, {"--help"}, 0, {"\nOptions (before or after the model file):\n  --batchmode  "}, {}},
        {"window_without_display", {{"model.obj", cube}}, {"model.obj"}, 1, {noWindow}, {}, "", noDisplay},
        // Only options: the first names the model, and no --batchmode is left.
        {"only_options", {}, {"--batchmode", "--square"}, 1, {noWindow}, {}, "", noDisplay},
        {"truncated_inside_the_faces", {{"model.obj", cube2.substr(0, cube2.find("\nf ") + (cube2.size() - cube2.find("\nf ")) / 2 + 3)}},
         {"model.obj", "--batchmode"}, 0, {"Successfully loaded."}, {"bl_200.json"}},
        {"non_manifold_textured", {{"model.obj", tri + "v 0 -1 0\nv 0 0 1\n" + uvs + "vt 0 -1\nvt 0.5 0.5\n"
                                                 "f 1/1 2/2 3/3\nf 2/2 1/1 4/4\nf 1/1 2/2 5/5\n"}},
         {"model.obj", "--batchmode"}, 0,
         {"Cannot construct joined 3D halfedges - is the input OK?", "Cannot construct halfedges - is the input OK?"},
         {"error.obj", "bl_200.json"}},
        // Folders where result files should go: status 3, the folders left
        // alone, no snapshot of that mesh, and the sequence completes the rest.
        {"unwritable_result", {{"model.obj", cylinder}, {"input.obj", "<folder>"}, {"welded.glb", "<folder>"}},
         {"model.obj", "--batchmode", "--format", "glb"}, 3,
         {"Unable to write file input.obj completely.", "Unable to write file welded.glb completely."},
         {"bl_200.json", "export.glb", "!input3D.png"}},
        {"unwritable_texture", {{"model.obj", cube}, {"t.png", png}, {"input_texture.png", "<folder>"}, {"welded.glb", "<folder>"}},
         {"model.obj", "--batchmode", "--texture", "t.png", "--format", "glb"}, 3,
         {"Unable to write file input_texture.png: ", "Unable to write file welded.glb completely.",
          "Texture export_texture.png: input 1 x 1 (1 pixels)"},
         {"input.glb", "export_texture.png", "!input3D.png"}},
        // Without OpenGL the run writes everything but the snapshots.
        {"no_opengl", {{"model.obj", cube}}, {"model.obj", "--batchmode"}, 0,
         {"OpenGL is not available (no EGL display without a window system): the 3D view stays empty and no 3D "
          "snapshots are written.",
          "Skipping snapshot export3D.png: OpenGL is not available."},
         {"bl_200.json", "export.obj", "!input3D.png", "!export3D.png"}, "", {"__EGL_VENDOR_LIBRARY_FILENAMES=/none.json"}},
    };
}

// Writes the case's files, runs it and checks its console, status and folder.
void expectCase(const Case& c)
{
    SCOPED_TRACE(c.name);
    testsupport::TempDir dir("tarnwick_bad");
    std::set<std::string> inputs;
    for (const auto& f : c.files) {
        inputs.insert(f.first);
        if (f.second == "<folder>")
            ASSERT_EQ(mkdir(dir.file(f.first).c_str(), 0755), 0);
        else if (f.second == "<fifo>")
            ASSERT_EQ(mkfifo(dir.file(f.first).c_str(), 0600), 0);
        else
            testsupport::writeTextFile(dir.file(f.first), f.second);
    }
    FolderLock lock;
    bool busy = false;
    std::string why;
    if (!c.lock.empty()) {
        ASSERT_TRUE(lock.acquire(c.lock == "." ? dir.path() : dir.file(c.lock), busy, why)) << why;
    }
    const testsupport::ProcessResult r = testsupport::runProcess(TARNWICK_PROGRAM, c.args, dir.path(), c.env, 600,
                                                                 c.signalWhen, c.signal);
    const std::string console = r.err + r.out;
    EXPECT_FALSE(r.timedOut);
    EXPECT_EQ(r.exitStatus, c.status) << r.out << r.err;
    size_t at = 0;
    for (std::string m : c.messages) {
        if (m.find("{dir}") != std::string::npos)
            m.replace(m.find("{dir}"), 5, dir.path());
        at = console.find(m, at);
        ASSERT_NE(at, std::string::npos) << "missing: " << m << "\n" << console;
        ++at;
    }
    const std::set<std::string> names = filesIn(dir.path());
    if (c.written.empty()) {
        EXPECT_EQ(names, inputs);
    }
    for (const std::string& name : c.written)
        EXPECT_EQ(names.count(name[0] == '!' ? name.substr(1) : name), name[0] == '!' ? 0u : 1u) << name;
    for (const std::string& name : names)
        EXPECT_EQ(name.find(".partial-"), std::string::npos) << name;
    EXPECT_EQ(r.err.find("ERROR: AddressSanitizer"), std::string::npos) << r.err;
    EXPECT_EQ(r.err.find("runtime error"), std::string::npos) << r.err;
}

} // namespace

TEST(BadInput, EveryCaseEndsWithItsMessagesAndStatus)
{
    for (const Case& c : cases())
        expectCase(c);
}

// Complete files up to the stage that stopped, none after it.
TEST(Interrupted, SignalDuringRefinementStopsCleanly)
{
    const std::string cylinder = modelText("cylinder16", meshgen::openCylinder(16, 6));
    for (const auto& s : std::vector<std::pair<int, std::string>>{{SIGTERM, "SIGTERM"}, {SIGINT, "SIGINT"}}) {
        expectCase({s.second, {{"model.obj", cylinder}}, {"model.obj", "--batchmode"}, s.first == SIGTERM ? 143 : 130,
                    {"Interrupted by " + s.second + " during refinement; the result files written before are complete.\n"},
                    {"welded.json", "!bl_200.json", "!export.obj"}, "", {}, " *** ITERATION 0 ***", s.first});
    }
}
