// JPEG files through libjpeg (libjpeg-turbo). libjpeg reports errors by calling error_exit, which here
// longjmps back; as with libpng, the functions holding a setjmp keep only plain locals. libjpeg goes on
// after data it cannot make sense of with a warning only, filling in zeros: those warnings end the
// decoding here, as errors. The check has refused such files before (jpeg_entropy_check.h); this stays
// for a file changed in between. The number of scans is held to the check's limit in the same way.
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <jpeglib.h>
#include <jerror.h>

#include "tools/imagefile/file_position.h"
#include "tools/imagefile/jpeg_entropy_check.h"
#include "tools/imagefile/native_codecs.h"

namespace aperlume::tool {
namespace {

struct ErrorManager {
    jpeg_error_mgr base;
    jpeg_progress_mgr progress;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
    bool tooManyScans;
};

[[noreturn]] void OnJpegError(j_common_ptr info) {
    auto* manager = reinterpret_cast<ErrorManager*>(info->err);
    (*info->err->format_message)(info, manager->message);
    std::longjmp(manager->jump, 1);
}

// The warnings that the data is damaged: where libjpeg would go on with zeros or skip bytes.
void OnJpegMessage(j_common_ptr info, int level) {
    if (level >= 0) return;  // trace messages
    switch (info->err->msg_code) {
        case JWRN_HIT_MARKER:
        case JWRN_JPEG_EOF:
        case JWRN_MUST_RESYNC:
        case JWRN_EXTRANEOUS_DATA:
        case JWRN_HUFF_BAD_CODE:
        case JWRN_BOGUS_PROGRESSION:
        case JWRN_NOT_SEQUENTIAL: OnJpegError(info);
        default: return;
    }
}

// Called as the decoder reads on, several times a scan: refuses a scan past the limit.
void OnJpegProgress(j_common_ptr info) {
    if (info->is_decompressor && reinterpret_cast<j_decompress_ptr>(info)->input_scan_number > kMaxJpegScans) {
        reinterpret_cast<ErrorManager*>(info->err)->tooManyScans = true;
        OnJpegError(info);
    }
}

void InstallErrors(ErrorManager& errors) {
    jpeg_std_error(&errors.base);
    errors.base.error_exit = OnJpegError;
    errors.base.emit_message = OnJpegMessage;
    errors.progress.progress_monitor = OnJpegProgress;
    errors.message[0] = '\0';
    errors.tooManyScans = false;
}

// Decodes the rows straight into the image, gray or RGB as the file holds them.
bool ReadJpegRows(jpeg_decompress_struct* info, ErrorManager* errors, std::FILE* file, ToolImage* image,
                  std::size_t expected, bool* outOfMemory) {
    if (setjmp(errors->jump)) return false;
    jpeg_stdio_src(info, file);
    jpeg_read_header(info, TRUE);
    info->out_color_space = info->num_components == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_start_decompress(info);
    if (static_cast<std::uint32_t>(info->output_width) != static_cast<std::uint32_t>(image->width) ||
        static_cast<std::uint32_t>(info->output_height) != static_cast<std::uint32_t>(image->height) ||
        info->output_components != image->channels) {
        std::snprintf(errors->message, sizeof errors->message, "it changed while it was read");
        return false;
    }
    RowGrowth rows(*image, expected);
    while (info->output_scanline < info->output_height) {
        JSAMPROW row = rows.Row(static_cast<std::int32_t>(info->output_scanline));
        if (row == nullptr) {
            *outOfMemory = true;
            return false;
        }
        jpeg_read_scanlines(info, &row, 1);
    }
    jpeg_finish_decompress(info);
    return true;
}

bool WriteJpegRows(jpeg_compress_struct* info, ErrorManager* errors, std::FILE* file, const ToolImage* image,
                   const std::vector<MetadataPiece>* pieces, int quality, std::uint8_t* scratch) {
    if (setjmp(errors->jump)) return false;
    jpeg_stdio_dest(info, file);
    info->image_width = static_cast<JDIMENSION>(image->width);
    info->image_height = static_cast<JDIMENSION>(image->height);
    info->input_components = image->channels;
    info->in_color_space = image->channels == 1 ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(info);
    jpeg_set_quality(info, quality, TRUE);
    if (quality >= 90)  // full-resolution chroma: no colour bleeding at the quality photographers keep
        for (int c = 0; c < info->num_components; ++c) info->comp_info[c].h_samp_factor = info->comp_info[c].v_samp_factor = 1;
    info->write_JFIF_header = FALSE;  // the JFIF segment comes with the metadata pieces
    jpeg_start_compress(info, TRUE);
    for (const MetadataPiece& segment : *pieces)
        jpeg_write_marker(info, segment.marker, segment.data.data(), static_cast<unsigned int>(segment.data.size()));
    const std::size_t rowBytes = image->RowBytes();
    const std::size_t perRow = static_cast<std::size_t>(image->width) * static_cast<std::size_t>(image->channels);
    while (info->next_scanline < info->image_height) {
        const std::uint8_t* row = image->samples.data() + rowBytes * info->next_scanline;
        if (image->BytesPerSample() == 2) {
            EightFromHost16Row(row, scratch, perRow);
            row = scratch;
        }
        JSAMPROW rows[1] = {const_cast<JSAMPROW>(row)};  // libjpeg reads the row only
        jpeg_write_scanlines(info, rows, 1);
    }
    jpeg_finish_compress(info);
    return true;
}

}  // namespace

ToolStatus DecodeJpeg(std::FILE* file, const std::string& path, const CheckedImageFile& checked, ToolImage& image) {
    if (!SeekFile(file, 0, SEEK_SET)) return ToolStatus::Failure("cannot read " + path + ": " + std::strerror(errno));
    const auto width = static_cast<std::int32_t>(checked.width), height = static_cast<std::int32_t>(checked.height);
    if (ToolStatus s = CheckImageGeometry(width, height, checked.channels, 8, path); !s.ok()) return s;
    image = EmptyToolImage(width, height, checked.channels, 8);
    ErrorManager errors{};
    jpeg_decompress_struct info{};
    InstallErrors(errors);
    info.err = &errors.base;
    jpeg_create_decompress(&info);
    info.progress = &errors.progress;
    bool outOfMemory = false;
    const bool ok = ReadJpegRows(&info, &errors, file, &image, ExpectedDecodedBytes(checked), &outOfMemory);
    jpeg_destroy_decompress(&info);
    if (outOfMemory) return ToolStatus::Failure("out of memory reading " + path);
    if (errors.tooManyScans) return TooManyJpegScans(path);
    if (!ok) return Damaged(path, errors.message);
    return ToolStatus::Success();
}

ToolStatus EncodeJpeg(std::FILE* file, const ToolImage& image, const std::vector<MetadataPiece>& pieces, int quality,
                      const std::string& name) {
    std::vector<std::uint8_t> scratch(static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.channels));
    ErrorManager errors{};
    jpeg_compress_struct info{};
    InstallErrors(errors);
    info.err = &errors.base;
    jpeg_create_compress(&info);
    const bool ok = WriteJpegRows(&info, &errors, file, &image, &pieces, quality, scratch.data());
    jpeg_destroy_compress(&info);
    if (!ok) return ToolStatus::Failure("cannot write " + name + ": " + errors.message);
    if (std::ferror(file)) return ToolStatus::Failure("cannot write " + name + ": " + std::strerror(errno));
    return ToolStatus::Success();
}

}  // namespace aperlume::tool
