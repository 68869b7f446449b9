// Replaying the filter over one image through our own host and its descriptor suite.
//
// The host fills its record afresh before every selector call. The replay puts itself between the host
// and the plug-in's entry point to complete that record as a replaying host does: the descriptor
// parameters with the recorded settings, and progress and abort procedures that report to the tool
// (the host's own progress record is kept too).
#include "tools/aperlume/filter_replay.h"

#include <array>
#include <memory>
#include <utility>

#include "scripting/script_keys.h"
#include "tools/host/descriptor_suite.h"

namespace aperlume::tool {
namespace {

// The image as the host's document, in the host's mode for its channels and bit depth; its samples move.
testhost::HostImage HostDocument(ToolImage image) {
    const bool deep = image.bitDepth == 16;
    testhost::HostImage document;
    document.width = image.width;
    document.height = image.height;
    document.planes = static_cast<std::int16_t>(image.channels);
    document.imageMode = image.channels <= 2 ? (deep ? kModeGray16 : kModeGrayScale) : (deep ? kModeRGB48 : kModeRGB);
    document.samples = std::move(image.samples);
    return document;
}

ToolImage ImageOfDocument(testhost::HostImage document) {
    return ToolImage{document.width, document.height, document.planes, document.BytesPerSample() * 8,
                     std::move(document.samples)};
}

std::vector<testhost::DescriptorItem> RecordedAction(const FilterParameters& settings) {
    std::vector<testhost::DescriptorItem> items;
    // The keys the plug-in's terminology declares, in the order a recorded action holds them.
    for (const ScriptKey& entry : kScriptKeys) {
        const std::int16_t value = settings.*entry.field;
        if (entry.kind == ScriptValueKind::Integer)
            items.push_back(testhost::IntegerItem(entry.key, value));
        else
            items.push_back(testhost::EnumeratedItem(entry.key, entry.key, EnumeratorForValue(entry.kind, value)));
    }
    return items;
}

// The settings a descriptor holds; keys it lacks keep the values of `settings`.
FilterParameters SettingsOf(const std::vector<testhost::DescriptorItem>& items, FilterParameters settings) {
    for (const testhost::DescriptorItem& item : items)
        for (const ScriptKey& entry : kScriptKeys) {
            if (item.key != entry.key) continue;
            if (entry.kind == ScriptValueKind::Integer && item.type == testhost::kTypeInteger)
                settings.*entry.field = static_cast<std::int16_t>(item.integer);
            else if (entry.kind != ScriptValueKind::Integer && item.type == testhost::kTypeEnumerated)
                settings.*entry.field =
                    ValueForEnumerator(entry.kind, static_cast<DescriptorEnumID>(item.integer));
        }
    return settings;
}

// The replay in progress. The plug-in's callbacks carry no context, so it is process-wide.
struct ActiveReplay {
    testhost::PluginEntry plugin = nullptr;
    const ReplayJob* job = nullptr;
    std::unique_ptr<testhost::DescriptorSuite> suite;
    ProgressProc hostProgress = nullptr;
    TestAbortProc hostAbort = nullptr;
};
ActiveReplay* active = nullptr;

void ReportProgress(std::int32_t done, std::int32_t total) {
    if (active == nullptr) return;
    if (active->hostProgress != nullptr) active->hostProgress(done, total);
    if (active->job->progress) active->job->progress(done, total);
}

Boolean AnswerAbort() {
    if (active == nullptr) return 0;
    const Boolean host = active->hostAbort != nullptr ? active->hostAbort() : 0;
    const bool cancelled = active->job->cancel != nullptr && *active->job->cancel != 0;
    return host != 0 || cancelled ? 1 : 0;
}

void ReplayEntry(std::int16_t selector, void* record, std::intptr_t* data, std::int16_t* result) {
    if (active == nullptr) return;
    if (selector != kSelectorAbout) {
        auto* filterRecord = static_cast<FilterRecord*>(record);
        // The descriptor's handles come from the host's handle procedures, which the record carries.
        if (active->suite == nullptr) {
            active->suite = std::make_unique<testhost::DescriptorSuite>(filterRecord->handleProcs);
            active->suite->SetDescriptor(RecordedAction(active->job->settings));
            active->suite->SetPlayInfo(0);  // replay silently: no dialog
        }
        filterRecord->descriptorParameters = active->suite->Parameters();
        active->hostProgress = filterRecord->progressProc;
        active->hostAbort = filterRecord->abortProc;
        filterRecord->progressProc = &ReportProgress;
        filterRecord->abortProc = &AnswerAbort;
    }
    active->plugin(selector, record, data, result);
}

}  // namespace

ReplayOutcome ReplayFilter(testhost::PluginEntry entry, ReplayJob job) {
    ActiveReplay replay;
    replay.plugin = entry;
    replay.job = &job;
    active = &replay;

    ReplayOutcome outcome;
    {
        testhost::FilterHost host(&ReplayEntry);
        host.SetUndo(false);  // a failed run's document is not used
        host.SetImage(HostDocument(std::move(job.image)));
        host.SetSelection(std::move(job.selection));
        outcome.result = host.Run(false);
        outcome.output = ImageOfDocument(host.TakeOutput());
        if (outcome.result == kNoError && replay.suite != nullptr) {
            const std::vector<testhost::DescriptorItem> written = replay.suite->Descriptor();
            // Only a descriptor the plug-in wrote counts; one it left unread is still the one sent.
            outcome.recorded = replay.suite->WritersOpened() > 0 && !written.empty();
            outcome.recordedSettings = SettingsOf(written, job.settings);
        }
        replay.suite.reset();  // releases the descriptor through the host's procedures
    }
    active = nullptr;
    return outcome;
}

std::string ResultCodeText(ResultCode code) {
    switch (code) {
        case kOutOfMemory:
            return "out of memory";
        case kUserCanceled:
            return "cancelled";
        case kBadParameters:
            return "bad parameters";
        case kBadMode:
            return "image mode not supported";
        case kHostInsufficient:
            return "the image was not delivered as the plug-in asked";
        default:
            return "error " + std::to_string(code);
    }
}

}  // namespace aperlume::tool
