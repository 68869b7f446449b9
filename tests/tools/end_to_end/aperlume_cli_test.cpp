// The aperlume executable end to end, on small images in a fresh folder: it loads the built plug-in
// module, every setting reaches the plug-in (and comes back in the descriptor recorded at finish),
// every file format keeps its format, and every kind of bad input is refused with a message, a
// non-zero exit and no file written or overwritten.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "base/product_version.h"
#include "tests/imagefile/image_test_support.h"
#include "tests/imagefile/png_bytes.h"
#include "tests/imagefile/tiff_bytes.h"
#include "tests/tools/end_to_end/tool_run.h"
#include "tools/aperlume/tool_options.h"
#include "tools/imagefile/image_file.h"

namespace aperlume::tool {
namespace {

namespace fs = std::filesystem;

using testing::ReadText;
using testing::ToolRun;

// A dark image with a few bright points of different colours, where every aperture shows.
ToolImage Lights(std::int32_t width, std::int32_t height, std::int32_t channels, std::int32_t bitDepth) {
    ToolImage image = EmptyToolImage(width, height, channels, bitDepth);
    const std::uint32_t full = bitDepth == 16 ? 32768 : 255;
    const std::size_t count = static_cast<std::size_t>(width * height * channels);
    image.samples.resize(count * static_cast<std::size_t>(bitDepth / 8));
    for (std::size_t i = 0; i < count; ++i) testing::SetSampleAt(image, i, full / 20);
    const int points[][2] = {{12, 12}, {12, 35}, {35, 20}, {30, 40}};
    for (int i = 0; i < 4; ++i) {
        const std::size_t at = static_cast<std::size_t>((points[i][0] * width + points[i][1]) * channels);
        for (int c = 0; c < channels; ++c)
            testing::SetSampleAt(image, at + static_cast<std::size_t>(c), c == i % 3 || c == 3 ? full : full / 2);
    }
    if (channels == 2 || channels == 4)  // alpha: opaque, with a transparent corner
        for (std::size_t p = 0; p < 36; ++p)
            testing::SetSampleAt(image, p * static_cast<std::size_t>(channels) + static_cast<std::size_t>(channels - 1), 0);
    return image;
}

ToolImage Gray(std::int32_t width, std::int32_t height, std::uint8_t value) {
    ToolImage image = EmptyToolImage(width, height, 1, 8);
    image.samples.assign(static_cast<std::size_t>(width * height), value);
    return image;
}

ToolStatus Save(const std::string& path, const ToolImage& image, const ImageMetadata& metadata = {}) {
    return WriteImage(path, image, metadata, {});
}

class AperlumeCli : public testing::TemporaryFolderTest {
protected:
    void SetUp() override {
        TemporaryFolderTest::SetUp();
        ASSERT_TRUE(Save(Path("in.png"), Lights(48, 48, 3, 8)).ok());
    }

    ToolRun Run(const std::vector<std::string>& arguments, const std::string& environment = "") {
        return testing::RunProgram(environment, APERLUME_TOOL_PATH, arguments, folder_);
    }

    ToolImage Load(const std::string& name, ImageMetadata* metadata = nullptr,
                   SampleRange range = SampleRange::Host) {
        ToolImage image;
        ToolStatus status = ReadImage(Path(name), image, metadata, {0, range});
        EXPECT_TRUE(status.ok()) << status.message;
        return image;
    }

    // Renders in.png with the arguments into a fresh output and returns it; the run must succeed.
    ToolImage Render(std::vector<std::string> arguments) {
        const std::string output = "render-" + std::to_string(renders_++) + ".png";
        arguments.push_back(Path("in.png"));
        arguments.push_back(Path(output));
        ToolRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        return Load(output);
    }

    // The settings line of --verbose for a run with these arguments.
    std::string Recorded(std::vector<std::string> arguments) {
        arguments.insert(arguments.begin(), "--verbose");
        arguments.push_back(Path("in.png"));
        arguments.push_back(Path("recorded.png"));
        ToolRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        const std::string key = "settings recorded: ";
        const std::size_t at = run.out.find(key);
        if (at == std::string::npos) return "(nothing recorded) " + run.out;
        return run.out.substr(at + key.size(), run.out.find('\n', at) - at - key.size());
    }

    // Runs a command that must fail: non-zero exit, the message on standard error, and the output file
    // neither created nor, when it existed, changed.
    void ExpectRefused(const std::vector<std::string>& arguments, int exitCode, const std::string& message,
                       const std::string& output, const std::string& environment = "") {
        SCOPED_TRACE(message);
        const bool existed = fs::exists(Path(output));
        const std::string before = existed ? ReadText(Path(output)) : std::string();
        ToolRun run = Run(arguments, environment);
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
        EXPECT_EQ(run.err.rfind("aperlume: ", 0), 0u) << run.err;
        EXPECT_EQ(run.err.find(".aperlume-"), std::string::npos) << "a temporary name in " << run.err;
        EXPECT_EQ(fs::exists(Path(output)), existed);
        if (existed) {
            EXPECT_EQ(ReadText(Path(output)), before);
        }
        for (const auto& entry : fs::directory_iterator(folder_))  // no temporary file left behind
            EXPECT_EQ(entry.path().filename().string().find(".aperlume-"), std::string::npos) << entry.path();
    }

    int renders_ = 0;
};

TEST_F(AperlumeCli, HelpListsEveryOptionAndVersionNamesTheRelease) {
    ToolRun run = Run({"--help"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, UsageText());
    EXPECT_TRUE(run.err.empty());
    run = Run({"--version"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, VersionText());
    EXPECT_NE(run.out.find(std::string("aperlume ") + kVersionText), std::string::npos) << run.out;
    // Nothing at all on the command line: the usage and where to read on, as a wrong command line.
    run = Run({});
    EXPECT_EQ(run.exitCode, kExitUsage);
    EXPECT_TRUE(run.err == ShortUsageText() && run.err.find("--help") != std::string::npos && run.out.empty()) << run.err;
}

TEST_F(AperlumeCli, RendersTheBuiltInSampleAndSavesItUnblurred) {
    ToolRun run = Run({"--sample", Path("blurred.png"), "--write-sample", Path("sample.png"), "--vertices", "6"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ToolImage sample = Load("sample.png");
    const ToolImage blurred = Load("blurred.png");
    EXPECT_EQ(sample.width, 640);
    EXPECT_EQ(sample.height, 400);
    EXPECT_EQ(sample.channels, 3);
    EXPECT_EQ(blurred.width, 640);
    EXPECT_EQ(blurred.channels, 3);
    EXPECT_NE(blurred.samples, sample.samples);
    // Saving the sample alone needs no plug-in at all.
    run = Run({"--write-sample", Path("only.png"), "--plugin", Path("missing.so")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Load("only.png").samples, sample.samples);
}

TEST_F(AperlumeCli, EverySettingIsReplayedAndRecorded) {
    FilterParameters expected{17, 40, 6, 30, -60, 15, 1, 0, 0, 1, 1, 128};
    EXPECT_EQ(Recorded({"--amount", "17", "--brightness", "40", "--vertices", "6", "--edge", "30", "--ratio", "-60",
                        "--rotation", "15", "--soft", "--correction", "log", "--depth-map", "--focus", "128"}),
              DescribeSettings(expected));
    expected = ToolDefaultSettings();
    EXPECT_EQ(Recorded({}), DescribeSettings(expected));
    expected.method = 1;
    EXPECT_EQ(Recorded({"--method", "mc"}), DescribeSettings(expected));
    expected.method = 2;
    EXPECT_EQ(Recorded({"--method=fft"}), DescribeSettings(expected));
}

TEST_F(AperlumeCli, EveryApertureSettingChangesTheResult) {
    const ToolImage base = Render({"--vertices", "5"});
    EXPECT_NE(Render({"--vertices", "5", "--amount", "3"}).samples, base.samples);
    EXPECT_NE(Render({"--vertices", "5", "--brightness", "60"}).samples, base.samples);
    EXPECT_NE(Render({"--vertices", "1"}).samples, base.samples);
    EXPECT_NE(Render({"--vertices", "5", "--rotation", "20"}).samples, base.samples);
    EXPECT_NE(Render({"--vertices", "5", "--soft"}).samples, base.samples);
    EXPECT_NE(Render({"--vertices", "5", "--correction", "log"}).samples, base.samples);
    EXPECT_NE(Render({"--vertices", "5", "--method", "mc"}).samples, base.samples);
    // The inner shape's weight against the rim.
    EXPECT_NE(Render({"--vertices", "5", "--edge", "50", "--ratio", "100"}).samples,
              Render({"--vertices", "5", "--edge", "50", "--ratio", "-100"}).samples);
    // The FFT method blurs too.
    const ToolImage fft = Render({"--vertices", "5", "--method", "fft"});
    EXPECT_NE(fft.samples, Load("in.png").samples);
}

TEST_F(AperlumeCli, DepthMapAndFocusComeFromTheSelection) {
    ToolImage depth = Gray(48, 48, 0);
    for (std::int32_t y = 0; y < 48; ++y)
        for (std::int32_t x = 0; x < 48; ++x) depth.samples[static_cast<std::size_t>(y * 48 + x)] = static_cast<std::uint8_t>(x * 5);
    ASSERT_TRUE(Save(Path("depth.png"), depth).ok());
    const ToolImage plain = Render({"--selection", Path("depth.png")});
    const ToolImage mapped = Render({"--selection", Path("depth.png"), "--depth-map"});
    const ToolImage focused = Render({"--selection", Path("depth.png"), "--depth-map", "--focus", "200"});
    EXPECT_NE(mapped.samples, plain.samples);
    EXPECT_NE(focused.samples, mapped.samples);
}

TEST_F(AperlumeCli, SelectionLimitsTheFilter) {
    ToolImage left = Gray(48, 48, 0);
    for (std::int32_t y = 0; y < 48; ++y)
        for (std::int32_t x = 0; x < 24; ++x) left.samples[static_cast<std::size_t>(y * 48 + x)] = 255;
    ASSERT_TRUE(Save(Path("left.png"), left).ok());
    const ToolImage input = Load("in.png");
    const ToolImage output = Render({"--selection", Path("left.png"), "--amount", "8"});
    std::size_t changedLeft = 0;
    for (std::int32_t y = 0; y < 48; ++y)
        for (std::int32_t x = 0; x < 48; ++x)
            for (std::int32_t c = 0; c < 3; ++c) {
                const std::size_t at = static_cast<std::size_t>((y * 48 + x) * 3 + c);
                if (x >= 24)
                    ASSERT_EQ(output.samples[at], input.samples[at]) << "row " << y << " column " << x;
                else if (output.samples[at] != input.samples[at])
                    ++changedLeft;
            }
    EXPECT_GT(changedLeft, 100u);
}

TEST_F(AperlumeCli, EveryFormatKeepsItsFormat) {
    for (std::int32_t bitDepth : {8, 16})
        for (std::int32_t channels = 1; channels <= 4; ++channels) {
            SCOPED_TRACE(::testing::Message() << channels << " channels, " << bitDepth << " bits");
            const ToolImage input = Lights(48, 48, channels, bitDepth);
            ASSERT_TRUE(Save(Path("format.png"), input).ok());
            ToolRun run = Run({Path("format.png"), Path("format-out.png")});
            ASSERT_EQ(run.exitCode, 0) << run.err;
            const ToolImage output = Load("format-out.png");
            EXPECT_EQ(output.width, 48);
            EXPECT_EQ(output.height, 48);
            EXPECT_EQ(output.channels, channels);
            EXPECT_EQ(output.BytesPerSample() * 8, bitDepth);
            EXPECT_NE(output.samples, input.samples);
        }
}

TEST_F(AperlumeCli, SixteenBitValuesMapToTheHostRangeAndBack) {
    // An empty selection keeps every pixel: what comes back is the file's values through the host's
    // 0..32768 range, so each is within one step of 65535/32768 and the ends are exact.
    using namespace testing;  // NOLINT: the byte builders
    Bytes raw;
    for (std::uint32_t y = 0; y < 256; ++y) {
        raw.push_back(0);
        for (std::uint32_t x = 0; x < 256; ++x) {
            const std::uint32_t value = y == 255 && x == 255 ? 65535 : y * 256 + x;
            raw.insert(raw.end(), {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)});
        }
    }
    WriteBytes(Path("deep.png"), PngFile({{"IHDR", ImageHeader(256, 256, 16, 0)}, {"IDAT", StoredZlib(raw)}, {"IEND", {}}}));
    ASSERT_TRUE(Save(Path("none.png"), Gray(256, 256, 0)).ok());
    ToolRun run = Run({"--selection", Path("none.png"), Path("deep.png"), Path("deep-out.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ToolImage input = Load("deep.png", nullptr, SampleRange::File);
    const ToolImage output = Load("deep-out.png", nullptr, SampleRange::File);
    ASSERT_EQ(output.samples.size(), input.samples.size());
    EXPECT_EQ(SampleAt(output, 0), 0u);
    EXPECT_EQ(SampleAt(output, 65535), 65535u);
    for (std::size_t i = 0; i < 65536; ++i)
        ASSERT_LE(std::abs(static_cast<int>(SampleAt(output, i)) - static_cast<int>(SampleAt(input, i))), 1) << i;

    // A constant full-white image stays full white through a blur: 32768 maps back to 65535.
    ToolImage white = EmptyToolImage(32, 32, 1, 16);
    white.samples.assign(32 * 32 * 2, 0);
    for (std::size_t i = 0; i < 32 * 32; ++i) SetSampleAt(white, i, 32768);
    ASSERT_TRUE(Save(Path("white.png"), white).ok());
    run = Run({"--amount", "4", Path("white.png"), Path("white-out.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ToolImage whiteOut = Load("white-out.png", nullptr, SampleRange::File);
    for (std::size_t i = 0; i < 32 * 32; ++i) ASSERT_EQ(SampleAt(whiteOut, i), 65535u);
}

TEST_F(AperlumeCli, ConvertsBetweenFormatsWithTheMetadataUnlessStripped) {
    ImageMetadata metadata;
    metadata.icc.assign(3000, 7);
    metadata.exif = {'I', 'I', 42, 0, 8, 0, 0, 0, 1, 0, 0x12, 1, 3, 0, 1, 0, 0, 0, 6, 0, 0, 0, 0, 0, 0, 0};  // orientation 6
    metadata.xmp = {'<', 'x', '/', '>'};
    metadata.resolution = {300, 300, ResolutionUnit::Inch};
    ASSERT_TRUE(Save(Path("photo.tif"), Lights(48, 48, 3, 16), metadata).ok());
    ToolRun run = Run({"--amount", "0", "-v", Path("photo.tif"), Path("photo.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("metadata carried: ICC profile 3000 bytes, EXIF "), std::string::npos) << run.out;
    EXPECT_NE(run.out.find(" bytes, XMP 4 bytes, resolution 300x300 per inch\n"), std::string::npos) << run.out;
    ImageMetadata back;
    const ToolImage jpeg = Load("photo.jpg", &back);
    EXPECT_EQ(jpeg.BytesPerSample(), 1);
    EXPECT_EQ(back.icc, metadata.icc);
    // The TIFF held the EXIF as tags of its own; the block made from them keeps the orientation.
    MemoryByteSource exif(back.exif);
    tiff::Header header;
    tiff::Directory first;
    std::string why;
    ASSERT_TRUE(tiff::ReadHeader(exif, header) && tiff::ReadDirectory(exif, header.bigEndian, 8, {}, first, why)) << why;
    ASSERT_NE(first.Find(tiff::kOrientation), nullptr);
    EXPECT_EQ(first.Find(tiff::kOrientation)->Number(), 6u);
    EXPECT_EQ(back.xmp, metadata.xmp);
    EXPECT_EQ(back.resolution, metadata.resolution);
    // Back to 16-bit TIFF and PNG through a gray selection read from a JPEG.
    ASSERT_TRUE(Save(Path("half.jpg"), Gray(48, 48, 128)).ok());
    for (const char* name : {"again.tif", "again.png"}) {
        run = Run({"--amount", "3", "--selection", Path("half.jpg"), Path("photo.jpg"), Path(name)});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        Load(name, &back);
        EXPECT_EQ(back.icc, metadata.icc) << name;
        EXPECT_EQ(back.resolution, metadata.resolution) << name;
    }
    run = Run({"--strip", Path("photo.tif"), Path("bare.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    Load("bare.png", &back);
    EXPECT_TRUE(back.Empty());
    // The JPEG the Windows build's test decodes within a level of this (tool_under_emulator.cmake).
    run = Run({"--amount", "0", std::string(APERLUME_JPEG_DATA) + "/lights444.jpg", Path("lights.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    ToolImage expected;
    ASSERT_TRUE(ReadImage(std::string(APERLUME_JPEG_DATA) + "/lights444.decoded.png", expected).ok());
    EXPECT_EQ(Load("lights.png").samples, expected.samples);
    // Quality is the JPEG's.
    run = Run({"--amount", "0", "--quality", "40", Path("photo.tif"), Path("low.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_LT(fs::file_size(Path("low.jpg")), fs::file_size(Path("photo.jpg")));
}

TEST_F(AperlumeCli, ProgressIsDrawnOnRequestOnly) {
    ToolRun quiet = Run({Path("in.png"), Path("quiet.png")});
    EXPECT_EQ(quiet.exitCode, 0);
    EXPECT_TRUE(quiet.err.empty()) << quiet.err;  // standard error is a file here
    EXPECT_TRUE(quiet.out.empty()) << quiet.out;
    ToolRun bar = Run({"--progress", Path("in.png"), Path("bar.png")});
    EXPECT_EQ(bar.exitCode, 0);
    EXPECT_NE(bar.err.find("\r["), std::string::npos) << bar.err;
    EXPECT_NE(bar.err.find("100%\n"), std::string::npos) << bar.err;
}

TEST_F(AperlumeCli, OverwritesAnExistingOutputOnSuccess) {
    std::ofstream(Path("out.png")) << "old";
    ToolRun run = Run({Path("in.png"), Path("out.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Load("out.png").width, 48);
    for (const auto& entry : fs::directory_iterator(folder_))
        EXPECT_EQ(entry.path().filename().string().find(".aperlume-"), std::string::npos) << entry.path();
}

TEST_F(AperlumeCli, LoadsTheModuleNamedByPlugin) {
    ToolRun run = Run({"--plugin", APERLUME_MODULE_PATH, "-v", Path("in.png"), Path("out.png")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find(std::string("plug-in: ") + APERLUME_MODULE_PATH), std::string::npos) << run.out;
}

// Bad input: for each, a message, a non-zero exit, and neither a new output nor a changed old one.
TEST_F(AperlumeCli, RefusesBadCommandLines) {
    const std::string in = Path("in.png"), out = Path("out.png");
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "with an existing output" : "without an output");
        if (existing) std::ofstream(out) << "precious";
        ExpectRefused({"--amount", "101", in, out}, kExitUsage, "--amount must be between 0 and 100", "out.png");
        ExpectRefused({"--focus", "-1", in, out}, kExitUsage, "--focus must be between 0 and 255", "out.png");
        ExpectRefused({"--vertices", "six", in, out}, kExitUsage, "--vertices needs a whole number", "out.png");
        ExpectRefused({"--method", "best", in, out}, kExitUsage, "--method must be one of", "out.png");
        ExpectRefused({"--sharpen", in, out}, kExitUsage, "unknown option '--sharpen'", "out.png");
        ExpectRefused({in, out, "--rotation"}, kExitUsage, "--rotation needs a value", "out.png");
        ExpectRefused({in}, kExitUsage, "missing OUTPUT", "out.png");
        ExpectRefused({"", out}, kExitUsage, "the INPUT file name is empty", "out.png");
        ExpectRefused({in, ""}, kExitUsage, "the OUTPUT file name is empty", "out.png");
        for (const char* option : {"--selection", "--plugin", "--write-sample"})
            ExpectRefused({option, "", in, out}, kExitUsage, std::string(option) + " needs a file name", "out.png");
        ExpectRefused({"--sample", ""}, kExitUsage, "--sample needs a file name", "out.png");
        ExpectRefused({in, Path("out.gif")}, kExitUsage, "the output's extension names its format", "out.gif");
        ExpectRefused({"--quality", "0", in, Path("out.jpg")}, kExitUsage, "--quality must be", "out.jpg");
        ExpectRefused({in, Path("./in.png")}, kExitUsage, "is the INPUT file", "in.png");
        ExpectRefused({"--output-dir", Path("nowhere"), in}, kExitUsage, "is not an existing folder", "out.png");
        ExpectRefused({"--output-dir", folder_.string(), in}, kExitUsage, "an output never replaces an input", "in.png");
        ExpectRefused({"--rotaton", "5", in, out}, kExitUsage, "(did you mean --rotation?)", "out.png");
    }
}

TEST_F(AperlumeCli, RefusesBadFiles) {
    std::ofstream(Path("text.png")) << "not an image";
    ASSERT_TRUE(Save(Path("whole.png"), Lights(48, 48, 3, 8)).ok());
    fs::copy_file(Path("whole.png"), Path("cut.png"));
    fs::resize_file(Path("cut.png"), fs::file_size(Path("whole.png")) / 2);
    ASSERT_TRUE(Save(Path("small-selection.png"), Gray(10, 12, 255)).ok());
    ASSERT_TRUE(Save(Path("alpha.png"), Lights(48, 48, 4, 8)).ok());
    ASSERT_TRUE(Save(Path("whole.jpg"), Lights(48, 48, 3, 8)).ok());
    fs::copy_file(Path("whole.jpg"), Path("cut.jpg"));
    fs::resize_file(Path("cut.jpg"), fs::file_size(Path("whole.jpg")) - 1);
    testing::TiffImage cmyk;
    cmyk.samples = 4;
    cmyk.photometric = 5;
    cmyk.data.assign(32, 0);
    testing::WriteBytes(Path("cmyk.tif"), testing::TiffFile(cmyk));
    testing::TiffImage floats;
    floats.bits = 32;
    floats.data.assign(96, 0);
    testing::WriteBytes(Path("float.tif"), testing::TiffFile(floats, [](tiff::Directory& d) {
                            d.Put(testing::Numbers(tiff::kSampleFormat, tiff::kShort, {3, 3, 3}));
                        }));
    const std::string out = Path("out.png");
    for (bool existing : {false, true}) {
        SCOPED_TRACE(existing ? "with an existing output" : "without an output");
        if (existing) std::ofstream(out) << "precious";
        ExpectRefused({Path("missing.png"), out}, kExitFailure, "cannot open", "out.png");
        ExpectRefused({Path("text.png"), out}, kExitFailure, "is not a PNG, JPEG or TIFF file", "out.png");
        ExpectRefused({Path("cut.png"), out}, kExitFailure, "is damaged", "out.png");
        ExpectRefused({Path("cut.jpg"), out}, kExitFailure, "cut.jpg is damaged (it is cut short)", "out.png");
        ExpectRefused({Path("cmyk.tif"), out}, kExitFailure, "cmyk.tif is a CMYK image", "out.png");
        ExpectRefused({Path("float.tif"), out}, kExitFailure, "float.tif has 32-bit floating-point samples", "out.png");
        ExpectRefused({Path("alpha.png"), Path("out.jpg")}, kExitFailure, "JPEG has no alpha; write the image with "
                      "alpha as PNG or TIFF, or flatten it onto a colour with --background", "out.jpg");
        ExpectRefused({"--selection", Path("small-selection.png"), Path("in.png"), out}, kExitFailure,
                      "the selection is 10x12 but the image is 48x48", "out.png");
        ExpectRefused({"--selection", Path("cut.jpg"), Path("in.png"), out}, kExitFailure, "is damaged", "out.png");
        ExpectRefused({"--selection", Path("missing.png"), Path("in.png"), out}, kExitFailure, "cannot open",
                      "out.png");
        ExpectRefused({"--plugin", Path("missing.so"), Path("in.png"), out}, kExitFailure, "cannot load the plug-in",
                      "out.png");
        ExpectRefused({"--plugin", APERLUME_FAKE_PLUGIN_PATH, Path("in.png"), Path("no/such/folder/out.png")},
                      kExitFailure, "does not exist", "no/such/folder/out.png");
    }
}

TEST_F(AperlumeCli, RefusesImagesOverThePixelLimitBeforeReadingTheirPixels) {
    // A few hundred bytes that claim 20000 x 20000 RGBA pixels of 16 bits: 3.2 GB.
    using namespace testing;  // NOLINT: the byte builders
    WriteBytes(Path("claims.png"), PngFile({{"IHDR", ImageHeader(20000, 20000, 16, 6)},
                                            {"IDAT", ImageData(4, 100, 0)},
                                            {"IEND", {}}}));
    const std::string out = Path("out.png");
    const std::string over = "the image is 20000x20000 (400 megapixels), over the limit of 300 megapixels";
    ExpectRefused({Path("claims.png"), out}, kExitFailure, Path("claims.png") + ": " + over, "out.png");
    ExpectRefused({"--selection", Path("claims.png"), Path("in.png"), out}, kExitFailure, over, "out.png");
    ExpectRefused({"--max-megapixels", "400", Path("claims.png"), out}, kExitFailure,
                  "is damaged (its image data is too short for a 20000x20000 image)", "out.png");
    ExpectRefused({"--max-megapixels", "0", Path("claims.png"), out}, kExitFailure, "is damaged", "out.png");
    ExpectRefused({"--max-megapixels", "0.001", Path("in.png"), out}, kExitUsage, "--max-megapixels must be", "out.png");
}

TEST_F(AperlumeCli, WritesOutputsSafely) {
    const std::string in = Path("in.png"), out = Path("out.png");
    // A writable file is replaced and keeps its mode; a read-only one is left alone.
    std::ofstream(out) << "old";
    chmod(out.c_str(), 0640);
    ToolRun run = Run({in, out});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    struct stat status {};
    stat(out.c_str(), &status);
    EXPECT_EQ(status.st_mode & 0777, 0640u);
    chmod(out.c_str(), 0444);
    ExpectRefused({in, out}, kExitFailure, "cannot write " + out + ": the file is read-only", "out.png");
    chmod(out.c_str(), 0644);
    // A write that fails halfway (the file size limit) reports the user's path, never the temporary one.
    fs::remove(out);
    ExpectRefused({"--sample", out}, kExitFailure, "cannot write " + out + ": File too large", "out.png",
                  "ulimit -f 8; trap '' XFSZ;");  // 4 KB at most: room for messages, not for the 640x400 sample
}

TEST_F(AperlumeCli, ReportsTheFilterResultInWords) {
    struct Case {
        const char* code;
        const char* words;
    };
    const Case cases[] = {{"-108", "out of memory"},
                          {"-128", "cancelled"},
                          {"-30100", "bad parameters"},
                          {"-30101", "image mode not supported"},
                          {"-1", "error -1"},
                          {"interrupt", "cancelled"}};
    std::ofstream(Path("out.png")) << "precious";
    for (const Case& c : cases)
        ExpectRefused({"--plugin", APERLUME_FAKE_PLUGIN_PATH, "--sample", Path("out.png"), "--write-sample",
                       Path("sample.png")},
                      kExitFailure, std::string("the filter failed: ") + c.words, "out.png",
                      std::string("APERLUME_FAKE_RESULT=") + c.code);
    // Not even the unblurred sample is written when the render fails.
    EXPECT_FALSE(fs::exists(Path("sample.png")));
}

TEST_F(AperlumeCli, WritesWhatThePluginWroteIntoTheHostsOutput) {
    // The pass-through stand-in inverts every sample of the whole image it asks for: 8-bit RGB, and
    // 16-bit RGBA with a selection delivered beside it.
    ASSERT_TRUE(Save(Path("deep.png"), testing::PatternImage(37, 23, 4, 16)).ok());
    ASSERT_TRUE(Save(Path("half.png"), Gray(37, 23, 128)).ok());
    for (const std::vector<std::string>& files :
         {std::vector<std::string>{Path("in.png")}, std::vector<std::string>{"--selection", Path("half.png"), Path("deep.png")}}) {
        std::vector<std::string> arguments = {"--plugin", APERLUME_FAKE_PLUGIN_PATH};
        arguments.insert(arguments.end(), files.begin(), files.end());
        arguments.push_back(Path("inverted.png"));
        ToolRun run = Run(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const ToolImage in = Load(fs::path(files.back()).filename().string());
        const ToolImage out = Load("inverted.png");
        ASSERT_EQ(testing::SampleCount(out), testing::SampleCount(in));
        const std::uint32_t white = in.BytesPerSample() == 2 ? 32768 : 255;
        for (std::size_t i = 0; i < testing::SampleCount(in); ++i)
            ASSERT_EQ(testing::SampleAt(out, i), white - testing::SampleAt(in, i)) << i;
    }
}

}  // namespace
}  // namespace aperlume::tool

namespace aperlume::tool {
namespace {

// Many files in one run: a folder of PNG, TIFF and JPEG files with a broken one among them. The broken
// file is reported by name and skipped, the others are written in their own formats, and a Monte Carlo
// file's noise is that of a run on it alone (the noise sequence starts afresh for every file).
TEST_F(AperlumeCli, RendersManyFilesAndSkipsABrokenOne) {
    ASSERT_TRUE(Save(Path("deep.tif"), Lights(48, 40, 4, 16)).ok());
    ASSERT_TRUE(Save(Path("photo.jpg"), Lights(40, 48, 3, 8)).ok());
    fs::copy_file(Path("in.png"), Path("broken.png"));
    fs::resize_file(Path("broken.png"), fs::file_size(Path("in.png")) / 2);
    fs::create_directory(Path("out"));
    const std::vector<std::string> files = {Path("in.png"), Path("deep.tif"), Path("broken.png"), Path("photo.jpg")};
    std::vector<std::string> arguments = {"--method", "mc", "--output-dir", Path("out"), "--suffix", "_b"};
    arguments.insert(arguments.end(), files.begin(), files.end());
    ToolRun run = Run(arguments);
    EXPECT_EQ(run.exitCode, kExitFailure);
    EXPECT_NE(run.err.find(Path("broken.png") + " is damaged"), std::string::npos) << run.err;
    EXPECT_NE(run.err.find("3 of 4 files written; 1 failed"), std::string::npos) << run.err;
    EXPECT_FALSE(fs::exists(Path("out/broken_b.png")));
    const std::pair<const char*, ImageFormat> written[] = {
        {"out/in_b.png", ImageFormat::Png}, {"out/deep_b.tif", ImageFormat::Tiff}, {"out/photo_b.jpg", ImageFormat::Jpeg}};
    for (const auto& [name, format] : written) {
        CheckedImageFile checked;
        ASSERT_TRUE(CheckImageFile(Path(name), {}, checked).ok()) << name;
        EXPECT_EQ(checked.format, format) << name;
    }
    EXPECT_EQ(Load("out/deep_b.tif").channels, 4);

    run = Run({"--method", "mc", Path("deep.tif"), Path("alone.tif")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Load("out/deep_b.tif").samples, Load("alone.tif").samples);

    // --format converts every output; all good files give exit status 0.
    run = Run({"--output-dir", Path("out"), "--format", "PNG", Path("deep.tif"), Path("photo.jpg")});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.err.find("2 of 2 files written"), std::string::npos) << run.err;
    EXPECT_EQ(Load("out/photo.png").width, 40);
}

// A look saved with --save-settings comes back whole with --settings; the command line wins over it.
TEST_F(AperlumeCli, SettingsFilesRoundTripAndTheCommandLineWins) {
    const std::vector<std::string> look = {"--amount", "7", "--vertices", "6", "--rotation", "-15", "--method", "FFT",
                                           "--correction", "log", "--soft", "--edge", "40", "--ratio", "-30"};
    std::vector<std::string> saving = look;
    saving.insert(saving.end(), {"--save-settings", Path("look.txt")});
    ToolRun run = Run(saving);
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Recorded({"--settings", Path("look.txt")}), Recorded(look));
    std::vector<std::string> overridden = look;
    overridden.insert(overridden.end(), {"--amount", "2"});
    EXPECT_EQ(Recorded({"--amount", "2", "--settings", Path("look.txt")}), Recorded(overridden));

    // To standard output, for a pipe or a look pasted elsewhere.
    run = Run({"--amount", "7", "--save-settings", "-"});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    FilterParameters seven = ToolDefaultSettings();
    seven.amount = 7;
    EXPECT_EQ(run.out, SettingsFileText(seven));
    EXPECT_FALSE(fs::exists(Path("-")));

    std::ofstream(Path("bad.txt")) << "# a look\namount = 7\nrotaiton = 5\n";
    ExpectRefused({"--settings", Path("bad.txt"), Path("in.png"), Path("out.png")}, kExitUsage,
                  "bad.txt line 3: unknown setting 'rotaiton' (did you mean rotation?)", "out.png");
    ExpectRefused({"--settings", Path("none.txt"), Path("in.png"), Path("out.png")}, kExitFailure,
                  "cannot open the settings file", "out.png");
}

// --background flattens alpha where the output cannot hold it (the compositing itself is tested in
// imagefile_tests). A PNG keeps its alpha, with one warning for the run.
TEST_F(AperlumeCli, FlattensAlphaOntoTheBackgroundForJpegOnly) {
    // Two 8x8 blocks of 16-bit RGBA (JPEG keeps each flat): transparent on the left, opaque on the right.
    ToolImage image = EmptyToolImage(16, 8, 4, 16);
    image.samples.resize(image.RowBytes() * 8);
    for (std::size_t i = 0; i < 16 * 8 * 4; ++i)
        testing::SetSampleAt(image, i, i / 4 % 16 < 8 ? 0 : i % 4 == 3 ? 32768 : 6554);  // 51 of 255
    ASSERT_TRUE(Save(Path("alpha.tif"), image).ok());
    ToolRun run = Run({"--amount", "0", "--quality", "100", "--background", "#FF8000", Path("alpha.tif"),
                       Path("flat.jpg")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    const ToolImage flat = Load("flat.jpg");
    ASSERT_EQ(flat.channels, 3);
    const int left[3] = {255, 128, 0};
    for (std::size_t i = 0; i < 16 * 8 * 3; ++i)
        ASSERT_NEAR(testing::SampleAt(flat, i), i / 3 % 16 < 8 ? left[i % 3] : 51, 2) << i;
    ASSERT_TRUE(Save(Path("alpha.png"), Lights(48, 48, 4, 8)).ok());
    fs::copy_file(Path("alpha.png"), Path("alpha2.png"));
    fs::create_directory(Path("out"));
    run = Run({"--background", "white", "--output-dir", Path("out"), Path("alpha.png"), Path("in.png"),
               Path("alpha2.png")});
    ASSERT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(Load("out/alpha2.png").channels, 4);
    const std::string warning = "warning: --background flattens alpha only for a JPEG output; " + Path("out/alpha.png");
    EXPECT_TRUE(run.err.find(warning) != std::string::npos && run.err.find("warning") == run.err.rfind("warning"))
        << "one warning for the run: " << run.err;
}

// A setting that cannot change the image is named in a warning, and the run goes ahead; the aperture
// warnings are checked against the image itself.
TEST_F(AperlumeCli, WarnsOfSettingsWithoutEffect) {
    ASSERT_TRUE(Save(Path("depth.png"), Gray(48, 48, 90)).ok());
    const struct {
        std::vector<std::string> arguments;
        const char* warning;  // null: none
        bool unchanged;       // the aperture leaves the image as it was
    } cases[] = {
        {{"--focus", "9"}, "--focus has effect only with --depth-map", false},
        {{"--depth-map", "--method", "mc", "--selection", Path("depth.png")}, "has effect only with --method normal", false},
        {{"--edge", "100", "--ratio", "100"}, "the aperture is empty or a single point", true},
        {{"--edge", "100", "--ratio", "100", "--soft", "--vertices", "6"}, "the aperture is empty or a single point", true},
        {{"--edge", "0", "--ratio", "-100"}, "the aperture is empty or a single point", true},
        {{"--edge", "50", "--ratio", "100"}, nullptr, false},
        {{"--edge", "100", "--ratio", "99"}, nullptr, false},
    };
    const ToolImage input = Load("in.png");
    for (const auto& c : cases) {
        std::vector<std::string> arguments = c.arguments;
        arguments.insert(arguments.end(), {Path("in.png"), Path("out.png")});
        SCOPED_TRACE(c.arguments[1]);
        const ToolRun run = Run(arguments);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        if (c.warning != nullptr) {
            EXPECT_NE(run.err.find(c.warning), std::string::npos) << run.err;
            EXPECT_EQ(run.err.rfind("aperlume: warning: ", 0), 0u) << run.err;
        } else {
            EXPECT_EQ(run.err.find("warning"), std::string::npos) << run.err;
        }
        EXPECT_EQ(Load("out.png").samples == input.samples, c.unchanged);
    }
}

// The tool finds its module from where it really is: through a symbolic link, and from an installed
// layout (the tool in bin/, the module in lib/aperlume/) that was copied elsewhere.
TEST_F(AperlumeCli, FindsItsModuleThroughALinkAndInAnInstalledLayout) {
    fs::create_symlink(APERLUME_TOOL_PATH, Path("linked"));
    ToolRun run = testing::RunProgram("", Path("linked"), {"-v", "--sample", Path("a.png")}, folder_);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    fs::create_directories(Path("prefix/bin"));
    fs::create_directories(Path("prefix/lib/aperlume"));
    fs::copy_file(APERLUME_TOOL_PATH, Path("prefix/bin/aperlume"));
    const fs::path module = APERLUME_MODULE_PATH;
    fs::copy_file(module, Path("prefix/lib/aperlume") / module.filename());
    run = testing::RunProgram("", Path("prefix/bin/aperlume"), {"-v", "--sample", Path("b.png")}, folder_);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_NE(run.out.find("plug-in: " + (fs::path(Path("prefix/lib/aperlume")) / module.filename()).string()),
              std::string::npos)
        << run.out;
}

}  // namespace
}  // namespace aperlume::tool
