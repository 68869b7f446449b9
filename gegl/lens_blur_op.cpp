// aperlume:lens-blur, the GEGL operation: the lens blur of the plug-in and the tool as a composer with the
// image on `input`, an optional depth map on `aux`, and the result on `output`. GEGL loads it as a module
// from its plug-in folders (gegl_module_query and gegl_module_register are its only exported symbols).
//
// GEGL asks for regions; a lens blur needs the whole image, so the operation asks for the whole input
// and caches the whole output, which it renders in one call (GEGL does not thread it). Renders are
// serialised, and each starts the random sequence from its first state: the sequence is process-wide,
// and a render is then what a fresh run of the tool gives, the same on every redraw of a preview.
//
// Nothing thrown may reach GEGL's frames: the process callback catches everything and passes the image
// through, as it does for every input it cannot render, with a warning that says why.
#include <gegl-plugin.h>

#include <new>
#include <string>

#include "base/filter_parameters.h"
#include "base/settings_table.h"
#include "engine/random.h"
#include "engine/render.h"
#include "gegl/gegl_pixels.h"
#include "gegl/lens_blur_render.h"
#include "gegl/op_properties.h"

namespace aperlume::gegl_op {
namespace {

constexpr char kOperationName[] = "aperlume:lens-blur";

struct LensBlur {
    GeglOperationComposer parent;
    FilterParameters settings;
};

struct LensBlurClass {
    GeglOperationComposerClass parent;
};

GMutex renderLock;  // a static GMutex needs no initialisation

FilterParameters& Settings(gpointer operation) { return static_cast<LensBlur*>(operation)->settings; }

class RenderLockGuard {
public:
    RenderLockGuard() { g_mutex_lock(&renderLock); }
    ~RenderLockGuard() { g_mutex_unlock(&renderLock); }
    RenderLockGuard(const RenderLockGuard&) = delete;
    RenderLockGuard& operator=(const RenderLockGuard&) = delete;
};

// GEGL 0.4.42 gives an operation no cancellation to poll, so the check points never stop. Progress goes to
// the node's "progress" signal, which GIMP reads as a display that starts at 0 and ends at 1: a render
// reports exactly those two at its start and end (ReportRender), and its passes only what lies between.
class OperationCheckPoints final : public CheckPoints {
public:
    explicit OperationCheckPoints(GeglOperation* operation) : operation_(operation) {}
    bool PreviewInterrupted() override { return false; }
    bool HostAborted() override { return false; }
    void Progress(std::int32_t done, std::int32_t total) override {
        const double fraction = total > 0 ? static_cast<double>(done) / total : 0.0;
        if (fraction > 0.0 && fraction < 1.0) Report(fraction);
    }
    void Report(double fraction) { gegl_operation_progress(operation_, fraction, message_); }

private:
    GeglOperation* operation_;
    gchar message_[1] = "";
};

// The progress display's start and end around one render, whatever way it ends.
class ReportRender {
public:
    explicit ReportRender(OperationCheckPoints& checkPoints) : checkPoints_(checkPoints) { checkPoints_.Report(0.0); }
    ~ReportRender() { checkPoints_.Report(1.0); }
    ReportRender(const ReportRender&) = delete;
    ReportRender& operator=(const ReportRender&) = delete;

private:
    OperationCheckPoints& checkPoints_;
};

std::string SizeText(const GeglRectangle& r) { return std::to_string(r.width) + "x" + std::to_string(r.height); }

GeglRectangle SourceExtent(GeglOperation* operation, const char* pad) {
    const GeglRectangle* extent = gegl_operation_source_get_bounding_box(operation, pad);
    return extent != nullptr ? *extent : GeglRectangle{0, 0, 0, 0};
}

// Why the input cannot be rendered as asked, or empty when it can.
std::string Refusal(const FilterParameters& settings, GeglBuffer* input, const GeglRectangle& extent,
                    GeglBuffer* aux, const GeglRectangle& auxExtent) {
    if (input == nullptr) return "nothing is connected to the input";
    if (!DepthMapInForce(settings)) return "";
    if (aux == nullptr) return "depth-map is on, but no depth map is connected to the aux input";
    if (auxExtent.width != extent.width || auxExtent.height != extent.height)
        return "the depth map on the aux input is " + SizeText(auxExtent) + " but the image is " + SizeText(extent);
    return "";
}

std::string FailureText(Result result, const GeglRectangle& extent) {
    if (result == kOutOfMemory) return "there is not enough memory to render " + SizeText(extent) + " pixels at once";
    return "the render failed (code " + std::to_string(result.code()) + ")";
}

void PassThrough(GeglBuffer* input, GeglBuffer* output, const GeglRectangle* area, const std::string& why) {
    g_warning("%s: %s; the image is passed through unblurred", kOperationName, why.c_str());
    if (input != nullptr) gegl_buffer_copy(input, area, GEGL_ABYSS_NONE, output, area);
}

std::int32_t GeglThreads() {
    gint threads = 1;
    g_object_get(gegl_config(), "threads", &threads, nullptr);
    return threads > 1 ? threads : 1;
}

gboolean Process(GeglOperation* operation, GeglBuffer* input, GeglBuffer* aux, GeglBuffer* output,
                 const GeglRectangle* area, gint) noexcept {
    try {
        const FilterParameters settings = Settings(operation);
        const GeglRectangle extent = SourceExtent(operation, "input");
        const GeglRectangle auxExtent = SourceExtent(operation, "aux");
        if (const std::string why = Refusal(settings, input, extent, aux, auxExtent); !why.empty()) {
            PassThrough(input, output, area, why);
            return TRUE;
        }
        GeglRectangle target{};
        if (!gegl_rectangle_intersect(&target, area, &extent)) return TRUE;

        const ExtentRender render{settings,
                                  ChoosePixelFormat(gegl_operation_get_format(operation, "input")),
                                  input,
                                  extent,
                                  DepthMapInForce(settings) ? aux : nullptr,
                                  auxExtent,
                                  gegl_operation_get_format(operation, "aux"),
                                  output,
                                  target,
                                  GeglThreads()};
        OperationCheckPoints checkPoints(operation);
        RenderLockGuard lock;
        const ReportRender report(checkPoints);
        ProcessRandomSequence() = RandomSequence{};
        if (const Result r = RenderExtent(render, checkPoints); !r.ok()) PassThrough(input, output, area, FailureText(r, extent));
    } catch (const std::bad_alloc&) {
        PassThrough(input, output, area, "there is not enough memory");
    } catch (...) {
        PassThrough(input, output, area, "the render failed");
    }
    return TRUE;
}

void Prepare(GeglOperation* operation) noexcept {
    // GEGL never asks an operation to process an empty region, so an empty input is told of here.
    if (gegl_operation_get_source_node(operation, "input") != nullptr) {
        const GeglRectangle extent = SourceExtent(operation, "input");
        if (gegl_rectangle_is_empty(&extent))
            g_warning("%s: the input is empty (%dx%d); the output is empty too", kOperationName, extent.width,
                      extent.height);
    }
    const Babl* format = ChoosePixelFormat(gegl_operation_get_source_format(operation, "input")).babl;
    gegl_operation_set_format(operation, "input", format);
    gegl_operation_set_format(operation, "output", format);
    gegl_operation_set_format(operation, "aux", DepthMapFormat(gegl_operation_get_source_format(operation, "aux")));
}

GeglRectangle BoundingBox(GeglOperation* operation) noexcept { return SourceExtent(operation, "input"); }

// The whole input for any part of the output; the depth map only when it is read.
GeglRectangle RequiredForOutput(GeglOperation* operation, const gchar* pad, const GeglRectangle*) noexcept {
    if (g_strcmp0(pad, "aux") == 0)
        return DepthMapInForce(Settings(operation)) ? SourceExtent(operation, "aux") : GeglRectangle{0, 0, 0, 0};
    return SourceExtent(operation, "input");
}

// Any change anywhere can change every pixel: the aperture reaches across, and the noise follows the order.
GeglRectangle WholeOutput(GeglOperation* operation, const gchar*, const GeglRectangle*) noexcept {
    return BoundingBox(operation);
}

GeglRectangle CachedRegion(GeglOperation* operation, const GeglRectangle*) noexcept { return BoundingBox(operation); }

void SetProperty(GObject* object, guint id, const GValue* value, GParamSpec* spec) noexcept {
    if (!SetSetting(Settings(object), id, value)) G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
}

void GetProperty(GObject* object, guint id, GValue* value, GParamSpec* spec) noexcept {
    if (!GetSetting(Settings(object), id, value)) G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, spec);
}

void InitInstance(GTypeInstance* instance, gpointer) noexcept { Settings(instance) = ToolDefaults(); }

void InitClass(gpointer klass, gpointer) noexcept {
    GObjectClass* objectClass = G_OBJECT_CLASS(klass);
    objectClass->set_property = SetProperty;
    objectClass->get_property = GetProperty;

    GeglOperationClass* operationClass = GEGL_OPERATION_CLASS(klass);
    operationClass->prepare = Prepare;
    operationClass->get_bounding_box = BoundingBox;
    operationClass->get_required_for_output = RequiredForOutput;
    operationClass->get_invalidated_by_change = WholeOutput;
    operationClass->get_cached_region = CachedRegion;
    operationClass->threaded = FALSE;  // one call renders the whole image, on the engine's own threads

    GeglOperationComposerClass* composerClass = GEGL_OPERATION_COMPOSER_CLASS(klass);
    composerClass->process = Process;
    composerClass->aux_label = "Depth map";
    composerClass->aux_description =
        "Read with Use depth map on: gray, or colour counted by its luma; the size of the image";

    InstallSettingProperties(objectClass);
    gegl_operation_class_set_keys(
        operationClass, "name", kOperationName, "title", "Lens Blur (Aperlume)", "categories", "blur",
        "description",
        "The blur of a camera lens: every point spreads over the shape of an aperture (a disc, a streak or a "
        "polygon, turned, with a brighter or darker centre), and highlights bloom into visible shapes. An "
        "optional depth map on the aux input keeps one depth sharp.",
        nullptr);
}

void FinalizeClass(gpointer, gpointer) noexcept {}

}  // namespace
}  // namespace aperlume::gegl_op

extern "C" {

G_MODULE_EXPORT const GeglModuleInfo* gegl_module_query(GTypeModule*) noexcept {
    static const GeglModuleInfo info = {GEGL_MODULE_ABI_VERSION};
    return &info;
}

G_MODULE_EXPORT gboolean gegl_module_register(GTypeModule* module) noexcept {
    using namespace aperlume::gegl_op;
    RegisterSettingEnums(module);
    const GTypeInfo info = {sizeof(LensBlurClass), nullptr, nullptr, InitClass,    FinalizeClass, nullptr,
                            sizeof(LensBlur),      0,       InitInstance, nullptr};
    g_type_module_register_type(module, GEGL_TYPE_OPERATION_COMPOSER, "AperlumeLensBlur", &info, GTypeFlags{});
    return TRUE;
}

}  // extern "C"
