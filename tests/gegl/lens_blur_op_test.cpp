// aperlume:lens-blur through libgegl, as GIMP and the gegl command run it: graphs load -> the operation ->
// a buffer, over a matrix of settings and images (methods, apertures, gray and colour, 8 and 16 bits,
// alpha, depth maps), each against the tool's render of the same file. The operation's pixel exchange
// is the tool's to the bit, so the bound (one level of 8 bits) is met with room; Monte Carlo must match
// exactly, on the first render in a process and on the next. Inputs it cannot render are passed through
// with a warning.
#include <gegl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

// Under the leak checker: GEGL and the libraries its own operations load keep memory they never free
// (start-up tables, caches, static objects). Those are let be, by library; a leak of this module's would
// come through its own frames and libgegl's, neither of which is named here. The system's libraries
// keep no frame pointers: only the full unwinder gives stacks a suppression can match.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() {
    return "leak:_dl_init\n"
           "leak:/usr/lib/x86_64-linux-gnu/gegl-0.4/\n"
           "leak:libbabl-0.1.so\nleak:libglib-2.0.so\nleak:libgomp.so\nleak:libfontconfig.so\n"
           "leak:libfreetype.so\nleak:libharfbuzz.so\nleak:libgraphite2.so\nleak:libX11.so\n";
}

namespace aperlume {
namespace {

namespace fs = std::filesystem;

constexpr GeglRectangle kPiece{0, 0, 160, 120};  // a piece of the sample full of lights
const std::string kCrop = " gegl:crop x=300 y=200 width=160 height=120 gegl:translate x=-300 y=-200";
// Depth maps: a gray ramp across, and colours whose luma changes both ways.
constexpr const char* kRamp = "gegl:linear-gradient start-x=0 start-y=0 end-x=159 end-y=0 gegl:crop width=160 height=120";
constexpr const char* kColourRamp =
    "gegl:linear-gradient start-x=0 start-y=0 end-x=159 end-y=119 start-color=rgb(0.9,0.1,0.2) "
    "end-color=rgb(0.1,0.7,0.9) gegl:crop width=160 height=120";

struct Image {
    const char* format;  // the file's channels, as a GEGL format in 16 bits
    int bits;
    const char* extra = "";  // ops after the sample's piece: an alpha from a gradient
};

struct Case {
    const char* name;
    Image image;
    std::vector<std::string> settings;  // as the gegl command takes them: name=value
    const char* depthMap = nullptr;     // a chain drawing it, and its format
    const char* depthFormat = nullptr;
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.name; }

// GEGL once per process: it cannot be started again after gegl_exit.
class GeglEnvironment : public ::testing::Environment {
public:
    void SetUp() override {
        // Only this build's module beside the system's operations, whatever the user installed.
        g_setenv("GEGL_PATH", APERLUME_GEGL_PATH, TRUE);
        gegl_init(nullptr, nullptr);
    }
    void TearDown() override { gegl_exit(); }
};
::testing::Environment* const geglEnvironment = ::testing::AddGlobalTestEnvironment(new GeglEnvironment);

class GeglSession : public ::testing::Test {
protected:
    void SetUp() override {
        folder_ = fs::temp_directory_path() / ("aperlume-gegl-" + std::to_string(::getpid()));
        fs::create_directories(folder_);
        handler_ = g_log_set_handler("aperlume", G_LOG_LEVEL_WARNING, &Collect, &warnings_);
    }
    void TearDown() override {
        g_log_remove_handler("aperlume", handler_);
        fs::remove_all(folder_);
    }
    static void Collect(const gchar*, GLogLevelFlags, const gchar* message, gpointer warnings) {
        static_cast<std::vector<std::string>*>(warnings)->push_back(message);
    }

    // Runs the tool; its exit status must be 0.
    static void RunTool(std::vector<std::string> arguments) {
        std::vector<char*> argv{const_cast<char*>(APERLUME_TOOL_PATH)};
        for (std::string& a : arguments) argv.push_back(a.data());
        argv.push_back(nullptr);
        gchar* err = nullptr;
        gint status = -1;
        ASSERT_TRUE(g_spawn_sync(nullptr, argv.data(), nullptr, G_SPAWN_STDOUT_TO_DEV_NULL, nullptr, nullptr, nullptr,
                                 &err, &status, nullptr));
        EXPECT_TRUE(g_spawn_check_wait_status(status, nullptr)) << err;
        g_free(err);
    }

    // The output of the chain `ops` (the gegl command's syntax) in `format`, and its extent.
    static std::vector<std::uint16_t> Render(const std::string& ops, const char* format, GeglRectangle* extent = nullptr) {
        GeglNode* graph = gegl_node_new();
        GeglNode* start = gegl_node_new_child(graph, "operation", "gegl:nop", nullptr);
        GeglNode* end = gegl_node_new_child(graph, "operation", "gegl:nop", nullptr);
        GError* error = nullptr;
        gegl_create_chain(ops.c_str(), start, end, 0.0, 0, nullptr, &error);
        EXPECT_EQ(error, nullptr) << error->message;
        const GeglRectangle box = gegl_node_get_bounding_box(end);
        std::vector<std::uint16_t> samples(static_cast<std::size_t>(box.width) * box.height *
                                           babl_format_get_n_components(babl_format(format)));
        gegl_node_blit(end, 1.0, &box, babl_format(format), samples.data(), GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
        g_object_unref(graph);
        if (extent != nullptr) *extent = box;
        return samples;
    }

    // The chain's output, of kPiece's size, as a PNG file of `format`'s channels and `bits` bits.
    fs::path Save(const std::string& ops, const char* format, int bits, const char* name) {
        const fs::path file = folder_ / name;
        const std::vector<std::uint16_t> samples = Render(ops, format);
        GeglBuffer* buffer = gegl_buffer_new(&kPiece, babl_format(format));
        gegl_buffer_set(buffer, &kPiece, 0, babl_format(format), samples.data(), GEGL_AUTO_ROWSTRIDE);
        GeglNode* graph = gegl_node_new();
        GeglNode* source = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", buffer, nullptr);
        GeglNode* save =
            gegl_node_new_child(graph, "operation", "gegl:png-save", "path", file.c_str(), "bitdepth", bits, nullptr);
        gegl_node_link(source, save);
        gegl_node_process(save);
        g_object_unref(graph);
        g_object_unref(buffer);
        return file;
    }

    // A piece of the built-in sample, written by the tool, as `image`.
    fs::path WriteInput(const Image& image) {
        const fs::path sample = folder_ / "sample.png";
        RunTool({"--amount", "0", "--sample", (folder_ / "unused.png").string(), "--write-sample", sample.string()});
        return Save("gegl:load path=" + sample.string() + kCrop + image.extra, image.format, image.bits, "input.png");
    }

    fs::path folder_;
    std::vector<std::string> warnings_;
    guint handler_ = 0;
};

class AgainstTheTool : public GeglSession, public ::testing::WithParamInterface<Case> {};

TEST_P(AgainstTheTool, GivesTheToolsPicture) {
    const Case& c = GetParam();
    const fs::path input = WriteInput(c.image), toolOutput = folder_ / "tool.png";
    std::vector<std::string> toolArguments;
    std::string ops = "gegl:load path=" + input.string() + " aperlume:lens-blur";
    for (const std::string& setting : c.settings) {
        ops += " " + setting;
        const std::size_t eq = setting.find('=');
        const std::string value = setting.substr(eq + 1);
        toolArguments.push_back("--" + setting.substr(0, eq) + "=" + (value == "true" ? "1" : value));
    }
    if (c.depthMap != nullptr) {
        const fs::path depth = Save(c.depthMap, c.depthFormat, 8, "depth.png");
        ops += " depth-map=true aux=[ gegl:load path=" + depth.string() + " ]";
        toolArguments.insert(toolArguments.end(), {"--selection", depth.string(), "--depth-map"});
    }
    toolArguments.insert(toolArguments.end(), {input.string(), toolOutput.string()});
    RunTool(toolArguments);

    const std::vector<std::uint16_t> expected = Render("gegl:load path=" + toolOutput.string(), c.image.format);
    const bool monteCarlo = ops.find("method=mc") != std::string::npos;
    // Monte Carlo twice: a second render in the same process (a preview's redraw) starts the noise afresh.
    for (int round = 0; round < (monteCarlo ? 2 : 1); ++round) {
        GeglRectangle extent{};
        const std::vector<std::uint16_t> rendered = Render(ops, c.image.format, &extent);
        EXPECT_TRUE(gegl_rectangle_equal(&extent, &kPiece));
        ASSERT_EQ(rendered.size(), expected.size());
        int largest = 0;
        for (std::size_t i = 0; i < rendered.size(); ++i) largest = std::max(largest, std::abs(rendered[i] - expected[i]));
        const int level = c.image.bits == 8 ? 257 : 1;  // in 16-bit units
        EXPECT_LE(largest, monteCarlo ? 0 : level) << ops << " (round " << round << ")";
    }
    EXPECT_TRUE(warnings_.empty()) << warnings_.front();
}

// Alpha from a ramp: transparent at the left, opaque at the right.
constexpr const char* kAlpha =
    " gegl:opacity aux=[ gegl:linear-gradient start-x=20 start-y=0 end-x=140 end-y=0 gegl:crop width=160 height=120 ]";
const Image kRgb8{"R'G'B' u16", 8}, kRgba8{"R'G'B'A u16", 8, kAlpha}, kRgb16{"R'G'B' u16", 16},
    kRgba16{"R'G'B'A u16", 16, kAlpha}, kGray8{"Y' u16", 8}, kGrayA8{"Y'A u16", 8, kAlpha}, kGray16{"Y' u16", 16};

INSTANTIATE_TEST_SUITE_P(
    Matrix, AgainstTheTool,
    ::testing::Values(
        Case{"HexagonNormal", kRgb8, {"amount=8", "vertices=6", "rotation=15", "brightness=40"}},
        Case{"HexagonMonteCarlo", kRgb8, {"amount=6", "vertices=6", "brightness=30", "method=mc"}},
        Case{"RingFft", kRgb8, {"amount=10", "edge=70", "ratio=100", "brightness=45", "method=fft"}},
        Case{"SoftDiscBrightCentre", kRgb8, {"amount=6", "soft=true", "edge=60", "ratio=-50"}},
        Case{"StreakLogarithmic", kRgb8, {"amount=7", "vertices=2", "rotation=30", "correction=log", "brightness=20"}},
        Case{"TriangleWithAlpha", kRgba8, {"amount=5", "vertices=3", "brightness=35"}},
        Case{"MonteCarloWithAlpha", kRgba8, {"amount=5", "vertices=5", "method=mc"}},
        Case{"SoftOctagonFftSixteenBitAlpha", kRgba16, {"amount=9", "vertices=8", "soft=true", "method=fft"}},
        Case{"PentagonSixteenBit", kRgb16, {"amount=7", "vertices=5", "rotation=100", "brightness=50"}},
        Case{"GrayDisc", kGray8, {"amount=6", "brightness=30"}},
        Case{"GrayAlphaFft", kGrayA8, {"amount=6", "vertices=4", "method=fft"}},
        Case{"GraySixteenBitMonteCarlo", kGray16, {"amount=5", "vertices=7", "method=mc"}},
        Case{"GrayDepthMap", kRgb8, {"amount=8", "vertices=6", "focus=128"}, kRamp, "Y' u16"},
        Case{"ColourDepthMapSixteenBitAlpha", kRgba16, {"amount=6", "focus=40"}, kColourRamp, "R'G'B' u16"},
        Case{"AmountZeroLeavesTheImage", kRgb8, {"amount=0"}}),
    [](const ::testing::TestParamInfo<Case>& param) { return std::string(param.param.name); });

// Depth map on but nothing usable on aux, or nothing to render: a warning that says why, and the input.
TEST_F(GeglSession, InputsItCannotRenderArePassedThroughWithAWarning) {
    const std::string load = "gegl:load path=" + WriteInput(kRgb8).string();
    const std::vector<std::uint16_t> original = Render(load, "R'G'B' u16");
    const struct {
        std::string ops;
        const char* why;
    } refused[] = {
        {load + " aperlume:lens-blur amount=8 depth-map=true", "no depth map is connected"},
        {load + " aperlume:lens-blur amount=8 depth-map=true aux=[ " + load + " gegl:crop width=100 height=50 ]",
         "the depth map on the aux input is 100x50 but the image is 160x120"},
    };
    for (const auto& r : refused) {
        warnings_.clear();
        EXPECT_EQ(Render(r.ops, "R'G'B' u16"), original) << r.ops;
        ASSERT_EQ(warnings_.size(), 1u) << r.ops;
        EXPECT_NE(warnings_[0].find(r.why), std::string::npos) << warnings_[0];
    }
    // The depth map is read only by the normal method: with another, none is needed.
    warnings_.clear();
    EXPECT_NE(Render(load + " aperlume:lens-blur amount=8 depth-map=true method=fft", "R'G'B' u16"), original);
    EXPECT_TRUE(warnings_.empty());

    const GeglRectangle nothing{3, 3, 0, 0};
    GeglBuffer* empty = gegl_buffer_new(&nothing, babl_format("R'G'B'A u8"));
    GeglNode* graph = gegl_node_new();
    GeglNode* source = gegl_node_new_child(graph, "operation", "gegl:buffer-source", "buffer", empty, nullptr);
    GeglNode* blur = gegl_node_new_child(graph, "operation", "aperlume:lens-blur", nullptr);
    gegl_node_link(source, blur);
    const GeglRectangle extent = gegl_node_get_bounding_box(blur);
    EXPECT_TRUE(gegl_rectangle_is_empty(&extent));
    ASSERT_FALSE(warnings_.empty());
    EXPECT_NE(warnings_[0].find("the input is empty"), std::string::npos) << warnings_[0];
    g_object_unref(graph);
    g_object_unref(empty);
}

// GIMP starts its progress display at 0 and ends it at 1: a render must report both, and nothing
// outside them, or the display never goes.
TEST_F(GeglSession, ProgressRunsFromZeroToOne) {
    const fs::path input = WriteInput(kRgb8);
    GeglNode* graph = gegl_node_new();
    GeglNode* load = gegl_node_new_child(graph, "operation", "gegl:load", "path", input.c_str(), nullptr);
    GeglNode* blur = gegl_node_new_child(graph, "operation", "aperlume:lens-blur", "amount", 8, nullptr);
    gegl_node_link(load, blur);
    std::vector<double> reports;
    g_signal_connect(blur, "progress", G_CALLBACK(+[](GeglNode*, gdouble value, gpointer out) {
                         static_cast<std::vector<double>*>(out)->push_back(value);
                     }), &reports);
    std::vector<std::uint8_t> pixels(static_cast<std::size_t>(kPiece.width) * kPiece.height * 3);
    gegl_node_blit(blur, 1.0, &kPiece, babl_format("R'G'B' u8"), pixels.data(), GEGL_AUTO_ROWSTRIDE, GEGL_BLIT_DEFAULT);
    g_object_unref(graph);
    ASSERT_GE(reports.size(), 2u);
    EXPECT_EQ(reports.front(), 0.0);
    EXPECT_EQ(reports.back(), 1.0);
    for (std::size_t i = 1; i + 1 < reports.size(); ++i) EXPECT_TRUE(reports[i] > 0.0 && reports[i] < 1.0) << reports[i];
}

}  // namespace
}  // namespace aperlume
